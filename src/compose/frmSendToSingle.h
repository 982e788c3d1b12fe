#pragma once

#include "compose/SingleQueue.h"

#include <QDialog>

#include <memory>

namespace Ui {
class frmSendToSingle;
}

// "Send SMS to Single Person": the bodies queued to one number, a contact's
// found with F4 or one typed by hand.
class frmSendToSingle : public QDialog
{
    Q_OBJECT

public:
    explicit frmSendToSingle(QWidget *parent = nullptr);
    ~frmSendToSingle() override;

    void Form_KeyDown(int keyCode);
    void cmdSend_Click();
    void cmdSendNow_Click();
    // What the number would get, before anything is queued.
    void cmdPreview_Click();
    void cmdCancel_Click();

    // Opened to answer a reply: the number filled in, the contact whose
    // mobile is that number chosen (when there is one), and the conversation
    // with the number shown beside the composer.
    void replyTo(const QString &number);

private:
    void setStatus(const QString &text);
    void showConversation();
    // The contact's key and names (not the number).
    void showContact(const SingleQueue::Contact &contact);

    std::unique_ptr<Ui::frmSendToSingle> ui;
};
