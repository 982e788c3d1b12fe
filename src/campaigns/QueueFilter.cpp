#include "campaigns/QueueFilter.h"

#include "campaigns/SendingWindow.h"

QueueFilter::QueueFilter(QueueCampaign *campaign) : m_campaign(campaign)
{
    if (marketing())
        m_senderName = Marketing::senderName();
}

bool QueueFilter::leaveOut(const QString &number)
{
    if (!m_checker.blocks(number))
        return false;
    if (m_campaign)
        ++m_campaign->leftOut;
    return true;
}

QString QueueFilter::text(const QString &body) const
{
    return marketing() ? Marketing::withFooter(body, m_senderName) : body;
}
