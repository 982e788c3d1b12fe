#pragma once

#include "outbox/Batches.h"

#include <QDateTime>
#include <QList>
#include <QSet>
#include <QString>
#include <QVariantList>

// Scheduled sending: when the batches the outbox keeps (Batches) are sent,
// what start-up and quitting ask about them, and their times as the operator
// reads them (the office's time).
namespace Schedule {

// A batch overdue at start-up by no more than this is sent without asking.
inline constexpr qint64 DefaultGraceSeconds = 60 * 60;
// Quitting asks first when a batch is due within this time.
inline constexpr qint64 QuitWarningSeconds = 12 * 60 * 60;

// As the operator reads it, in the office's time ("Mon 7 Dec 2026 14:30").
QString localText(const QDateTime &at);

using Batch = Batches::Batch;

// The tool tips of a queued row of a scheduled batch: not yet due, or held
// at start-up until the operator releases it (times in the office's time).
QString scheduledToolTip(const QDateTime &sendAt);
QString heldToolTip(const QDateTime &sendAt);

// "Group Friends, 40 messages"
QString describe(const Batch &batch);

// Due: not held, its time has come, and rows still wait.
bool isDue(const Batch &batch, const QDateTime &now);

// The batches a running program starts a send run for now: due, not tried
// already, and with a row that may be posted now (a service message, or a
// marketing one while the sending window is open). A batch of marketing
// messages outside the window waits for it to open.
QList<qint64> toSendNow(const QList<Batch> &batches, const QDateTime &now, bool windowOpen, const QSet<qint64> &tried);

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

} // namespace Schedule
