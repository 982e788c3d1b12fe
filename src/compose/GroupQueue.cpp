#include "compose/GroupQueue.h"

#include "campaigns/MessageFill.h"
#include "data/Database.h"
#include "data/modFunctions.h"

#include <QSqlQuery>
#include <QSqlRecord>

namespace GroupQueue {

namespace {
QString text(const QVariant &value)
{
    return modFunctions::TrimBlanks(value.toString());
}

// Members whose rows are written together: with four bodies, 64 rows.
constexpr qsizetype MembersPerWrite = 16;

struct Member
{
    qint64 clientId = 0;
    QString lastName;
    QString firstName;
    QString mobile;
};
} // namespace

QList<Group> groups()
{
    QList<Group> result;
    QSqlQuery query = Database::run(QStringLiteral("SELECT GroupID, Name FROM Groups ORDER BY Name COLLATE Names"));
    while (query.next())
        result.append(Group{query.value(0).toLongLong(), query.value(1).toString()});
    return result;
}

Table members(qint64 groupId)
{
    QSqlQuery query = Database::run(
        QStringLiteral("SELECT * FROM ClientsBelongingToGroups WHERE GroupID = ? "
                       "ORDER BY LastName COLLATE Names, FirstName COLLATE Names"), {groupId});
    Table table;
    const QSqlRecord record = query.record();
    for (int i = 0; i < record.count(); ++i)
        table.columns << record.fieldName(i);
    while (query.next()) {
        QVariantList row;
        row.reserve(record.count());
        for (int i = 0; i < record.count(); ++i)
            row << query.value(i);
        table.rows.append(row);
    }
    return table;
}

qint64 membersWithoutNumber(qint64 groupId)
{
    // SQLite's trim() without a second argument removes spaces only, the
    // same blanks TrimBlanks removes.
    return Database::value(QStringLiteral("SELECT count(*) FROM ClientsBelongingToGroups "
                                          "WHERE GroupID = ? AND trim(coalesce(Mobile, '')) = ''"),
                           {groupId})
        .toLongLong();
}

qint64 queue(qint64 groupId, const QStringList &bodies, const MemberStarted &started, QueueCampaign *campaign)
{
    // Read first, then write: the list is fixed before any row is added.
    QList<Member> list;
    {
        QSqlQuery query = Database::run(QStringLiteral("SELECT ClientID, LastName, FirstName, Mobile "
                                                       "FROM ClientsBelongingToGroups WHERE GroupID = ?"),
                                        {groupId});
        while (query.next())
            list.append(Member{query.value(0).toLongLong(), text(query.value(1)), text(query.value(2)),
                               text(query.value(3))});
    }

    qint64 counter = 0;
    writeInBatch([&](OutboxWriter &writer) {
        // Members are written a few at a time; when one fails, it is the
        // last one started.
        QList<OutboxWriter::Addressee> addressees;
        QList<const Member *> members;
        const auto write = [&] {
            qsizetype failedAt = -1;
            try {
                writer.queueBodiesToEach(bodies, addressees, failedAt);
            } catch (const AppError &) {
                if (started && failedAt >= 0)
                    started(members.at(failedAt)->lastName, members.at(failedAt)->firstName);
                throw;
            }
            addressees.clear();
            members.clear();
        };
        for (const Member &member : std::as_const(list)) {
            if (member.mobile.isEmpty())
                continue;
            ++counter;
            if (started)
                started(member.lastName, member.firstName);
            addressees.append({member.mobile, member.clientId});
            members.append(&member);
            if (addressees.size() == MembersPerWrite)
                write();
        }
        write();
    }, campaign, MessageFill::forCampaign(campaign));
    return counter;
}

} // namespace GroupQueue
