#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class frmSendToGroup;
}
class RecordTableModel;

// "Send SMS to Group": the bodies queued to every member of a contact group
// that has a mobile number.
class frmSendToGroup : public QDialog
{
    Q_OBJECT

public:
    explicit frmSendToGroup(QWidget *parent = nullptr);
    ~frmSendToGroup() override;

    void Form_Load();
    void cboGroups_Click();
    void cmdSend_Click();
    // What each member would get, before anything is queued.
    void cmdPreview_Click();
    void cmdCancel_Click();

private:
    void showMembers(qint64 groupId);
    void setStatus(const QString &text);

    std::unique_ptr<Ui::frmSendToGroup> ui;
    RecordTableModel *m_members = nullptr;
};
