#pragma once

#include <QDialog>
#include <QList>

#include <memory>

namespace Ui {
class frmEditGroupsListContacts;
}
class QueryListModel;

// "Contacts": the picker of the group editor. The contacts ticked are the
// window's own (All: every contact with a mobile number, listed or not); the
// editor takes them when the picker has closed.
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
    // The contacts marked, in no particular order.
    QList<qint64> marked() const;

private:
    void markAll(bool selected);

    std::unique_ptr<Ui::frmEditGroupsListContacts> ui;
    QueryListModel *m_contacts = nullptr;
};
