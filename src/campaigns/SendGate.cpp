#include "campaigns/SendGate.h"

#include "campaigns/Clock.h"

SendGate::SendGate() : m_window(SendingWindow::fromDatabase()) {}

SendGate::Verdict SendGate::check(const QString &number, bool marketing)
{
    if (m_checker.blocks(number))
        return Verdict::OptedOut;
    if (marketing && !m_window.isOpen(CampaignClock::now()))
        return Verdict::Wait;
    return Verdict::Post;
}

QString SendGate::postedStamp()
{
    return CampaignClock::now().toUTC().toString(Qt::ISODateWithMs);
}
