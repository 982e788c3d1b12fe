#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class frmSendToGroupNo;
}

// "Send SMS to Group of People": the bodies queued to a typed list of numbers,
// without contacts.
class frmSendToGroupNo : public QDialog
{
    Q_OBJECT

public:
    explicit frmSendToGroupNo(QWidget *parent = nullptr);
    ~frmSendToGroupNo() override;

    void cmdSend_Click();
    // Queues as Add To Queue does, then opens the Send Messages window.
    void cmdSendNow_Click();
    void cmdCancel_Click();

private:
    void setStatus(const QString &text);

    std::unique_ptr<Ui::frmSendToGroupNo> ui;
};
