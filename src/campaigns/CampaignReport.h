#pragma once

#include <QDate>
#include <QList>
#include <QString>
#include <QVariant>

// Figures of the outbox, the replies and the opt-out list over a range of
// days, by day, week (from Monday) or month. A message counts on the day it
// was posted, or queued when it has not been posted: days of the office's
// clock (OperatorTime), whatever the machine's zone.
namespace CampaignReport {

enum class Period { Day, Week, Month };

struct Bucket
{
    QDate start;
    int sent = 0;      // accepted by the gateway
    int delivered = 0; // of those, reported delivered
    int failed = 0;    // refused or failed
    int pending = 0;   // still queued
    int optedOut = 0;  // kept back: the number opted out
    int replies = 0;
    int optOuts = 0; // numbers that came on the list
    int credits = 0; // SMS parts of the messages accepted
};

// How many messages failed for one reason.
struct Failures
{
    QString reason;
    int count = 0;
};

struct Report
{
    Period period = Period::Day;
    QDate from, to;
    QList<Bucket> buckets; // every period of the range, in order, also empty ones
    Bucket total;
    // The failed messages of the range by reason, most first (then by reason).
    QList<Failures> failures;
    // Delivered of those sent, 0 to 1; 0 when none was sent.
    double deliveryRate() const { return total.sent > 0 ? double(total.delivered) / total.sent : 0.0; }
};

QDate periodStart(QDate day, Period period);
// "2026-12-07", "week of 2026-12-07", "2026-12".
QString periodLabel(QDate start, Period period);

Report build(QDate from, QDate to, Period period);

// One line a period and a total line, with a header; then, after an empty
// line, one line a failure reason with its count.
void exportCsv(const Report &report, const QString &path);

// The failed messages of a range that "queue again" would copy: refused ones
// and those the program could not post, not yet queued again, all reasons
// or one. Failures that would fail the same way again (no number, a number
// that cannot be used, no text) are not among them, nor messages that may
// have been taken (no answer, or one without a batch number).
struct Failed
{
    qint64 id = 0;
    QVariant clientId;
    QString number, message, reason;
    bool marketing = false;
};
QList<Failed> failedToQueueAgain(QDate from, QDate to, const QString &reason = {});

struct QueuedAgain
{
    qint64 queued = 0;
    qint64 leftOut = 0; // their numbers opted out
};
// Copies each failed message into a new outbox row (same number, text,
// contact and Marketing flag, dated now) and marks the failed one queued
// again, all in one batch; numbers on the opt-out list are left out (and
// their failed rows stay unmarked).
QueuedAgain queueAgain(const QList<Failed> &failed);

} // namespace CampaignReport
