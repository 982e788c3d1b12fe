#include "campaigns/Schedule.h"

#include "campaigns/Clock.h"
#include "campaigns/OperatorTime.h"
#include "data/Database.h"

#include <QLocale>
#include <QSqlQuery>
#include <QStringList>

namespace Schedule {

namespace {
const QString StampFormat = QStringLiteral("yyyy-MM-ddTHH:mm:ss'Z'");

QString lines(const QList<Batch> &batches)
{
    QStringList result;
    for (const Batch &batch : batches)
        result << describe(batch) + QStringLiteral(" \u2014 ") + localText(batch.sendAt);
    return result.join(QLatin1Char('\n'));
}
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

QString localText(const QDateTime &at)
{
    return QLocale().toString(OperatorTime::current().local(at), QStringLiteral("ddd d MMM yyyy HH:mm"));
}

QString describe(const Batch &batch)
{
    const QString what = batch.description.trimmed().isEmpty() ? QStringLiteral("Batch %1").arg(batch.id)
                                                              : batch.description.trimmed();
    return what + (batch.unsent == 1 ? QStringLiteral(", 1 message") : QStringLiteral(", %1 messages").arg(batch.unsent));
}

bool isDue(const Batch &batch, const QDateTime &now)
{
    return !batch.held && batch.unsent > 0 && batch.sendAt.isValid() && batch.sendAt <= now;
}

QList<qint64> toSendNow(const QList<Batch> &batches, const QDateTime &now, bool windowOpen, const QSet<qint64> &tried)
{
    QList<qint64> ids;
    for (const Batch &batch : batches) {
        const bool postable = batch.unsent > batch.marketing || (batch.marketing > 0 && windowOpen);
        if (isDue(batch, now) && postable && !tried.contains(batch.id))
            ids << batch.id;
    }
    return ids;
}

StartUp atStartUp(const QList<Batch> &batches, const QDateTime &now, bool windowOpen, qint64 graceSeconds)
{
    StartUp result;
    bool allInGrace = true;
    bool marketingWaits = false;
    for (const Batch &batch : batches) {
        if (!isDue(batch, now))
            continue;
        result.overdue << batch;
        allInGrace = allInGrace && batch.sendAt.secsTo(now) <= graceSeconds;
        marketingWaits = marketingWaits || (batch.marketing > 0 && !windowOpen);
    }
    if (!result.overdue.isEmpty())
        result.action = allInGrace && !marketingWaits ? StartUp::Action::Send : StartUp::Action::Ask;
    return result;
}

QString overdueQuestion(const QList<Batch> &overdue)
{
    return QStringLiteral("These scheduled messages became due while the program was not running:\n\n")
        + lines(overdue)
        + QStringLiteral("\n\nSend them now? (No holds them: they stay in the outbox until you release them.)");
}

QString quitWarning(const QList<Batch> &batches, const QDateTime &now)
{
    QList<Batch> soon;
    for (const Batch &batch : batches) {
        if (!batch.held && batch.unsent > 0 && batch.sendAt.isValid() && now.secsTo(batch.sendAt) <= QuitWarningSeconds)
            soon << batch;
    }
    if (soon.isEmpty())
        return {};
    return QStringLiteral("Scheduled messages are sent only while the program runs, and these are due "
                          "within 12 hours:\n\n")
        + lines(soon) + QStringLiteral("\n\nQuit anyway?");
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

void hold(const QList<qint64> &ids)
{
    if (ids.isEmpty())
        return;
    QVariantList values;
    for (qint64 id : ids)
        values << id;
    Database::run(QStringLiteral("UPDATE SendBatches SET Held = 1 WHERE BatchID IN (%1)").arg(Database::placeholders(ids.size())),
                  values);
}

void release(qint64 id)
{
    Database::run(QStringLiteral("UPDATE SendBatches SET Held = 0 WHERE BatchID = ?"), {id});
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

} // namespace Schedule
