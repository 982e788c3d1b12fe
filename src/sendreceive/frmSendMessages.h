#pragma once

#include "gateway/OutboxSender.h"
#include "sendreceive/SendReceiveWindow.h"

#include <memory>

namespace Ui {
class frmSendMessages;
}

// "Send SMS Messages": sends the outbox like the main window's sender, with a
// log line per event, the count of messages left against the batch, and the
// credit balance.
class frmSendMessages : public SendReceiveWindow
{
    Q_OBJECT

public:
    explicit frmSendMessages(QWidget *parent = nullptr);
    ~frmSendMessages() override;

    void cmdCheckCredits_Click();
    void cmdSend_Click();
    void cmdCancel_Click();

    // CycleHost
    QString creditsText() const override;
    void setCreditsText(const QString &text) override;
    void setProgress(int done, int total) override;
    void logSend(const QString &event) override;

private:
    void Form_Load();

    std::unique_ptr<Ui::frmSendMessages> ui;
    OutboxSender m_sender;
    // Messages left to send: those queued when the window opened, less those
    // each send in it has reached.
    qint64 m_left = 0;
    qint64 m_leftBeforeRun = 0;
};
