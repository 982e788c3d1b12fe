#pragma once

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

private:
    void setStatus(const QString &text);

    std::unique_ptr<Ui::frmSendToSingle> ui;
};
