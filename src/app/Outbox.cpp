#include "app/Outbox.h"

#include "campaigns/OptOuts.h"
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
// "?, ?, ?" for a list of n bound values.
QString placeholders(qsizetype n)
{
    QString text;
    text.reserve(n * 3);
    for (qsizetype i = 0; i < n; ++i)
        text += i ? QStringLiteral(", ?") : QStringLiteral("?");
    return text;
}

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
        total += each(placeholders(part.size()), values);
    }
    return total;
}

const QString RequeueCondition = QStringLiteral("InFlight <> 0 AND Delivered = 0 AND SMSSendID IN (%1)");
} // namespace

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
