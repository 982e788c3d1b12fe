#include "gateway/GatewayCycles.h"

#include "gateway/CycleHost.h"

GatewayCycles::GatewayCycles(CycleHost &host, QObject *parent)
    : QObject(parent), m_host(host), m_sender(host), m_status(host), m_replies(host)
{
    m_sender.reportTo(&m_summary);
    m_status.reportTo(&m_summary);
    m_replies.reportTo(&m_summary);
}

// The sequence's steps each end with their own status; the last one's would
// say "Done" after an earlier step failed, so the sequence ends with what
// all of them did.
template <typename Steps>
bool GatewayCycles::runGuarded(Steps steps)
{
    const RunLock::Hold hold;
    if (!hold.taken())
        return false;
    m_summary = {};
    steps();
    if (!m_summary.isEmpty())
        m_host.setStatus(m_summary.text());
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
           })
           && sent;
}
