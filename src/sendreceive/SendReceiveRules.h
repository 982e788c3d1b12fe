#pragma once

#include <QDateTime>
#include <QString>
#include <QVariant>

// What the three Send/Receive windows show beyond the gateway cycles they run.
namespace SendReceive {

// A line of the send log: "dd/MM/yyyy-HH:mm - <event>".
QString logLine(const QDateTime &at, const QString &event);

// The messages-left counter: "<left> / <batch>".
QString leftText(qint64 left, qint64 batch);

// A stored send date as "dd/MMM/yyyy" (06/Dec/2026) and a stored send time
// as "HH:mm"; a value that cannot be read is shown as stored.
QString sentDateText(const QVariant &date);
QString sentTimeText(const QVariant &time);

// The name of the contact the outbox row `smsSendId` (its leading number)
// went to, blanks trimmed; empty when there is no such row or no contact.
QString contactNameFor(const QString &smsSendId);

} // namespace SendReceive
