#pragma once

#include "GroupRows.h"

#include <QList>
#include <QPair>

// A group "Members" of contacts surnamed Dube, each with its first name and mobile; gives the GroupID.
inline qint64 groupOfMembers(const QList<QPair<QString, QString>> &firstNameAndMobile)
{
    const qint64 group = GroupRows::addGroup(QStringLiteral("Members"));
    for (const auto &[first, mobile] : firstNameAndMobile)
        GroupRows::link(group, GroupRows::addClient(QStringLiteral("Dube"), mobile, first));
    return group;
}
