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

QVariantList values(const QList<qint64> &ids)
{
    QVariantList list;
    list.reserve(ids.size());
    for (qint64 id : ids)
        list << id;
    return list;
}

// SQLite limits the number of bound values in one statement.
constexpr qsizetype Chunk = 500;
} // namespace

bool anySent(const QList<qint64> &ids)
{
    for (qsizetype at = 0; at < ids.size(); at += Chunk) {
        const QList<qint64> part = ids.mid(at, Chunk);
        const QVariant found = Database::value(
            QStringLiteral("SELECT 1 FROM SMSSend WHERE Send <> 0 AND SMSSendID IN (%1) LIMIT 1")
                .arg(placeholders(part.size())),
            values(part));
        if (found.isValid())
            return true;
    }
    return false;
}

namespace {
const QString RequeueCondition = QStringLiteral("InFlight <> 0 AND Delivered = 0 AND SMSSendID IN (%1)");
} // namespace

int countInFlight(const QList<qint64> &ids)
{
    int count = 0;
    for (qsizetype at = 0; at < ids.size(); at += Chunk) {
        const QList<qint64> part = ids.mid(at, Chunk);
        count += Database::value(QStringLiteral("SELECT count(*) FROM SMSSend WHERE ")
                                     + RequeueCondition.arg(placeholders(part.size())),
                                 values(part))
                     .toInt();
    }
    return count;
}

int requeue(const QList<qint64> &ids)
{
    Database::Transaction transaction;
    int queued = 0;
    for (qsizetype at = 0; at < ids.size(); at += Chunk) {
        const QList<qint64> part = ids.mid(at, Chunk);
        queued += Database::run(QStringLiteral("UPDATE SMSSend SET Send = 0, InFlight = 0, EventID = NULL WHERE ")
                                    + RequeueCondition.arg(placeholders(part.size())),
                                values(part))
                      .numRowsAffected();
    }
    transaction.commit();
    return queued;
}

int remove(const QList<qint64> &ids)
{
    Database::Transaction transaction;
    int removed = 0;
    for (qsizetype at = 0; at < ids.size(); at += Chunk) {
        const QList<qint64> part = ids.mid(at, Chunk);
        removed += Database::run(QStringLiteral("DELETE FROM SMSSend WHERE SMSSendID IN (%1)")
                                     .arg(placeholders(part.size())),
                                 values(part))
                       .numRowsAffected();
    }
    transaction.commit();
    return removed;
}

} // namespace Outbox
