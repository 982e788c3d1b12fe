#pragma once

#include "data/Database.h"

#include <QList>
#include <QString>
#include <QVariantList>

#include <optional>

// A message's way from the queue to the gateway, as the send run takes it:
//
//   queued (Send 0, InFlight 0)
//     -> claimed by a run (Send 1, InFlight = the run's token)
//     -> answered (InFlight 0; EventID the batch number, "0" refused with a
//        FailReason, OPTOUT kept back)
//     -> reported (Delivered 1, SentID)
//   A claimed row goes back to the queue when the run does not post it
//   (unclaim). A claimed row whose run has ended, or stopped beating, is in
//   doubt (see Outbox and SendRuns).
//
// Every change names the state it leaves (and, for a claimed row, the run
// that claimed it), and its affected-row count is read: a row another program
// changed meanwhile is never overwritten blindly.
namespace Dispatch {

// Which queued rows a run takes: those a run may post now (none of a
// scheduled batch before its time or while it is held), of some batches only
// when it is given them. The condition is read with the time the run began,
// from choosing the rows to claiming each one.
struct Choice
{
    QString condition;
    QVariantList values;

    static Choice ready();
    static Choice ofBatches(const QList<qint64> &batches);
};

int count(const Choice &choice);

// The rows a run sends, in order: the newest `limit` rows, or every row
// queued when the run started, oldest first, read by key a page at a time so
// that a large outbox is never held in memory at once.
class ReadyRows
{
public:
    static ReadyRows newest(const Choice &choice, qint64 limit);
    static ReadyRows oldestFirst(const Choice &choice);

    int total() const { return m_total; }
    const Choice &choice() const { return m_choice; }
    // The next keys to send; empty at the end.
    QList<qint64> next();

private:
    explicit ReadyRows(Choice choice) : m_choice(std::move(choice)) {}

    Choice m_choice;
    QList<qint64> m_keys;
    bool m_paged = false;
    bool m_ended = false;
    qint64 m_after = 0;
    qint64 m_last = 0;
    int m_total = 0;
};

// Claimed rows the run did not post go back to the queue. Gives how many did.
int unclaim(const QList<qint64> &keys, qint64 token);

// What a claimed row asks the run to post.
struct Message
{
    QString number;
    QString text;
    bool marketing = false;
    bool confirmsOptOut = false;
};

// A row claimed for a run, with what it asks the run to post (a queued row's
// number and text never change).
struct Claimed
{
    qint64 key = 0;
    Message message;
};

// Claims for run `token` those of the keys still queued and still ready (a
// row the operator deleted or held, or another run took meanwhile, is left
// alone), in one commit synced to disk before it returns. Gives the rows
// claimed, in the order given.
QList<Claimed> claim(const Choice &choice, const QList<qint64> &keys, qint64 token);

// What became of an answer stored for a row.
enum class Stored {
    Stored,           // the row was the run's (or reported meanwhile): the answer is in
    TakenBack,        // the row had been queued again: taken out of the queue, since it was sent
    LeftQueued,       // the row had been queued again and this answer is no sending: it stays queued
    ClaimedElsewhere, // another run holds the row now: that run's answer will tell
    Gone,             // the row was deleted: nothing to store the answer in
};

// One run's reads and writes of the rows it claimed, each a prepared
// statement kept for the run.
class RunRows
{
public:
    explicit RunRows(qint64 token);

    // Whether the row is still the run's (another program may have deleted
    // it, or a delivery report taken it, while the run waited).
    bool stillClaimed(qint64 key);
    // The answer: the batch number (or "0", or OPTOUT), when it was posted
    // (UTC, ISO 8601; empty for a row not posted) and why it failed (empty
    // for one accepted). Stored when the caller's transaction commits, at once without one.
    Stored answer(qint64 key, const QString &eventId, const QString &postedAt, const QString &reason);

private:
    qint64 m_token;
    Database::RowStatement m_claimed;
    Database::RowStatement m_answered;
    Database::RowStatement m_takeBack;
    Database::Statement m_exists;
};

} // namespace Dispatch
