#pragma once

#include <QDateTime>
#include <QList>
#include <QSet>
#include <QString>
#include <QVariantList>

// Scheduled sending: a queueing with a send-at time becomes a batch
// (SendBatches) whose rows no send run posts before that time, nor while the
// batch is held. Times are stored in UTC ("yyyy-MM-ddTHH:mm:ssZ", which
// sorts as text in time order) and shown in the office's time (OperatorTime).
namespace Schedule {

// A batch overdue at start-up by no more than this is sent without asking.
inline constexpr qint64 DefaultGraceSeconds = 60 * 60;
// Quitting asks first when a batch is due within this time.
inline constexpr qint64 QuitWarningSeconds = 12 * 60 * 60;

QString stamp(const QDateTime &at);
// An invalid QDateTime for a text that is not a stamp.
QDateTime parse(const QString &stamp);
// As the operator reads it, in the office's time ("Mon 7 Dec 2026 14:30").
QString localText(const QDateTime &at);

struct Batch
{
    qint64 id = 0;
    QDateTime sendAt; // UTC
    QString description;
    bool held = false;
    int unsent = 0;    // rows not yet attempted
    int marketing = 0; // of those, marketing messages
};

// "Group Friends, 40 messages"
QString describe(const Batch &batch);

// Due: not held, its time has come, and rows still wait.
bool isDue(const Batch &batch, const QDateTime &now);

// The batches a running program starts a send run for now: due, not tried
// already, and with a row that may be posted now (a service message, or a
// marketing one while the sending window is open). A batch of marketing
// messages outside the window waits for it to open.
QList<qint64> toSendNow(const QList<Batch> &batches, const QDateTime &now, bool windowOpen,
                        const QSet<qint64> &tried);

// What start-up does with the batches that became due while the program was
// not running.
struct StartUp
{
    enum class Action { Nothing, Send, Ask };
    Action action = Action::Nothing;
    QList<Batch> overdue;
};
// Send when every overdue batch is within the grace period and no marketing
// message among them waits for a closed sending window; otherwise Ask.
StartUp atStartUp(const QList<Batch> &batches, const QDateTime &now, bool windowOpen,
                  qint64 graceSeconds = DefaultGraceSeconds);
// The question start-up asks: the overdue batches, one a line.
QString overdueQuestion(const QList<Batch> &overdue);

// The question closing the program asks when an unheld batch is due within
// QuitWarningSeconds (or is already due); empty when none is.
QString quitWarning(const QList<Batch> &batches, const QDateTime &now);

// Reading and writing the batches.

// Makes a batch (joins the caller's transaction); gives its key.
qint64 create(const QDateTime &sendAt, const QString &description);
// Every batch with rows not yet attempted, by send-at time.
QList<Batch> waiting();
void hold(const QList<qint64> &ids);
// Lets a held batch go: it is sent at the next run.
void release(qint64 id);

// The condition a queued SMSSend row meets when a run may post it now: in no
// batch, or in one that is due and not held. Its one "?" takes readyValues().
QString readyCondition();
QVariantList readyValues();

} // namespace Schedule
