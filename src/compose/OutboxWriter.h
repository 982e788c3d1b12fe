#pragma once

#include "campaigns/QueueFilter.h"
#include "data/Database.h"

#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>

// Adds rows to the outbox (SMSSend). One prepared statement per row shape is
// reused for every row, so a long list is queued quickly; values are always
// bound. Errors are thrown as AppError; rows stored before one stay stored.
class OutboxWriter
{
public:
    // A number on the opt-out list gets no rows (counted in the campaign);
    // a marketing campaign's rows are marked so and carry the footer.
    explicit OutboxWriter(QueueCampaign *campaign = nullptr);

    // The bodies for one addressee, in order: every body that is not empty
    // once blanks are removed at both ends becomes one row with the trimmed
    // body, the trimmed number, the contact (a null QVariant for none) and
    // today's date and the time as "HH:MM", taken afresh for every row.
    // Gives the number of rows written.
    int queueBodies(const QStringList &bodies, const QString &number, const QVariant &clientId = {});

    // One row with only a number and a message (the debit-order list): no
    // contact, date or time.
    void queueMessage(const QString &number, const QString &message);

    // A copy of a message already written (queued again): the text as it
    // stands (its fields were filled and its footer added when it was first
    // queued), with its own contact and Marketing flag, dated now. False when
    // the number is on the opt-out list and nothing was written.
    bool queueCopy(const QString &number, const QString &message, const QVariant &clientId, bool marketing);

    // Rows this writer has written so far.
    qint64 written() const { return m_written; }

private:
    QueueFilter m_filter;
    Database::Statement m_dated;
    Database::Statement m_plain;
    qint64 m_written = 0;
};

// Runs write with a writer in one batch of writes and commits it. When write
// fails part way, the rows written before the error are kept and the error
// thrown says how many; a failing commit is thrown as the error it is.
void writeInBatch(const std::function<void(OutboxWriter &)> &write, QueueCampaign *campaign = nullptr);

// Queues the bodies to every number of a typed list, in order. A number that is
// blank once blanks are removed at both ends is skipped; every other one counts,
// also when every body is blank. progress hears of each trimmed number before
// (done false) and after (done true) its rows are written. One batch of writes
// (see writeInBatch). Gives the count of numbers.
qint64 queueToNumbers(const QStringList &numbers, const QStringList &bodies,
                      const std::function<void(const QString &number, bool done)> &progress = {},
                      QueueCampaign *campaign = nullptr);
