#pragma once

#include "data/Database.h"

#include <QSqlQuery>
#include <QStringList>

// What a statement reads, as the tests compare it.
namespace QueryTexts {

// One text per row: the first column, in the statement's order.
inline QStringList texts(const QString &sql, const QVariantList &values = {})
{
    QStringList result;
    QSqlQuery query = Database::run(sql, values);
    while (query.next())
        result << query.value(0).toString();
    return result;
}

// The one number a statement gives, as a count(*).
inline qint64 count(const QString &sql, const QVariantList &values = {})
{
    return Database::value(sql, values).toLongLong();
}

} // namespace QueryTexts
