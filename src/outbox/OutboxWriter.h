#pragma once

#include "data/AppError.h"
#include "data/Database.h"
#include "outbox/OptOutList.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <map>
#include <memory>
#include <vector>

// How one queueing action treats its messages, and what it left out.
struct QueueCampaign
{
    bool marketing = false;
    qint64 leftOut = 0; // addressees not queued because their number opted out
    // Scheduled: the rows are not posted before this time (invalid: at the next
    // run). The batch is made with the first row written.
    QDateTime sendAt;
    QString description; // what is queued, for the list of batches ("Group Friends")
    qint64 batchId = 0;
};

// A row's text for one addressee from the body the operator wrote (merge
// fields filled, a marketing footer added); none keeps the body as it is.
using TextFill = std::function<QString(const QString &body, qint64 clientId, const QString &number)>;

// A queueing action stopped before anything was queued (a fill that cannot
// be made for an addressee): the batch of writes is rolled back whole.
class NothingQueued : public AppError
{
public:
    using AppError::AppError;
};

// The office's date and time (OperatorTime), read afresh for every row.
class OfficeClock
{
public:
    QDateTime now();

private:
    QDateTime m_since;
    int m_offset = 0;
};

// Adds rows to the outbox (SMSSend): every queueing path writes through it.
// A number on the opt-out list gets no rows (counted in the campaign). One
// prepared statement per row shape is reused for every row (a RowStatement),
// so a long list is queued at the engine's pace; values are always bound.
// Errors are thrown as AppError; rows stored before one stay stored.
class OutboxWriter
{
public:
    explicit OutboxWriter(QueueCampaign *campaign = nullptr, TextFill fill = {});

    // The bodies for one addressee, in order: every body that is not empty
    // once blanks are removed at both ends becomes one row with the trimmed
    // body (filled), the trimmed number, the contact (a null QVariant for
    // none) and today's date and the time as "HH:MM", taken afresh for every
    // row. Gives the number of rows written.
    int queueBodies(const QStringList &bodies, const QString &number, const QVariant &clientId = {});

    struct Addressee
    {
        QString number;
        QVariant clientId;
    };
    // queueBodies() for each addressee in turn, their rows written a few
    // dozen to a statement. When an addressee's rows cannot be filled or
    // written, the rows of those before it stay written, failedAt is its
    // place in the list and its error is thrown. Gives the rows written.
    qint64 queueBodiesToEach(const QStringList &bodies, const QList<Addressee> &addressees, qsizetype &failedAt);

    // One row with only a number and a message (the debit-order list): no
    // contact, date or time. Such rows are written a few dozen to a statement:
    // flush() writes those still waiting.
    void queueMessage(const QString &number, const QString &message);

    // Writes the rows still waiting. Where a statement of several rows
    // fails, they are written one by one: the rows before the failing one
    // are stored and its own error is thrown.
    void flush();

    // Rows this writer has written so far.
    qint64 written() const { return m_written; }

private:
    // Rows of one shape, written by one statement of up to RowsPerStatement rows.
    struct Shape
    {
        QString columns;
        int count;
        Database::RowStatement single;
        std::map<qsizetype, std::unique_ptr<Database::RowStatement>> several;
    };
    struct Waiting
    {
        QString number, message, key;
        Database::Value batch;
    };
    // Rows with one statement; false, with none of them stored, when it fails.
    bool writeTogether(Shape &shape, const std::vector<Database::Value> &values);
    void writeRows(Shape &shape, const std::vector<Database::Value> &values);

    bool leaveOut(const QString &number);
    QString text(const QString &body, qint64 clientId, const QString &number) const;
    // SMSSend.BatchID for the next row: NULL unless the queueing is
    // scheduled, when its batch is made on first use.
    Database::Value batch();
    int marketing() const { return m_campaign && m_campaign->marketing ? 1 : 0; }
    // The bodies trimmed, worked out once for a list given again and again.
    const QStringList &trimmed(const QStringList &bodies);
    // SendDate and SendTime of a row written now, formatted once a minute.
    void stampNow();

    QueueCampaign *m_campaign;
    TextFill m_fill;
    OptOutList::Checker m_checker;
    Shape m_dated;
    Shape m_plain;
    QList<Waiting> m_waiting;
    OfficeClock m_clock;
    QStringList m_bodies;
    QStringList m_trimmedBodies;
    qint64 m_stampMinute = -1;
    int m_stampOffset = 0;
    QString m_sendDate;
    QString m_sendTime;
    qint64 m_written = 0;
};

// Runs write with a writer in one batch of writes and commits it. When write
// fails part way, the rows written before the error are kept and the error
// thrown says how many; NothingQueued rolls the batch back; a failing commit
// is thrown as the error it is.
void writeInBatch(const std::function<void(OutboxWriter &)> &write, QueueCampaign *campaign = nullptr,
                  const TextFill &fill = {});

// A failed message to be copied into a new row (Queue Again to the failed).
struct FailedCopy
{
    qint64 id = 0;
    QVariant clientId;
    QString number, message;
    bool marketing = false;
};
struct CopiesQueued
{
    qint64 queued = 0;
    qint64 leftOut = 0;      // their numbers opted out
    qint64 alreadyAgain = 0; // queued again meanwhile (by another program)
};
// Copies each failed message into a new outbox row (same number, text as it
// stands, contact and Marketing flag, dated now, in no scheduled batch) and
// marks the failed one queued again, all in one batch. A failed row already
// marked gets no second copy; numbers on the opt-out list are left out (and
// their failed rows stay unmarked).
CopiesQueued queueCopies(const QList<FailedCopy> &failed);
