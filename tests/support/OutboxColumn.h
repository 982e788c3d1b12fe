#pragma once

#include "OutboxRows.h"

// One column of every outbox row as text, in key order.
inline QStringList outboxColumn(const QString &name)
{
    QStringList values;
    for (const QVariantMap &row : OutboxRows::all())
        values << row.value(name).toString();
    return values;
}
