#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

// Rules of the outbox list that hold without a window.
namespace Outbox {

// How an outbox row looks, decided per row from its flags:
// DELIVERED (pale green), SENT (pale yellow), FAILED (light red: attempted
// but refused or failed, so a refusal never looks like a sent message) and
// NOTSEND (still queued: bold), and INFLIGHT: posted (or about to be) when
// the run ended without its answer, so the gateway may have it; OPTEDOUT:
// not posted because its number opted out.
enum class Style { NotSend, Sent, Failed, Delivered, InFlight, OptedOut };

Style styleOf(bool send, bool delivered, const QString &eventId, bool inFlight = false);

// The tool tip of an INFLIGHT row.
inline const QString InFlightToolTip = QStringLiteral(
    "sent? \u2014 the program stopped before the gateway answered; check the delivery report before sending again");

// The tool tips of an OPTEDOUT row and of a marketing row waiting for the
// permitted hours.
inline const QString OptedOutToolTip = QStringLiteral("opted out \u2014 not sent: the number is on the opt-out list");
inline const QString WaitingToolTip = QStringLiteral(
    "waiting \u2014 a marketing message; it is sent within the permitted hours (Mon-Fri 08:00-20:00, Sat 09:00-13:00)");

// The tool tips of a queued row of a scheduled batch: not yet due, or held
// at start-up until the operator releases it (times in local time).
QString scheduledToolTip(const QDateTime &sendAt);
QString heldToolTip(const QDateTime &sendAt);
// The held scheduled batches the rows belong to.
QList<qint64> heldBatches(const QList<qint64> &ids);

// How many of the rows are in flight and not reported delivered: those that
// can be queued again.
int countInFlight(const QList<qint64> &ids);
// Queues those rows again (the others are left alone), all in one
// transaction. Gives the number queued.
int requeue(const QList<qint64> &ids);

// True when any of the rows has been sent (attempted); such a selection
// cannot be deleted.
bool anySent(const QList<qint64> &ids);

// Deletes the rows, all in one transaction. Gives the number deleted.
int remove(const QList<qint64> &ids);

} // namespace Outbox
