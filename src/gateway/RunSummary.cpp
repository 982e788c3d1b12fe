#include "gateway/RunSummary.h"

#include <QStringList>

#include <algorithm>

namespace {

// "3 refused (Insufficient funds, Invalid number)": the reasons most often
// given first, two at most.
QString withReasons(const QString &what, const QMap<QString, int> &reasons)
{
    int count = 0;
    QList<QPair<int, QString>> byCount;
    for (auto it = reasons.cbegin(); it != reasons.cend(); ++it) {
        count += it.value();
        byCount.append({it.value(), it.key()});
    }
    std::stable_sort(byCount.begin(), byCount.end(), [](const auto &a, const auto &b) { return a.first > b.first; });
    QStringList shown;
    for (const auto &[times, reason] : byCount) {
        if (shown.size() == 2) {
            shown.append(QStringLiteral("…"));
            break;
        }
        if (!reason.isEmpty())
            shown.append(reason);
    }
    QString text = QStringLiteral("%1 %2").arg(count).arg(what);
    if (!shown.isEmpty())
        text += QStringLiteral(" (") + shown.join(QStringLiteral(", ")) + QLatin1Char(')');
    return text;
}

int total(const QMap<QString, int> &reasons)
{
    int count = 0;
    for (const int times : reasons)
        count += times;
    return count;
}

} // namespace

void RunSummary::failed(const QString &step, const QString &why)
{
    for (const auto &failure : std::as_const(m_failures))
        if (failure.first == step)
            return;
    m_failures.append({step, why});
}

void RunSummary::note(const QString &text)
{
    if (!m_notes.contains(text))
        m_notes.append(text);
}

int RunSummary::handled() const
{
    return m_sent + total(m_refused) + total(m_notPosted) + m_optedOut + m_waiting + m_inDoubt;
}

bool RunSummary::isEmpty() const
{
    return handled() == 0 && m_leftQueued == 0 && m_reports == 0 && m_replies == 0 && m_failures.isEmpty()
           && m_notes.isEmpty();
}

QString RunSummary::text(const QString &readyText) const
{
    QStringList parts;
    if (m_sent > 0)
        parts.append(QStringLiteral("%1 sent").arg(m_sent));
    if (!m_refused.isEmpty())
        parts.append(withReasons(QStringLiteral("refused"), m_refused));
    if (!m_notPosted.isEmpty())
        parts.append(withReasons(QStringLiteral("not sent"), m_notPosted));
    if (m_optedOut > 0)
        parts.append(QStringLiteral("%1 opted out").arg(m_optedOut));
    if (m_waiting > 0)
        parts.append(QStringLiteral("%1 left for the sending window").arg(m_waiting));
    if (m_inDoubt > 0)
        parts.append(QStringLiteral("%1 without an answer").arg(m_inDoubt));
    if (m_leftQueued > 0)
        parts.append(QStringLiteral("%1 left queued").arg(m_leftQueued));
    if (m_reports > 0)
        parts.append(m_reports == 1 ? QStringLiteral("1 delivery report")
                                    : QStringLiteral("%1 delivery reports").arg(m_reports));
    if (m_replies > 0)
        parts.append(m_replies == 1 ? QStringLiteral("1 new reply") : QStringLiteral("%1 new replies").arg(m_replies));
    parts.append(m_notes);
    // Steps that failed for one reason (a gateway that is down fails them
    // all alike) are named together before it.
    QStringList whys;
    QMap<QString, QStringList> stepsFor;
    for (const auto &[step, why] : m_failures) {
        if (!whys.contains(why))
            whys.append(why);
        stepsFor[why].append(step);
    }
    QStringList failures;
    for (const QString &why : std::as_const(whys))
        failures.append(stepsFor[why].join(QStringLiteral(", ")) + QStringLiteral(": ") + why);
    QString text = parts.join(QStringLiteral(", "));
    if (failures.isEmpty())
        return text.isEmpty() ? readyText : readyText + QLatin1Char(' ') + text;
    if (!text.isEmpty())
        text += QStringLiteral(" — ");
    return text + failures.join(QStringLiteral("; "));
}
