#pragma once

#include "outbox/OutboxWriter.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <functional>

// Queueing the message bodies to every member of a contact group.
namespace GroupQueue {

struct Group
{
    qint64 groupId = 0;
    QString name;
};

// Every group, ordered by name as people read names.
QList<Group> groups();

// Rows of a statement with their column names (kept even when no row comes
// back), for showing in a list.
struct Table
{
    QStringList columns;
    QList<QVariantList> rows;
};

// The members of a group as ClientsBelongingToGroups lists them, ordered by
// last name, then first name, as people read names. Group 0 gives the columns and no rows.
Table members(qint64 groupId);

// Members whose mobile number is empty once blanks are removed at both ends
// (a null counts as empty): exactly those queue() leaves out.
qint64 membersWithoutNumber(qint64 groupId);

// Called before a member's rows are written, with the trimmed names; where
// they cannot be written, last for the member they failed at.
using MemberStarted = std::function<void(const QString &lastName, const QString &firstName)>;

// Queues the bodies to every member that has a number, in the database's
// order, with the member's contact key; all in one batch of writes (see
// writeInBatch). Gives the count of members queued,
// which counts a member even when every body is blank.
qint64 queue(qint64 groupId, const QStringList &bodies, const MemberStarted &started = {},
             QueueCampaign *campaign = nullptr);

} // namespace GroupQueue
