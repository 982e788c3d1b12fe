#pragma once

#include "outbox/OutboxWriter.h"

#include <QString>
#include <QStringList>

#include <functional>

// Queues the bodies to every number of a typed list, in order. A number that is
// blank once blanks are removed at both ends is skipped; every other one counts,
// also when every body is blank. progress hears of each trimmed number before
// (done false) and after (done true) its rows are written. One batch of writes
// (see writeInBatch). Gives the count of numbers.
qint64 queueToNumbers(const QStringList &numbers, const QStringList &bodies,
                      const std::function<void(const QString &number, bool done)> &progress = {},
                      QueueCampaign *campaign = nullptr);
