#include "outbox/Reports.h"

#include "outbox/FailReasons.h"
#include "outbox/Outbox.h"
#include "outbox/SendRuns.h"

#include <QSqlQuery>

namespace OutboxReports {

Updates::Updates()
    : m_delivered(QStringLiteral("UPDATE SMSSend SET Delivered = 1, SentID = ?, "
                                 "EventID = CASE WHEN InFlight <> 0 OR Send = 0 THEN ? ELSE EventID END, "
                                 "Send = 1, InFlight = 0 WHERE SMSSendID = ?")),
      m_received(QStringLiteral("UPDATE SMSSend SET Send = 1, InFlight = 0, EventID = ? "
                                "WHERE SMSSendID = ? AND (InFlight <> 0 OR Send = 0)")),
      m_reportRow(
          QStringLiteral("UPDATE SMSSend SET Delivered = CASE WHEN ? <> 0 THEN 1 ELSE Delivered END, SentID = ?, "
                         "EventID = CASE WHEN InFlight <> 0 OR Send = 0 THEN ? ELSE EventID END, "
                         "Send = 1, InFlight = 0 WHERE SMSSendID = ?"))
{}

bool Updates::statusEntry(qint64 key, const QString &trn, bool delivered)
{
    return (delivered ? m_delivered.run({trn, trn, key}) : m_received.run({trn, key})) > 0;
}

bool Updates::reportRow(qint64 key, const QString &sentId, bool delivered)
{
    return m_reportRow.run({delivered ? 1 : 0, sentId, sentId, key}) > 0;
}

QList<qint64> inDoubt()
{
    SendRuns::endStopped();
    QList<qint64> keys;
    QSqlQuery rows = Database::run(
        QStringLiteral("SELECT SMSSendID FROM SMSSend WHERE %1 ORDER BY SMSSendID").arg(Outbox::inDoubtCondition()));
    while (rows.next())
        keys.append(rows.value(0).toLongLong());
    return keys;
}

Settled settleDoubt(const QList<qint64> &doubtful, const QHash<qint64, QString> &received, bool requeueUnreceived)
{
    const QString where = QStringLiteral(" WHERE SMSSendID = ? AND ") + Outbox::inDoubtCondition();
    Database::Statement sent(QStringLiteral("UPDATE SMSSend SET InFlight = 0, EventID = ?") + where);
    Database::Statement requeue(QStringLiteral("UPDATE SMSSend SET Send = 0, InFlight = 0, EventID = NULL") + where);
    Database::Statement failed(QStringLiteral("UPDATE SMSSend SET InFlight = 0, EventID = '0', FailReason = ?")
                               + where);
    Settled settled;
    Database::Transaction transaction;
    for (qint64 key : doubtful) {
        if (const auto found = received.constFind(key); found != received.cend())
            settled.received += sent.run({*found, key}).numRowsAffected();
        else if (requeueUnreceived)
            settled.requeued += requeue.run({key}).numRowsAffected();
        else
            settled.unreceived += failed.run({FailReasons::NeverReached, key}).numRowsAffected();
    }
    transaction.commit();
    return settled;
}

} // namespace OutboxReports
