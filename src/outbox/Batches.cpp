#include "outbox/Batches.h"

#include "data/Clock.h"
#include "data/Database.h"
#include "outbox/Chunks.h"

#include <QSqlQuery>

namespace Batches {

namespace {
const QString StampFormat = QStringLiteral("yyyy-MM-ddTHH:mm:ss'Z'");
} // namespace

QString stamp(const QDateTime &at)
{
    return at.toUTC().toString(StampFormat);
}

QDateTime parse(const QString &text)
{
    QDateTime at = QDateTime::fromString(text, StampFormat);
    if (!at.isValid())
        return {};
    at.setTimeSpec(Qt::UTC);
    return at;
}

qint64 create(const QDateTime &sendAt, const QString &description)
{
    return Database::insert(
        QStringLiteral("INSERT INTO SendBatches (QueuedAt, SendAt, Description, Held) VALUES (?, ?, ?, 0)"),
        {stamp(CampaignClock::now()), stamp(sendAt), description});
}

QList<Batch> waiting()
{
    QList<Batch> batches;
    QSqlQuery rows = Database::run(QStringLiteral(
        "SELECT SendBatches.BatchID, SendBatches.SendAt, SendBatches.Description, SendBatches.Held, "
        "count(SMSSend.SMSSendID), sum(CASE WHEN SMSSend.Marketing <> 0 THEN 1 ELSE 0 END) "
        "FROM SendBatches INNER JOIN SMSSend ON SMSSend.BatchID = SendBatches.BatchID AND SMSSend.Send = 0 "
        "GROUP BY SendBatches.BatchID, SendBatches.SendAt, SendBatches.Description, SendBatches.Held "
        "ORDER BY SendBatches.SendAt, SendBatches.BatchID"));
    while (rows.next()) {
        Batch batch;
        batch.id = rows.value(0).toLongLong();
        batch.sendAt = parse(rows.value(1).toString());
        batch.description = rows.value(2).toString();
        batch.held = rows.value(3).toInt() != 0;
        batch.unsent = rows.value(4).toInt();
        batch.marketing = rows.value(5).toInt();
        batches << batch;
    }
    return batches;
}

int hold(const QList<qint64> &ids)
{
    return Chunks::sum(ids, [](const QString &in, const QVariantList &values) {
        return Database::run(
                   QStringLiteral("UPDATE SendBatches SET Held = 1 WHERE Held = 0 AND BatchID IN (%1)").arg(in), values)
            .numRowsAffected();
    });
}

bool release(qint64 id)
{
    return Database::run(QStringLiteral("UPDATE SendBatches SET Held = 0 WHERE Held <> 0 AND BatchID = ?"), {id})
               .numRowsAffected()
           > 0;
}

QList<qint64> heldOf(const QList<qint64> &rowIds)
{
    QList<qint64> batches;
    Chunks::sum(rowIds, [&batches](const QString &in, const QVariantList &values) {
        QSqlQuery rows =
            Database::run(QStringLiteral("SELECT DISTINCT SendBatches.BatchID FROM SMSSend INNER JOIN SendBatches "
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

QString readyCondition()
{
    return QStringLiteral("(SMSSend.BatchID IS NULL OR SMSSend.BatchID IN (SELECT SendBatches.BatchID FROM SendBatches "
                          "WHERE SendBatches.Held = 0 AND SendBatches.SendAt <= ?))");
}

QVariantList readyValues()
{
    return {stamp(CampaignClock::now())};
}

} // namespace Batches
