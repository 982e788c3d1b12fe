#include "compose/GroupQueue.h"

#include "campaigns/MessageFill.h"
#include "data/Database.h"
#include "data/modFunctions.h"

#include <QSqlQuery>

namespace GroupQueue {

namespace {
QString text(const QVariant &value)
{
    return modFunctions::TrimBlanks(value.toString());
}

// Members whose rows are written together: with four bodies, 64 rows.
constexpr qsizetype MembersPerWrite = 16;

QList<Member> readMembers(qint64 groupId)
{
    QList<Member> list;
    QSqlQuery query = Database::run(QStringLiteral("SELECT ClientID, LastName, FirstName, Mobile "
                                                   "FROM ClientsBelongingToGroups WHERE GroupID = ?"),
                                    {groupId});
    while (query.next())
        list.append(
            Member{query.value(0).toLongLong(), text(query.value(1)), text(query.value(2)), text(query.value(3))});
    return list;
}
} // namespace

Plan plan(qint64 groupId)
{
    Plan result;
    NumberScreen screen(QStringLiteral("group"));
    for (Member &member : readMembers(groupId)) {
        const QString name =
            member.firstName.isEmpty() ? member.lastName : member.lastName + QStringLiteral(", ") + member.firstName;
        if (screen.admit(member.mobile, name))
            result.members.append(std::move(member));
    }
    result.skipped = screen.skipped();
    return result;
}

qint64 queue(const QList<Member> &members, const QStringList &bodies, const MemberStarted &started,
             QueueCampaign *campaign)
{
    qint64 counter = 0;
    writeInBatch(
        [&](OutboxWriter &writer) {
            // Members are written a few at a time; when one fails, it is the
            // last one started.
            QList<OutboxWriter::Addressee> addressees;
            QList<const Member *> written;
            const auto write = [&] {
                qsizetype failedAt = -1;
                try {
                    writer.queueBodiesToEach(bodies, addressees, failedAt);
                } catch (const AppError &) {
                    if (started && failedAt >= 0)
                        started(written.at(failedAt)->lastName, written.at(failedAt)->firstName);
                    throw;
                }
                addressees.clear();
                written.clear();
            };
            for (const Member &member : members) {
                if (member.mobile.isEmpty())
                    continue;
                ++counter;
                if (started)
                    started(member.lastName, member.firstName);
                addressees.append({member.mobile, member.clientId});
                written.append(&member);
                if (addressees.size() == MembersPerWrite)
                    write();
            }
            write();
        },
        campaign, MessageFill::forCampaign(campaign));
    return counter;
}

qint64 queue(qint64 groupId, const QStringList &bodies, const MemberStarted &started, QueueCampaign *campaign)
{
    // Read first, then write: the list is fixed before any row is added.
    return queue(readMembers(groupId), bodies, started, campaign);
}

} // namespace GroupQueue
