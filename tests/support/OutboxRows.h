#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

// Outbox rows as the tests set them up and read them back.
namespace OutboxRows {

// One row of SMSSend; an empty text is stored as NULL.
struct Row
{
    QString number;
    QString message = QStringLiteral("Hello");
    QString sendDate = QStringLiteral("2026-12-06");
    QString sendTime = QStringLiteral("09:05");
    bool send = false;
    QString eventId;
    bool delivered = false;
    qint64 clientId = 0; // 0: no contact
    QString postedAt;    // when the gateway took it (UTC, as a send run stores it); empty: not posted
};

// Adds the row; gives its key.
qint64 add(const Row &row);
// A row the gateway took at `postedAt`, with a batch number unless it has one; its key.
qint64 addPosted(Row row, const QString &postedAt);
// A queued row for the number.
qint64 queue(const QString &number, const QString &message = QStringLiteral("Hello"));

// Every row in key order, column by name.
QList<QVariantMap> all();
qint64 count();
// Per row in key order: "in flight", "queued", or the EventID it was marked with.
QStringList states();

} // namespace OutboxRows
