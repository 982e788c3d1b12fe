#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

class KeysetList;

// What the operator does to outbox rows (delete, queue again), and how a row
// looks, decided from its flags.
namespace Outbox {

// DELIVERED (pale green), SENT (pale yellow), FAILED (light red: attempted
// but refused or failed, so a refusal never looks like a sent message) and
// NOTSEND (still queued: bold); BEINGSENT: claimed by a run that is going
// now; INFLIGHT: posted (or about to be) by a run that stopped before its
// answer came, so the gateway may have it; OPTEDOUT: not posted because its
// number opted out.
enum class Style { NotSend, Sent, Failed, Delivered, InFlight, BeingSent, OptedOut };

Style styleOf(bool send, bool delivered, const QString &eventId, bool inFlight = false, bool runIsLive = false);

// The tool tip of an INFLIGHT row: the next delivery report settles it.
inline const QString InFlightToolTip = QStringLiteral(
    "sent? \u2014 the run that posted it stopped before the gateway answered; the next Receive asks the gateway "
    "whether it has it");
// The tool tip of a BEINGSENT row.
QString beingSentToolTip(const QString &machine);
// The tool tip of a FAILED row.
QString failedToolTip(const QString &reason);

// The tool tips of an OPTEDOUT row and of a marketing row waiting for the
// permitted hours.
inline const QString OptedOutToolTip = QStringLiteral("opted out \u2014 not sent: the number is on the opt-out list");
inline const QString WaitingToolTip = QStringLiteral(
    "waiting \u2014 a marketing message; it is sent within the permitted hours (Mon-Fri 08:00-20:00, Sat 09:00-13:00)");

// The condition an SMSSend row in doubt meets: claimed by a run that is no
// longer live, and not reported. Call SendRuns::endStopped() first.
QString inDoubtCondition();

// How many of the rows are in doubt: those that can be queued again.
int countInDoubt(const QList<qint64> &ids);
// Queues those of the rows that are in doubt again (the others are left
// alone), all in one transaction. Gives the number queued.
int requeue(const QList<qint64> &ids);

// True when any of the rows has been sent (attempted) or is being sent; such
// a selection cannot be deleted.
bool anySent(const QList<qint64> &ids);

struct Removed
{
    int removed = 0;
    int left = 0; // being sent (or sent) by the time the delete ran: kept
};
// Deletes those of the rows that are still queued and not claimed by a run,
// all in one transaction.
Removed remove(const QList<qint64> &ids);

// Every outbox row, newest first, read a page at a time on the table's key.
std::unique_ptr<KeysetList> newestFirst(const QStringList &columns);

// One outbox row of a conversation.
struct Message
{
    qint64 id = 0;
    QString number;
    QString text;
    QString sendDate, sendTime; // when it was queued (office time)
    QString postedAt;           // when it was posted (UTC, ISO 8601); empty while queued
    Style style = Style::NotSend;
    QString failReason; // shown for a FAILED row
};
// Every row to the person with this key (PhoneNumbers::storedKey), in key
// (queueing) order; read on the index SMSSend_NumberKey.
QList<Message> toPerson(const QString &key);

} // namespace Outbox
