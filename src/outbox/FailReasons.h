#pragma once

#include <QString>

// Why an outbox row was attempted but not accepted (SMSSend.FailReason). A
// refusal keeps the gateway's own words; the rest are the program's.
namespace FailReasons {

inline const QString NoNumber = QStringLiteral("No number");
// Kept in rows failed before numbers were judged as below.
inline const QString UnusableNumber = QStringLiteral("Number cannot be used");
// Numbers the gateway must never be given (see NormaliseNumber).
inline const QString InvalidNumber = QStringLiteral("Not a valid number");
inline const QString NotCellphone = QStringLiteral("Not a cellphone number");
inline const QString ForeignNumber = QStringLiteral("Not a South African number");
inline const QString NoText = QStringLiteral("No message text");
// A refusal that gave nothing after "FALSE".
inline const QString RefusedWithoutReason = QStringLiteral("Refused, no reason given");
// An answer that was no refusal but carried no batch number (an error page):
// the message may have been taken.
inline const QString NoBatchNumber = QStringLiteral("Answer without a batch number");
// Shown for rows without a stored reason: posted with no answer back, or
// refused before reasons were kept.
inline const QString NoAnswer = QStringLiteral("No answer from the gateway");
inline const QString NotKept = QStringLiteral("Refused, reason not kept");
// Claimed by a run that stopped without an answer, and not among the messages
// the gateway says it received.
inline const QString NeverReached = QStringLiteral("Never reached the gateway");

// Whether a message that failed so may be queued again: not one the program
// found unusable (it would fail the same way again), nor one that may have
// reached the gateway (it would go out twice).
inline bool mayQueueAgain(const QString &reason)
{
    return reason != NoNumber && reason != UnusableNumber && reason != InvalidNumber && reason != NotCellphone
           && reason != ForeignNumber && reason != NoText && reason != NoBatchNumber && reason != NoAnswer;
}

// The reason shown for a failed row from what it stores: FailReason, and the
// EventID ("0" refused, empty when no answer was stored).
inline QString shown(const QString &storedReason, const QString &eventId)
{
    if (!storedReason.trimmed().isEmpty())
        return storedReason.trimmed();
    return eventId.trimmed().isEmpty() ? NoAnswer : NotKept;
}

} // namespace FailReasons
