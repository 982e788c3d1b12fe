#pragma once

#include <QDialog>

#include <functional>
#include <memory>

namespace Ui {
class frmEditGroups;
}
class RecordTableModel;

// "Edit Groups": one group's name and its members. Members are added through
// the contact picker or, with F4, through the contact search.
class frmEditGroups : public QDialog
{
    Q_OBJECT

public:
    explicit frmEditGroups(QWidget *parent = nullptr);
    ~frmEditGroups() override;

    // The contact search F4 opens; it gives the contact picked, or 0. That
    // window belongs to the contacts, which build on the groups, so start-up
    // hands it over. Without one, F4 does nothing.
    using ContactSearch = std::function<qint64(QWidget *parent)>;
    static void setContactSearch(ContactSearch search);

    // Shows the group with this identifier; leaves the window as it was when
    // there is no such group.
    void LoadDetails(qint32 groupId);

    void Form_Load();
    void Form_KeyDown(int keyCode);
    void cmdAdd_Click();
    void cmdDelete_Click();
    void cmdSave_Click();
    void cmdCancel_Click();

    RecordTableModel *members() const { return m_members; }

private:
    qint64 groupId() const;
    // Reads the member list again; false (after the ERROR box) when that failed.
    bool showMembers();

    std::unique_ptr<Ui::frmEditGroups> ui;
    RecordTableModel *m_members = nullptr;
};
