#pragma once

#include "gateway/GatewayClient.h"
#include "gateway/RunSummary.h"
#include "outbox/Dispatch.h"

#include <QList>
#include <QString>

#include <optional>

class CycleBusy;
class CycleHost;

// Sends the outbox against the credit balance, and owns the balance display:
// the "Check Credits" button and the credit request of every send run.
class OutboxSender : public SummaryReporter
{
public:
    // The status texts that end a credit request and a send run; a window of
    // its own words them differently from the main window.
    struct Texts
    {
        QString creditsChecked = QStringLiteral("Done. Ready ...");
        QString runDone = QStringLiteral("Done. Ready ...");
    };

    explicit OutboxSender(CycleHost &host);
    OutboxSender(CycleHost &host, Texts texts);

    // The "Check Credits" button: refuses without user name or password; any
    // error is shown and the balance kept.
    void CheckCredits();
    // Asks the gateway for the balance, shows it and gives it. A request that
    // fails throws GatewayError and leaves the shown balance as it was.
    double RefreshCredits();
    // Rows not yet attempted that a run may post now (none of a scheduled
    // batch before its time or while it is held).
    int CountQueued();
    // Posts one message; the batch number text, or "0" when it was refused or
    // had no number or text. A request that could not be completed throws
    // GatewayError.
    QString SendSingleSMS(const QString &number, const QString &text, const QString &customer);
    // The whole send run: up to RunningSetup::gatewayConnections() messages in
    // flight at once, at most RunningSetup::gatewayMessagesPerSecond() in any one
    // second. False when it stopped early (credits refused or run out, the
    // operator declined, or an error).
    bool SendOutbox();
    // The same run over the queued rows of these scheduled batches only.
    bool SendBatches(const QList<qint64> &batches);

    // The fewest rows a run marks in flight ahead of posting them, in one
    // synced commit, with this many messages in flight at once.
    static int markAhead(int connections);

private:
    class Run;
    struct RunResult;
    bool send(const Dispatch::Choice &choice);
    // The credit check of `count` queued rows against the balance the gateway
    // gives now: the rows to send, or nothing when the run stops here.
    std::optional<Dispatch::ReadyRows> chooseRows(CycleBusy &busy, const Dispatch::Choice &choice, int count,
                                                  const GatewayClient::Answer &credits);
    // Tells how a run that posted ended; true when it sent all it could.
    bool tellOutcome(CycleBusy &busy, const RunResult &result, const QString &heldStatus);
    // Reads the balance out of the gateway's answer and shows it.
    double showBalance(const QString &answer);

    CycleHost &m_host;
    Texts m_texts;
    bool m_busy = false;
};
