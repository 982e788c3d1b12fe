#pragma once

#include "outbox/NumberScreen.h"
#include "outbox/OutboxWriter.h"

#include <QString>
#include <QStringList>

#include <functional>

// A typed list as it will be queued: its numbers, blanks removed at both
// ends, without blank ones and those the screen leaves out (see NumberScreen),
// in order; and what was left out.
struct NumberListPlan
{
    QStringList numbers;
    SkippedNumbers skipped;
};
NumberListPlan screenNumbers(const QStringList &numbers);

// Queues the bodies to every number of a typed list, in order. A number that is
// blank once blanks are removed at both ends is skipped; every other one counts,
// also when every body is blank. progress hears of each trimmed number before
// (done false) and after (done true) its rows are written. One batch of writes
// (see writeInBatch). Gives the count of numbers.
qint64 queueToNumbers(const QStringList &numbers, const QStringList &bodies,
                      const std::function<void(const QString &number, bool done)> &progress = {},
                      QueueCampaign *campaign = nullptr);
