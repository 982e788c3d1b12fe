#include "campaigns/SendGate.h"

#include "data/Clock.h"

#include <QLocale>
#include <QStringList>

SendGate::SendGate() : m_window(SendingWindow::fromDatabase()) {}

SendGate::Verdict SendGate::check(const QString &number, bool marketing, bool confirmsOptOut)
{
    if ((marketing || !confirmsOptOut) && m_checker.blocks(number)) {
        ++m_optedOut;
        return Verdict::OptedOut;
    }
    if (marketing && !m_heldReason.isEmpty()) {
        ++m_held;
        return Verdict::Wait;
    }
    if (marketing && !m_window.isOpen(CampaignClock::now())) {
        ++m_waiting;
        return Verdict::Wait;
    }
    return Verdict::Post;
}

QString SendGate::notice() const
{
    QStringList lines;
    if (m_optedOut == 1)
        lines << QStringLiteral("1 message was not sent: its number is on the opt-out list.");
    else if (m_optedOut > 1)
        lines << QStringLiteral("%1 messages were not sent: their numbers are on the opt-out list.").arg(m_optedOut);
    if (m_waiting > 0) {
        const QDateTime next = m_window.nextOpening(CampaignClock::now());
        lines << (m_waiting == 1 ? QStringLiteral("1 marketing message waits")
                                 : QStringLiteral("%1 marketing messages wait").arg(m_waiting))
                     + QStringLiteral(" for the permitted hours (from %1).")
                           .arg(QLocale().toString(next, QStringLiteral("ddd d MMM HH:mm")));
    }
    if (m_held > 0)
        lines << (m_held == 1 ? QStringLiteral("1 marketing message was not sent")
                              : QStringLiteral("%1 marketing messages were not sent").arg(m_held))
                     + QStringLiteral(": ") + m_heldReason + QStringLiteral(". They go at the next run.");
    return lines.join(QLatin1Char('\n'));
}

QString SendGate::statusLine() const
{
    return QStringLiteral("Done. Marketing messages waited: %1 ...").arg(m_heldReason);
}

QString SendGate::postedStamp()
{
    return CampaignClock::nowUtc().toString(Qt::ISODateWithMs);
}

QString SendGate::noticeTitle() const
{
    return m_optedOut > 0 ? QStringLiteral("OPTED OUT") : QStringLiteral("WAITING");
}
