#pragma once

#include "data/Database.h"

#include <QStringList>
#include <QVariantMap>

// Contacts written straight into the database for the contact tests.
namespace ContactTest {

// Inserts a contact with the given columns; gives its ClientID.
inline qint64 addContact(const QVariantMap &columns)
{
    QStringList names;
    QStringList marks;
    QVariantList values;
    for (auto it = columns.cbegin(); it != columns.cend(); ++it) {
        names.append(it.key());
        marks.append(QStringLiteral("?"));
        values.append(it.value());
    }
    return Database::insert(QStringLiteral("INSERT INTO Clients (%1) VALUES (%2)")
                                .arg(names.join(QStringLiteral(", ")), marks.join(QStringLiteral(", "))),
                            values);
}

inline QVariant column(qint64 clientId, const QString &name)
{
    return Database::value(QStringLiteral("SELECT %1 FROM Clients WHERE ClientID = ?").arg(name), {clientId});
}

inline qint64 count(const QString &sql, const QVariantList &values = {})
{
    return Database::value(sql, values).toLongLong();
}

} // namespace ContactTest
