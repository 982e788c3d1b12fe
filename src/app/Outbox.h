#pragma once

#include <QList>
#include <QString>

// Rules of the outbox list that hold without a window.
namespace Outbox {

// How an outbox row looks, decided per row from its flags:
// DELIVERED (pale green), SENT (pale yellow), FAILED (light red: attempted
// but refused or failed, so a refusal never looks like a sent message) and
// NOTSEND (still queued: bold).
enum class Style { NotSend, Sent, Failed, Delivered };

Style styleOf(bool send, bool delivered, const QString &eventId);

// True when any of the rows has been sent (attempted); such a selection
// cannot be deleted.
bool anySent(const QList<qint64> &ids);

// Deletes the rows, all in one transaction. Gives the number deleted.
int remove(const QList<qint64> &ids);

} // namespace Outbox
