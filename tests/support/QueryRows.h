#pragma once

#include "data/Database.h"

#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QVariantList>

// Every value of every row a query gives, in order; "<null>" for NULL.
inline QStringList queryValues(const QString &sql, const QVariantList &values = {})
{
    QStringList result;
    QSqlQuery rows = Database::run(sql, values);
    while (rows.next()) {
        for (int i = 0; i < rows.record().count(); ++i)
            result.append(rows.value(i).isNull() ? QStringLiteral("<null>") : rows.value(i).toString());
    }
    return result;
}

// One line per row a query gives, its columns joined with '|' (NULL as empty).
inline QStringList queryRows(const QString &sql, const QVariantList &values = {})
{
    QSqlQuery query = Database::run(sql, values);
    QStringList rows;
    while (query.next()) {
        QStringList columns;
        for (int i = 0; i < query.record().count(); ++i)
            columns << query.value(i).toString();
        rows << columns.join(u'|');
    }
    return rows;
}

// The one number a statement gives, as a count(*).
inline qint64 queryCount(const QString &sql, const QVariantList &values = {})
{
    return Database::value(sql, values).toLongLong();
}
