#include "gateway/GatewayCycles.h"

GatewayCycles::GatewayCycles(CycleHost &host, QObject *parent)
    : QObject(parent), m_sender(host), m_status(host), m_replies(host)
{
}

template <typename Steps>
bool GatewayCycles::runGuarded(Steps steps)
{
    const RunLock::Hold hold;
    if (!hold.taken())
        return false;
    steps();
    return true;
}

bool GatewayCycles::SendReceive()
{
    return runGuarded([this] {
        m_status.FetchStatusReports();
        m_sender.SendOutbox();
        m_replies.FetchReplies();
    });
}

bool GatewayCycles::SendNow()
{
    return runGuarded([this] {
        m_sender.SendOutbox();
        m_status.FetchStatusReports();
    });
}

bool GatewayCycles::ReceiveNow()
{
    return runGuarded([this] {
        m_status.FetchStatusReports();
        m_replies.FetchReplies();
    });
}

bool GatewayCycles::SendScheduled(const QList<qint64> &batches)
{
    bool sent = false;
    return runGuarded([this, &batches, &sent] {
        sent = m_sender.SendBatches(batches);
        m_status.FetchStatusReports();
    }) && sent;
}
