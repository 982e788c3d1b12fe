#include "campaigns/CampaignReport.h"

#include "campaigns/OptOuts.h"
#include "data/Database.h"
#include "data/OperatorTime.h"
#include "data/SmsParts.h"
#include "data/modFunctions.h"
#include "outbox/FailReasons.h"
#include "outbox/OutboxWriter.h"

#include <QHash>
#include <QSaveFile>
#include <QSqlQuery>

#include <algorithm>
#include <map>

namespace CampaignReport {

namespace {

constexpr qint64 ErrorFileAccess = 75;

QDate next(QDate start, Period period)
{
    switch (period) {
    case Period::Day:
        return start.addDays(1);
    case Period::Week:
        return start.addDays(7);
    case Period::Month:
        return start.addMonths(1);
    }
    return start.addDays(1);
}

QString csvValue(const QString &value)
{
    QString quoted = value;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

void add(Bucket &to, const Bucket &from)
{
    to.sent += from.sent;
    to.delivered += from.delivered;
    to.failed += from.failed;
    to.pending += from.pending;
    to.optedOut += from.optedOut;
    to.replies += from.replies;
    to.optOuts += from.optOuts;
    to.credits += from.credits;
}

// The days from `first` to `last` as bounds of ISO text (">= ? AND < ?"):
// a date or a time written from its date on falls inside when its day does.
// The text compares where date() of it would not let an index serve.
QVariantList daysOf(QDate first, QDate last)
{
    return {first.toString(Qt::ISODate), last.addDays(1).toString(Qt::ISODate)};
}

// Posting and opt-out times are UTC instants counted on the office's date;
// a queued row's date is the office's already. The bounds take both: from the
// earlier of the first day's start as an instant and as a date, to the later
// of the day after the last (ISO text compares as the times do, and the text
// lets the index on the day serve where date() of it would not).
QVariantList bothKindsOf(const OperatorTime &office, QDate first, QDate last)
{
    const auto utcText = [&](QDate day) {
        return office.instant(day, QTime(0, 0)).toUTC().toString(Qt::ISODateWithMs);
    };
    const QVariantList dates = daysOf(first, last);
    return {std::min(utcText(first), dates[0].toString()), std::max(utcText(last.addDays(1)), dates[1].toString())};
}

// The office's dates of stored UTC times ("...Z"), worked out once for each
// minute: a zone's offset is a whole number of minutes, and a report reads
// tens of thousands of times that mostly share their minutes.
class OfficeDates
{
public:
    explicit OfficeDates(OperatorTime office) : m_office(std::move(office)) {}

    QDate of(const QVariant &instant)
    {
        const QString text = instant.toString();
        if (text.size() < 17 || !text.endsWith(QLatin1Char('Z')))
            return dateOf(text);
        const QString minute = text.left(16);
        const auto found = m_byMinute.constFind(minute);
        if (found != m_byMinute.cend())
            return *found;
        return *m_byMinute.insert(minute, dateOf(text));
    }

    // The day a message counts on: posted, or queued when it has not been.
    QDate ofMessage(const QVariant &postedAt, const QVariant &sendDate)
    {
        return postedAt.isNull() ? QDate::fromString(sendDate.toString().left(10), Qt::ISODate) : of(postedAt);
    }

private:
    QDate dateOf(const QString &text) const { return m_office.dateOf(QDateTime::fromString(text, Qt::ISODateWithMs)); }

    OperatorTime m_office;
    QHash<QString, QDate> m_byMinute;
};

} // namespace

QDate periodStart(QDate day, Period period)
{
    switch (period) {
    case Period::Day:
        return day;
    case Period::Week:
        return day.addDays(1 - day.dayOfWeek());
    case Period::Month:
        return QDate(day.year(), day.month(), 1);
    }
    return day;
}

QString periodLabel(QDate start, Period period)
{
    switch (period) {
    case Period::Day:
        return start.toString(Qt::ISODate);
    case Period::Week:
        return QStringLiteral("week of ") + start.toString(Qt::ISODate);
    case Period::Month:
        return start.toString(QStringLiteral("yyyy-MM"));
    }
    return start.toString(Qt::ISODate);
}

Report build(QDate from, QDate to, Period period)
{
    Report report;
    report.period = period;
    std::map<QDate, Bucket> buckets;
    for (QDate start = periodStart(from, period); start <= to; start = next(start, period))
        buckets[start].start = start;
    // A queued row's date and a reply's time are the office's already.
    const QVariantList range = daysOf(from, to);
    const OperatorTime office = OperatorTime::current();
    const QVariantList instantsOrDates = bothKindsOf(office, from, to);
    OfficeDates officeDates(office);
    const auto bucketOf = [&](QDate date) -> Bucket * {
        if (!date.isValid() || date < from || date > to)
            return nullptr;
        const auto found = buckets.find(periodStart(date, period));
        return found == buckets.end() ? nullptr : &found->second;
    };

    report.from = from;
    report.to = to;
    std::map<QString, int> failures;
    QSqlQuery messages = Database::run(
        QStringLiteral("SELECT PostedAt, SendDate, Send, EventID, Delivered, Message, FailReason FROM SMSSend "
                       "WHERE coalesce(PostedAt, SendDate) >= ? AND coalesce(PostedAt, SendDate) < ?"),
        instantsOrDates);
    while (messages.next()) {
        Bucket *bucket = bucketOf(officeDates.ofMessage(messages.value(0), messages.value(1)));
        if (!bucket)
            continue;
        const QString event = modFunctions::TrimBlanks(messages.value(3).toString());
        if (messages.value(2).toInt() == 0) {
            ++bucket->pending;
        } else if (event == OptOutList::OptedOutEventId) {
            ++bucket->optedOut;
        } else if (event.isEmpty() || event == QLatin1String("0")) {
            ++bucket->failed;
            ++failures[FailReasons::shown(messages.value(6).toString(), event)];
        } else {
            ++bucket->sent;
            bucket->credits += smsParts(modFunctions::TrimBlanks(messages.value(5).toString())).parts;
            if (messages.value(4).toInt() != 0)
                ++bucket->delivered;
        }
    }
    QSqlQuery replies = Database::run(QStringLiteral("SELECT date(ReceivedDateTime) FROM SMSReplies "
                                                     "WHERE ReceivedDateTime >= ? AND ReceivedDateTime < ?"),
                                      range);
    while (replies.next())
        if (Bucket *bucket = bucketOf(QDate::fromString(replies.value(0).toString().left(10), Qt::ISODate)))
            ++bucket->replies;
    QSqlQuery optOuts = Database::run(QStringLiteral("SELECT ChangedAt FROM OptOutAudit "
                                                     "WHERE Action = 'ADDED' AND ChangedAt >= ? AND ChangedAt < ?"),
                                      instantsOrDates);
    while (optOuts.next())
        if (Bucket *bucket = bucketOf(officeDates.of(optOuts.value(0))))
            ++bucket->optOuts;

    for (const auto &[start, bucket] : buckets) {
        report.buckets.append(bucket);
        add(report.total, bucket);
    }
    for (const auto &[reason, count] : failures)
        report.failures.append({reason, count});
    std::stable_sort(report.failures.begin(), report.failures.end(),
                     [](const Failures &a, const Failures &b) { return a.count > b.count; });
    return report;
}

void exportCsv(const Report &report, const QString &path)
{
    QString text = QStringLiteral("Period,Sent,Delivered,Failed,Pending,Opted out,Replies,Opt-outs,Credits\r\n");
    const auto line = [](const QString &label, const Bucket &b) {
        return csvValue(label)
               + QStringLiteral(",%1,%2,%3,%4,%5,%6,%7,%8\r\n")
                     .arg(b.sent)
                     .arg(b.delivered)
                     .arg(b.failed)
                     .arg(b.pending)
                     .arg(b.optedOut)
                     .arg(b.replies)
                     .arg(b.optOuts)
                     .arg(b.credits);
    };
    for (const Bucket &bucket : report.buckets)
        text += line(periodLabel(bucket.start, report.period), bucket);
    text += line(QStringLiteral("Total"), report.total);
    text += QStringLiteral("\r\nFailure reason,Failed\r\n");
    for (const Failures &failed : report.failures)
        text += csvValue(failed.reason) + QLatin1Char(',') + QString::number(failed.count) + QStringLiteral("\r\n");
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0 || !file.commit())
        throw AppError(ErrorFileAccess,
                       QStringLiteral("The file '%1' cannot be written: %2").arg(path, file.errorString()));
}

QList<Failed> failedToQueueAgain(QDate from, QDate to, const QString &reason)
{
    QList<Failed> found;
    const OperatorTime office = OperatorTime::current();
    OfficeDates officeDates(office);
    QSqlQuery rows = Database::run(
        QStringLiteral("SELECT SMSSendID, ClientID, Number, Message, FailReason, EventID, Marketing, PostedAt, "
                       "SendDate FROM SMSSend WHERE Send <> 0 AND EventID = '0' AND QueuedAgain = 0 "
                       "AND coalesce(PostedAt, SendDate) >= ? AND coalesce(PostedAt, SendDate) < ? ORDER BY SMSSendID"),
        bothKindsOf(office, from, to));
    while (rows.next()) {
        const QDate day = officeDates.ofMessage(rows.value(7), rows.value(8));
        if (day < from || day > to)
            continue;
        const QString why = FailReasons::shown(rows.value(4).toString(), rows.value(5).toString());
        if (!FailReasons::mayQueueAgain(why) || (!reason.isEmpty() && why != reason))
            continue;
        found.append({rows.value(0).toLongLong(), rows.value(1), rows.value(2).toString(), rows.value(3).toString(),
                      why, rows.value(6).toInt() != 0});
    }
    return found;
}

QueuedAgain queueAgain(const QList<Failed> &failed)
{
    QList<FailedCopy> copies;
    copies.reserve(failed.size());
    for (const Failed &message : failed)
        copies.append({message.id, message.clientId, message.number, message.message, message.marketing});
    const CopiesQueued done = queueCopies(copies);
    return {done.queued, done.leftOut};
}

} // namespace CampaignReport
