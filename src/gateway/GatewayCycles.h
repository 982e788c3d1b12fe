#pragma once

#include "gateway/OutboxSender.h"
#include "gateway/RepliesRetrieval.h"
#include "gateway/RunSummary.h"
#include "gateway/StatusRetrieval.h"
#include "outbox/RunLock.h"

#include <QObject>

class CycleHost;

// The three sequences of the command bar. Each step runs to its end before the
// next starts, also when the one before stopped early. A sequence takes the
// program's RunLock: while any run goes (it lets the window process events
// between items) no other can start, from this window or any other.
class GatewayCycles : public QObject
{
    Q_OBJECT

public:
    explicit GatewayCycles(CycleHost &host, QObject *parent = nullptr);

    // A run of this program is going (any window's: they share the RunLock).
    bool isRunning() const { return RunLock::instance().isHeld(); }

    // Status, send, replies. False (and nothing done) while another run goes.
    bool SendReceive();
    // Send, status.
    bool SendNow();
    // Status, replies.
    bool ReceiveNow();
    // Send the rows of these scheduled batches, status. False when another
    // sequence runs or the send stopped early.
    bool SendScheduled(const QList<qint64> &batches);

    OutboxSender &sender() { return m_sender; }
    StatusRetrieval &status() { return m_status; }
    RepliesRetrieval &replies() { return m_replies; }
    // What the last sequence did and what failed in it.
    const RunSummary &summary() const { return m_summary; }

private:
    template <typename Steps>
    bool runGuarded(Steps steps);

    CycleHost &m_host;
    RunSummary m_summary;
    OutboxSender m_sender;
    StatusRetrieval m_status;
    RepliesRetrieval m_replies;
};
