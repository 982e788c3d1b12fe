#pragma once

#include "OutboxRows.h"

#include "data/Database.h"

// An outbox row the gateway took at `postedAt` (UTC, as a send run stores it); its key.
inline qint64 addPosted(OutboxRows::Row row, const QString &postedAt)
{
    row.send = true;
    if (row.eventId.isEmpty())
        row.eventId = QStringLiteral("5000001");
    const qint64 key = OutboxRows::add(row);
    Database::run(QStringLiteral("UPDATE SMSSend SET PostedAt = ? WHERE SMSSendID = ?"), {postedAt, key});
    return key;
}
