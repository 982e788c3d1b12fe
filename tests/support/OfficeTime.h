#pragma once

#include "data/OperatorTime.h"

#include <QDateTime>
#include <QTimeZone>

// A wall-clock time in the office's default zone (South Africa), "yyyy-MM-dd HH:mm".
inline QDateTime sast(const QString &text)
{
    const QDateTime wallClock = QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd HH:mm"));
    return QDateTime(wallClock.date(), wallClock.time(), QTimeZone(OperatorTime::DefaultZoneId));
}
