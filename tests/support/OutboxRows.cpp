#include "OutboxRows.h"

#include "data/Database.h"

#include <QSqlQuery>
#include <QSqlRecord>

namespace OutboxRows {

namespace {
QVariant orNull(const QString &text)
{
    return text.isEmpty() ? QVariant(QMetaType::fromType<QString>()) : QVariant(text);
}
} // namespace

qint64 add(const Row &row)
{
    return Database::insert(QStringLiteral("INSERT INTO SMSSend (Number, Message, SendDate, SendTime, Send, EventID, "
                                           "Delivered, ClientID, PostedAt) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                            {row.number, orNull(row.message), orNull(row.sendDate), orNull(row.sendTime),
                             row.send ? 1 : 0, orNull(row.eventId), row.delivered ? 1 : 0,
                             row.clientId ? QVariant(row.clientId) : QVariant(QMetaType::fromType<qint64>()),
                             orNull(row.postedAt)});
}

qint64 addPosted(Row row, const QString &postedAt)
{
    row.send = true;
    if (row.eventId.isEmpty())
        row.eventId = QStringLiteral("5000001");
    row.postedAt = postedAt;
    return add(row);
}

qint64 queue(const QString &number, const QString &message)
{
    Row row;
    row.number = number;
    row.message = message;
    return add(row);
}

QList<QVariantMap> all()
{
    QList<QVariantMap> rows;
    QSqlQuery query = Database::run(QStringLiteral("SELECT * FROM SMSSend ORDER BY SMSSendID"));
    const QSqlRecord record = query.record();
    // PostgreSQL names result columns in lower case; rows keep the table's spelling.
    static const QStringList names = QStringLiteral("SMSSendID ClientID Number Message SendDate SendTime EventID "
                                                    "Send Delivered SentID InFlight Marketing PostedAt BatchID "
                                                    "FailReason QueuedAgain ConfirmsOptOut NumberKey")
                                         .split(u' ');
    while (query.next()) {
        QVariantMap row;
        for (int i = 0; i < record.count(); ++i) {
            QString name = record.fieldName(i);
            for (const QString &known : names)
                if (known.compare(name, Qt::CaseInsensitive) == 0)
                    name = known;
            row.insert(name, query.value(i));
        }
        rows.append(row);
    }
    return rows;
}

qint64 count()
{
    return Database::value(QStringLiteral("SELECT count(*) FROM SMSSend")).toLongLong();
}

QStringList states()
{
    QStringList result;
    QSqlQuery query =
        Database::run(QStringLiteral("SELECT CASE WHEN InFlight <> 0 THEN 'in flight' WHEN Send = 0 THEN 'queued' "
                                     "ELSE coalesce(EventID, '') END FROM SMSSend "
                                     "ORDER BY SMSSendID"));
    while (query.next())
        result << query.value(0).toString();
    return result;
}

} // namespace OutboxRows
