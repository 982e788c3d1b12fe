#include "outbox/Dispatch.h"

#include "outbox/Batches.h"
#include "outbox/Chunks.h"

#include <QHash>
#include <QSqlQuery>

namespace Dispatch {

namespace {

// Rows of the outbox are read by key in pages of this many.
constexpr int PageSize = 500;

QList<qint64> keysOf(QSqlQuery query)
{
    QList<qint64> keys;
    while (query.next())
        keys.append(query.value(0).toLongLong());
    return keys;
}

Database::Value textOrNull(const QString &text)
{
    return text.isEmpty() ? Database::Value() : Database::Value(text);
}

} // namespace

Choice Choice::ready()
{
    return {QStringLiteral("Send = 0 AND InFlight = 0 AND ") + Batches::readyCondition(), Batches::readyValues()};
}

Choice Choice::ofBatches(const QList<qint64> &batches)
{
    Choice choice = ready();
    choice.condition += QStringLiteral(" AND SMSSend.BatchID IN (%1)").arg(Database::placeholders(batches.size()));
    choice.values += Chunks::valuesOf(batches);
    return choice;
}

int count(const Choice &choice)
{
    return Database::value(QStringLiteral("SELECT count(*) FROM SMSSend WHERE ") + choice.condition, choice.values)
        .toInt();
}

ReadyRows ReadyRows::newest(const Choice &choice, qint64 limit)
{
    ReadyRows rows(choice);
    rows.m_keys = keysOf(Database::run(QStringLiteral("SELECT SMSSendID FROM SMSSend WHERE %1 "
                                                      "ORDER BY SendDate DESC NULLS LAST, SendTime DESC NULLS LAST, "
                                                      "SMSSendID DESC LIMIT ?")
                                           .arg(choice.condition),
                                       choice.values + QVariantList{limit}));
    rows.m_total = int(rows.m_keys.size());
    return rows;
}

ReadyRows ReadyRows::oldestFirst(const Choice &choice)
{
    ReadyRows rows(choice);
    rows.m_paged = true;
    rows.m_last =
        Database::value(QStringLiteral("SELECT coalesce(max(SMSSendID), 0) FROM SMSSend WHERE ") + choice.condition,
                        choice.values)
            .toLongLong();
    rows.m_total = Database::value(
                       QStringLiteral("SELECT count(*) FROM SMSSend WHERE %1 AND SMSSendID <= ?").arg(choice.condition),
                       choice.values + QVariantList{rows.m_last})
                       .toInt();
    return rows;
}

QList<qint64> ReadyRows::next()
{
    if (!m_paged || m_ended)
        return std::exchange(m_keys, {});
    QList<qint64> keys = keysOf(Database::run(QStringLiteral("SELECT SMSSendID FROM SMSSend WHERE %1 "
                                                             "AND SMSSendID > ? AND SMSSendID <= ? "
                                                             "ORDER BY SMSSendID LIMIT ?")
                                                  .arg(m_choice.condition),
                                              m_choice.values + QVariantList{m_after, m_last, PageSize}));
    m_ended = keys.size() < PageSize;
    if (!keys.isEmpty())
        m_after = keys.last();
    return keys;
}

QList<Claimed> claim(const Choice &choice, const QList<qint64> &keys, qint64 token)
{
    if (keys.isEmpty())
        return {};
    const QVariantList keyValues = Chunks::valuesOf(keys);
    {
        Database::DurableCommits synced;
        Database::Transaction transaction;
        Database::insistOnSyncedCommit();
        // Another program claiming the same rows at this moment keeps those
        // it locked first; these are the rest.
        Database::run(QStringLiteral("UPDATE SMSSend SET Send = 1, InFlight = ? WHERE SMSSendID IN "
                                     "(SELECT SMSSendID FROM SMSSend WHERE %1 AND SMSSendID IN (%2)%3)")
                          .arg(choice.condition, Database::placeholders(keys.size()), Database::skipLocked()),
                      QVariantList{token} + choice.values + keyValues);
        transaction.commit();
    }
    QHash<qint64, Message> ours;
    QSqlQuery marked = Database::run(QStringLiteral("SELECT SMSSendID, Number, Message, Marketing, ConfirmsOptOut "
                                                    "FROM SMSSend WHERE InFlight = ? AND SMSSendID IN (%1)")
                                         .arg(Database::placeholders(keys.size())),
                                     QVariantList{token} + keyValues);
    while (marked.next())
        ours.insert(marked.value(0).toLongLong(), Message{marked.value(1).toString(), marked.value(2).toString(),
                                                          marked.value(3).toInt() != 0, marked.value(4).toInt() != 0});
    QList<Claimed> claimed;
    for (qint64 key : keys)
        if (const auto found = ours.constFind(key); found != ours.cend())
            claimed.append({key, *found});
    return claimed;
}

int unclaim(const QList<qint64> &keys, qint64 token)
{
    return Chunks::sum(keys, [token](const QString &in, const QVariantList &values) {
        return Database::run(QStringLiteral("UPDATE SMSSend SET Send = 0, InFlight = 0 WHERE InFlight = ? "
                                            "AND Send = 1 AND SMSSendID IN (%1)")
                                 .arg(in),
                             QVariantList{token} + values)
            .numRowsAffected();
    });
}

RunRows::RunRows(qint64 token)
    : m_token(token), m_claimed(QStringLiteral("SELECT 1 FROM SMSSend WHERE SMSSendID = ? AND InFlight = ?")),
      // A status run of another program may already have taken the mark off
      // a row the gateway reported before this answer came; the answer still
      // counts. (PostedAt is written only by an answer.)
      m_answered(
          QStringLiteral("UPDATE SMSSend SET InFlight = 0, EventID = ?, PostedAt = ?, FailReason = ? "
                         "WHERE SMSSendID = ? AND (InFlight = ? OR (InFlight = 0 AND Send = 1 AND PostedAt IS NULL))")),
      m_takeBack(
          QStringLiteral("UPDATE SMSSend SET Send = 1, InFlight = 0, EventID = ?, PostedAt = ?, FailReason = NULL "
                         "WHERE SMSSendID = ? AND Send = 0 AND InFlight = 0")),
      m_exists(QStringLiteral("SELECT Send FROM SMSSend WHERE SMSSendID = ?"))
{}

bool RunRows::stillClaimed(qint64 key)
{
    return m_claimed.finds({key, m_token});
}

Stored RunRows::answer(qint64 key, const QString &eventId, const QString &postedAt, const QString &reason)
{
    if (m_answered.run({eventId, textOrNull(postedAt), textOrNull(reason), key, m_token}) == 1)
        return Stored::Stored;
    const bool sent = !postedAt.isEmpty() && reason.isEmpty();
    if (sent && m_takeBack.run({eventId, postedAt, key}) == 1)
        return Stored::TakenBack;
    QSqlQuery &row = m_exists.run({key});
    const bool exists = row.next();
    const bool queued = exists && row.value(0).toInt() == 0;
    row.finish();
    if (!exists)
        return Stored::Gone;
    return queued ? Stored::LeftQueued : Stored::ClaimedElsewhere;
}

} // namespace Dispatch
