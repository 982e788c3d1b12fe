#include "contacts/ContactStore.h"

#include "data/Database.h"
#include "data/modFunctions.h"

#include <QSqlQuery>

namespace ContactStore {

const QStringList &editedColumns()
{
    static const QStringList columns{
        QStringLiteral("AssNo"),    QStringLiteral("LastName"),   QStringLiteral("FirstName"),
        QStringLiteral("Initials"), QStringLiteral("Salute"),     QStringLiteral("EnrollerAssNo"),
        QStringLiteral("Company"),  QStringLiteral("Address1"),   QStringLiteral("Address2"),
        QStringLiteral("Address3"), QStringLiteral("PostalCode"), QStringLiteral("TelWork"),
        QStringLiteral("TelHome"),  QStringLiteral("Fax"),        QStringLiteral("Mobile"),
        QStringLiteral("EMail")};
    return columns;
}

std::optional<Contact> load(qint64 clientId)
{
    QSqlQuery query = Database::run(
        QStringLiteral("SELECT %1 FROM Clients WHERE ClientID = ?").arg(editedColumns().join(QStringLiteral(", "))),
        {clientId});
    if (!query.next())
        return std::nullopt;
    Contact contact;
    for (int i = 0; i < editedColumns().size(); ++i)
        contact.insert(editedColumns().at(i), modFunctions::TrimBlanks(query.value(i).toString()));
    return contact;
}

qint64 save(qint64 clientId, const Contact &contact)
{
    QVariantList values;
    for (const QString &column : editedColumns()) {
        const QString value = contact.value(column);
        values.append(value.isNull() ? QStringLiteral("") : value); // empty text, never NULL
    }
    Database::Transaction transaction;
    const bool exists =
        clientId != 0
        && Database::value(QStringLiteral("SELECT 1 FROM Clients WHERE ClientID = ?"), {clientId}).isValid();
    qint64 saved = clientId;
    if (exists) {
        QStringList assignments;
        for (const QString &column : editedColumns())
            assignments.append(column + QStringLiteral(" = ?"));
        values.append(clientId);
        Database::run(
            QStringLiteral("UPDATE Clients SET %1 WHERE ClientID = ?").arg(assignments.join(QStringLiteral(", "))),
            values);
    } else {
        saved = Database::insert(
            QStringLiteral("INSERT INTO Clients (%1) VALUES (%2)")
                .arg(editedColumns().join(QStringLiteral(", ")), Database::placeholders(editedColumns().size())),
            values);
    }
    transaction.commit();
    return saved;
}

void remove(qint64 clientId)
{
    Database::Transaction transaction;
    Database::run(QStringLiteral("DELETE FROM Clients WHERE ClientID = ?"), {clientId});
    Database::run(QStringLiteral("DELETE FROM GroupLinking WHERE ClientID = ?"), {clientId});
    transaction.commit();
}

std::optional<Holder> mobileHolder(const QString &number, qint64 except)
{
    if (number.isEmpty())
        return std::nullopt;
    // The condition is the expression of the index on Mobile.
    QSqlQuery query = Database::run(QStringLiteral("SELECT LastName, FirstName FROM Clients "
                                                   "WHERE trim(coalesce(Mobile, '')) = ? AND ClientID <> ? "
                                                   "ORDER BY ClientID LIMIT 1"),
                                    {number, except});
    if (!query.next())
        return std::nullopt;
    return Holder{modFunctions::TrimBlanks(query.value(0).toString()),
                  modFunctions::TrimBlanks(query.value(1).toString())};
}

QString postalCodeForTown(const QString &current, const QString &boxCode, const QString &streetCode,
                          const std::function<CodeChoice()> &ask)
{
    const auto blank = [](const QString &text) {
        for (const QChar c : text)
            if (c != u' ')
                return false;
        return true;
    };
    if (!blank(current))
        return current;
    QString code = current;
    if (blank(boxCode))
        code = streetCode;
    if (blank(streetCode))
        code = boxCode;
    if (!blank(code))
        return code;
    switch (ask()) {
    case CodeChoice::BoxCode:
        return boxCode;
    case CodeChoice::StreetCode:
        return streetCode;
    case CodeChoice::Nothing:
        break;
    }
    return QString();
}

} // namespace ContactStore
