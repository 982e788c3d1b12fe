#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class frmEditGroupsListContacts;
}
class QueryListModel;

// "Contacts": the picker of the group editor. Ticking a contact marks it
// Selected in the database at once; the editor reads the marks when the
// picker has closed.
class frmEditGroupsListContacts : public QDialog
{
    Q_OBJECT

public:
    explicit frmEditGroupsListContacts(QWidget *parent = nullptr);
    ~frmEditGroupsListContacts() override;

    void Form_Load();
    void cmdAll_Click();
    void cmdNone_Click();

    QueryListModel *list() const { return m_contacts; }

private:
    void markAll(bool selected);

    std::unique_ptr<Ui::frmEditGroupsListContacts> ui;
    QueryListModel *m_contacts = nullptr;
};
