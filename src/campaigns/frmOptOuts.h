#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class frmOptOuts;
}
class QueryListModel;

// The opt-out list with its import and export, the opt-out words, the
// marketing sender's name, the office's time zone and the public holidays.
class frmOptOuts : public QDialog
{
    Q_OBJECT

public:
    explicit frmOptOuts(QWidget *parent = nullptr);
    ~frmOptOuts() override;

    void Form_Load();
    void cmdAdd_Click();
    void cmdRemove_Click();
    void cmdImport_Click();
    void cmdExport_Click();
    void cmdSave_Click();

private:
    void refreshList();
    void showCount();
    void showCountedHolidays();

    std::unique_ptr<Ui::frmOptOuts> ui;
    QueryListModel *m_list = nullptr;
};
