#pragma once

#include "data/Database.h"

#include <QList>
#include <QString>
#include <QVariantList>

// Statements over a list of keys, a chunk at a time: SQLite limits the
// number of bound values in one statement.
namespace Chunks {

inline constexpr qsizetype Size = 500;

inline QVariantList valuesOf(const QList<qint64> &keys)
{
    QVariantList values;
    values.reserve(keys.size());
    for (qint64 key : keys)
        values << key;
    return values;
}

// Runs `each` once per chunk of keys with the chunk's "?, ?, ?" and values,
// and adds up what the calls give.
template <typename Each>
int sum(const QList<qint64> &keys, Each each)
{
    int total = 0;
    for (qsizetype at = 0; at < keys.size(); at += Size) {
        const QList<qint64> part = keys.mid(at, Size);
        total += each(Database::placeholders(part.size()), valuesOf(part));
    }
    return total;
}

} // namespace Chunks
