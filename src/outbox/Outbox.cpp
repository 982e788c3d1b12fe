#include "outbox/Outbox.h"

#include "data/Database.h"
#include "data/KeysetList.h"
#include "data/modFunctions.h"
#include "outbox/Chunks.h"
#include "outbox/FailReasons.h"
#include "outbox/OptOutList.h"
#include "outbox/SendRuns.h"

#include <QSet>
#include <QSqlQuery>

namespace Outbox {

Style styleOf(bool send, bool delivered, const QString &eventId, bool inFlight, bool runIsLive)
{
    if (delivered)
        return Style::Delivered;
    if (inFlight)
        return runIsLive ? Style::BeingSent : Style::InFlight;
    if (!send)
        return Style::NotSend;
    const QString batch = modFunctions::TrimBlanks(eventId);
    if (batch == OptOutList::OptedOutEventId)
        return Style::OptedOut;
    return batch.isEmpty() || batch == QLatin1String("0") ? Style::Failed : Style::Sent;
}

QString beingSentToolTip(const QString &machine)
{
    return QStringLiteral("being sent by %1").arg(machine);
}

QString failedToolTip(const QString &reason)
{
    return QStringLiteral("failed \u2014 %1").arg(reason);
}

QString inDoubtCondition()
{
    return QStringLiteral("Send = 1 AND InFlight <> 0 AND Delivered = 0 "
                          "AND InFlight NOT IN (SELECT Token FROM SendRuns WHERE EndedAt IS NULL)");
}

int countInDoubt(const QList<qint64> &ids)
{
    SendRuns::endStopped();
    return Chunks::sum(ids, [](const QString &in, const QVariantList &values) {
        return Database::value(QStringLiteral("SELECT count(*) FROM SMSSend WHERE %1 AND SMSSendID IN (%2)")
                                   .arg(inDoubtCondition(), in),
                               values)
            .toInt();
    });
}

int requeue(const QList<qint64> &ids)
{
    SendRuns::endStopped();
    Database::Transaction transaction;
    const int queued = Chunks::sum(ids, [](const QString &in, const QVariantList &values) {
        return Database::run(QStringLiteral("UPDATE SMSSend SET Send = 0, InFlight = 0, EventID = NULL WHERE %1 "
                                            "AND SMSSendID IN (%2)")
                                 .arg(inDoubtCondition(), in),
                             values)
            .numRowsAffected();
    });
    transaction.commit();
    return queued;
}

bool anySent(const QList<qint64> &ids)
{
    return Chunks::sum(
               ids,
               [](const QString &in, const QVariantList &values) {
                   const QString sql = QStringLiteral(
                       "SELECT 1 FROM SMSSend WHERE (Send <> 0 OR InFlight <> 0) AND SMSSendID IN (%1) LIMIT 1");
                   return Database::value(sql.arg(in), values).isValid() ? 1 : 0;
               })
           > 0;
}

Removed remove(const QList<qint64> &ids)
{
    Database::Transaction transaction;
    Removed result;
    result.removed = Chunks::sum(ids, [](const QString &in, const QVariantList &values) {
        return Database::run(
                   QStringLiteral("DELETE FROM SMSSend WHERE Send = 0 AND InFlight = 0 AND SMSSendID IN (%1)").arg(in),
                   values)
            .numRowsAffected();
    });
    result.left = Chunks::sum(ids, [](const QString &in, const QVariantList &values) {
        return Database::value(QStringLiteral("SELECT count(*) FROM SMSSend WHERE SMSSendID IN (%1)").arg(in), values)
            .toInt();
    });
    transaction.commit();
    return result;
}

std::unique_ptr<KeysetList> newestFirst(const QStringList &columns)
{
    KeysetList::Order order;
    order.descending = true;
    return std::make_unique<KeysetList>(QStringLiteral("SMSSend"), columns, QStringLiteral("SMSSendID"), order);
}

QList<Message> toPerson(const QString &key)
{
    QList<Message> messages;
    if (key.isEmpty())
        return messages;
    QSet<qint64> liveRuns;
    QSqlQuery runs = Database::run(QStringLiteral("SELECT Token FROM SendRuns WHERE EndedAt IS NULL"));
    while (runs.next())
        liveRuns.insert(runs.value(0).toLongLong());
    QSqlQuery rows = Database::run(
        QStringLiteral("SELECT SMSSendID, Number, Message, SendDate, SendTime, PostedAt, Send, Delivered, EventID, "
                       "InFlight, FailReason FROM SMSSend WHERE NumberKey = ? ORDER BY SMSSendID"),
        {key});
    while (rows.next()) {
        Message message;
        message.id = rows.value(0).toLongLong();
        message.number = rows.value(1).toString();
        message.text = rows.value(2).toString();
        message.sendDate = rows.value(3).toString();
        message.sendTime = rows.value(4).toString();
        message.postedAt = rows.value(5).toString();
        const qint64 run = rows.value(9).toLongLong();
        const QString eventId = rows.value(8).toString();
        message.style =
            styleOf(rows.value(6).toInt() != 0, rows.value(7).toInt() != 0, eventId, run != 0, liveRuns.contains(run));
        if (message.style == Style::Failed)
            message.failReason = FailReasons::shown(rows.value(10).toString(), eventId);
        messages.append(message);
    }
    return messages;
}

} // namespace Outbox
