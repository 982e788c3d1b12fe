#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class frmListGroups;
}
class QueryListModel;

// "Groups": every group by name, with adding, editing and deleting.
class frmListGroups : public QDialog
{
    Q_OBJECT

public:
    explicit frmListGroups(QWidget *parent = nullptr);
    ~frmListGroups() override;

    void Form_Load();
    void cmdAdd_Click();
    void cmdEdit_Click();
    void cmdDelete_Click();
    void cmdClose_Click();

    QueryListModel *list() const { return m_groups; }

private:
    // Reads the list again, keeping the group with this identifier current
    // when it is still there.
    void reload(qint64 currentGroupId = 0);
    // The current row, or -1.
    int currentRow() const;

    std::unique_ptr<Ui::frmListGroups> ui;
    QueryListModel *m_groups = nullptr;
};
