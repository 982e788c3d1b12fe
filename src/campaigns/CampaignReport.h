#pragma once

#include <QDate>
#include <QList>
#include <QString>

// Figures of the outbox, the replies and the opt-out list over a range of
// days, by day, week (from Monday) or month. A message counts on the day it
// was posted, or queued when it has not been posted.
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

struct Report
{
    Period period = Period::Day;
    QList<Bucket> buckets; // every period of the range, in order, also empty ones
    Bucket total;
    // Delivered of those sent, 0 to 1; 0 when none was sent.
    double deliveryRate() const { return total.sent > 0 ? double(total.delivered) / total.sent : 0.0; }
};

QDate periodStart(QDate day, Period period);
// "2026-12-07", "week of 2026-12-07", "2026-12".
QString periodLabel(QDate start, Period period);

Report build(QDate from, QDate to, Period period);

// One line a period and a total line, with a header.
void exportCsv(const Report &report, const QString &path);

} // namespace CampaignReport
