#include "app/Outbox.h"

#include "campaigns/OptOuts.h"
#include "campaigns/Schedule.h"
#include "data/Database.h"
#include "data/modFunctions.h"

namespace Outbox {

Style styleOf(bool send, bool delivered, const QString &eventId, bool inFlight)
{
    if (delivered)
        return Style::Delivered;
    if (inFlight)
        return Style::InFlight;
    if (!send)
        return Style::NotSend;
    const QString batch = modFunctions::TrimBlanks(eventId);
    if (batch == OptOuts::OptedOutEventId)
        return Style::OptedOut;
    return batch.isEmpty() || batch == QLatin1String("0") ? Style::Failed : Style::Sent;
}

namespace {
// SQLite limits the number of bound values in one statement.
constexpr qsizetype Chunk = 500;

// Runs `each` once per chunk of keys with the chunk's "?, ?, ?" and values,
// and adds up what the calls give.
template <typename Each>
int overChunks(const QList<qint64> &ids, Each each)
{
    int total = 0;
    for (qsizetype at = 0; at < ids.size(); at += Chunk) {
        const QList<qint64> part = ids.mid(at, Chunk);
        QVariantList values;
        values.reserve(part.size());
        for (qint64 id : part)
            values << id;
        total += each(Database::placeholders(part.size()), values);
    }
    return total;
}

const QString RequeueCondition = QStringLiteral("InFlight <> 0 AND Delivered = 0 AND SMSSendID IN (%1)");
} // namespace

QString scheduledToolTip(const QDateTime &sendAt)
{
    return QStringLiteral("scheduled for ") + Schedule::localText(sendAt);
}

QString heldToolTip(const QDateTime &sendAt)
{
    return QStringLiteral("held \u2014 scheduled for %1 and not sent at start-up; right-click to release it")
        .arg(Schedule::localText(sendAt));
}

QList<qint64> heldBatches(const QList<qint64> &ids)
{
    QList<qint64> batches;
    overChunks(ids, [&batches](const QString &in, const QVariantList &values) {
        QSqlQuery rows = Database::run(
            QStringLiteral("SELECT DISTINCT SendBatches.BatchID FROM SMSSend INNER JOIN SendBatches "
                           "ON SendBatches.BatchID = SMSSend.BatchID "
                           "WHERE SendBatches.Held <> 0 AND SMSSend.SMSSendID IN (%1)")
                .arg(in),
            values);
        while (rows.next()) {
            const qint64 batch = rows.value(0).toLongLong();
            if (!batches.contains(batch))
                batches << batch;
        }
        return 0;
    });
    return batches;
}

bool anySent(const QList<qint64> &ids)
{
    return overChunks(ids, [](const QString &in, const QVariantList &values) {
               const QString sql = QStringLiteral("SELECT 1 FROM SMSSend WHERE Send <> 0 AND SMSSendID IN (%1) LIMIT 1");
               return Database::value(sql.arg(in), values).isValid() ? 1 : 0;
           }) > 0;
}

int countInFlight(const QList<qint64> &ids)
{
    return overChunks(ids, [](const QString &in, const QVariantList &values) {
        return Database::value(QStringLiteral("SELECT count(*) FROM SMSSend WHERE ") + RequeueCondition.arg(in),
                               values)
            .toInt();
    });
}

int requeue(const QList<qint64> &ids)
{
    Database::Transaction transaction;
    const int queued = overChunks(ids, [](const QString &in, const QVariantList &values) {
        return Database::run(QStringLiteral("UPDATE SMSSend SET Send = 0, InFlight = 0, EventID = NULL WHERE ")
                                 + RequeueCondition.arg(in),
                             values)
            .numRowsAffected();
    });
    transaction.commit();
    return queued;
}

int remove(const QList<qint64> &ids)
{
    Database::Transaction transaction;
    const int removed = overChunks(ids, [](const QString &in, const QVariantList &values) {
        return Database::run(QStringLiteral("DELETE FROM SMSSend WHERE SMSSendID IN (%1)").arg(in), values)
            .numRowsAffected();
    });
    transaction.commit();
    return removed;
}

} // namespace Outbox
