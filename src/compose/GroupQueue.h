#pragma once

#include "outbox/NumberScreen.h"
#include "outbox/OutboxWriter.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// Queueing the message bodies to every member of a contact group.
namespace GroupQueue {

// A member as queueing reads it, blanks removed at both ends.
struct Member
{
    qint64 clientId = 0;
    QString lastName;
    QString firstName;
    QString mobile;
};

// A group as it will be queued: the members the screen lets through (see
// NumberScreen; a member without a number is left out too), in the
// database's order, and those left out, named "LastName, FirstName".
struct Plan
{
    QList<Member> members;
    SkippedNumbers skipped;
};
Plan plan(qint64 groupId);

// Called before a member's rows are written, with the trimmed names; where
// they cannot be written, last for the member they failed at.
using MemberStarted = std::function<void(const QString &lastName, const QString &firstName)>;

// Queues the bodies to each of these members that has a number, in order,
// with the member's contact key; all in one batch of writes (see
// writeInBatch). Gives the count of members queued, which counts a member
// even when every body is blank.
qint64 queue(const QList<Member> &members, const QStringList &bodies, const MemberStarted &started = {},
             QueueCampaign *campaign = nullptr);
// The same for every member of the group, in the database's order.
qint64 queue(qint64 groupId, const QStringList &bodies, const MemberStarted &started = {},
             QueueCampaign *campaign = nullptr);

} // namespace GroupQueue
