#include "outbox/NumberScreen.h"

#include "data/PhoneNumbers.h"
#include "data/modFunctions.h"
#include "outbox/OptOutList.h"

#include <QStringList>

namespace {

// Entries the question names before "and N more".
constexpr int Named = 5;

// Addressees an entry stands for: a number met n times leaves n - 1 out.
qint64 leftOutBy(const SkippedNumbers::Entry &entry)
{
    return entry.reason == SkippedNumbers::Reason::Twice ? entry.times - 1 : 1;
}

} // namespace

qint64 SkippedNumbers::countOf(Reason reason) const
{
    qint64 total = 0;
    for (const Entry &entry : entries)
        if (entry.reason == reason)
            total += leftOutBy(entry);
    return total;
}

QString SkippedNumbers::reasonText(Reason reason, int times, const QString &where)
{
    switch (reason) {
    case Reason::NoNumber:
        return QStringLiteral("no number");
    case Reason::Invalid:
        return QStringLiteral("not a valid number");
    case Reason::NotMobile:
        return QStringLiteral("not a cellphone number");
    case Reason::Foreign:
        return QStringLiteral("not a South African number");
    case Reason::OptedOut:
        return QStringLiteral("opted out");
    case Reason::Twice:
        break;
    }
    return times == 2 ? QStringLiteral("twice in this ") + where
                      : QStringLiteral("%1 times in this %2").arg(times).arg(where);
}

QString SkippedNumbers::question() const
{
    if (count == 0)
        return {};
    QStringList named;
    qint64 covered = 0;
    for (qsizetype i = 0; i < entries.size() && i < Named; ++i) {
        const Entry &entry = entries.at(i);
        QString item = entry.who;
        if (!entry.number.isEmpty())
            item += (item.isEmpty() ? QString() : QStringLiteral(" ")) + entry.number;
        const QString reason = QLatin1Char('(') + reasonText(entry.reason, entry.times, where) + QLatin1Char(')');
        named << (item.isEmpty() ? reason : item + QLatin1Char(' ') + reason);
        covered += leftOutBy(entry);
    }
    QString text = (count == 1 ? QStringLiteral("1 number will be skipped: ")
                               : QStringLiteral("%1 numbers will be skipped: ").arg(count))
                   + named.join(QStringLiteral(", "));
    if (count > covered)
        text += QStringLiteral(" and %1 more").arg(count - covered);
    return text + QStringLiteral("\n\nSkip leaves them out and queues the rest; Cancel queues nothing.");
}

NumberScreen::NumberScreen(const QString &where) : m_optOuts(OptOutList::keys())
{
    m_skipped.where = where;
}

void NumberScreen::skip(const QString &who, const QString &number, SkippedNumbers::Reason reason)
{
    m_skipped.entries.append({who, number, reason});
    ++m_skipped.count;
}

bool NumberScreen::admit(const QString &number, const QString &who, const QString &message)
{
    using Reason = SkippedNumbers::Reason;
    const QString written = modFunctions::TrimBlanks(number);
    if (written.isEmpty()) {
        skip(who, written, Reason::NoNumber);
        return false;
    }
    const PhoneNumbers::Reading reading = PhoneNumbers::read(written);
    switch (reading.verdict) {
    case PhoneNumbers::Verdict::Valid:
        break;
    case PhoneNumbers::Verdict::Invalid:
        skip(who, written, Reason::Invalid);
        return false;
    case PhoneNumbers::Verdict::NotMobile:
        skip(who, written, Reason::NotMobile);
        return false;
    case PhoneNumbers::Verdict::Foreign:
        skip(who, written, Reason::Foreign);
        return false;
    }
    const std::pair<QString, QString> met{reading.key, message};
    const auto found = m_met.find(met);
    if (found != m_met.end()) {
        if (*found < 0) {
            *found = m_skipped.entries.size();
            m_skipped.entries.append({{}, written, Reason::Twice, 2});
        } else {
            ++m_skipped.entries[*found].times;
        }
        ++m_skipped.count;
        return false;
    }
    m_met.insert(met, -1);
    // By its key: the opt-out list knows a number however it was written.
    if (m_optOuts.contains(reading.key)) {
        skip(who, written, Reason::OptedOut);
        return false;
    }
    return true;
}
