#pragma once

#include <QString>

// Why an outbox row was attempted but not accepted (SMSSend.FailReason). A
// refusal keeps the gateway's own words; the rest are the program's.
namespace FailReasons {

inline const QString NoNumber = QStringLiteral("No number");
inline const QString UnusableNumber = QStringLiteral("Number cannot be used");
inline const QString NoText = QStringLiteral("No message text");
// A refusal that gave nothing after "FALSE".
inline const QString RefusedWithoutReason = QStringLiteral("Refused, no reason given");
// Shown for rows without a stored reason: posted with no answer back, or
// refused before reasons were kept.
inline const QString NoAnswer = QStringLiteral("No answer from the gateway");
inline const QString NotKept = QStringLiteral("Refused, reason not kept");

// Failures the program found itself: queueing the same row again would fail
// the same way.
inline bool isOwn(const QString &reason)
{
    return reason == NoNumber || reason == UnusableNumber || reason == NoText;
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
