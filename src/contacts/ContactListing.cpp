#include "contacts/ContactListing.h"

#include "data/Database.h"

const QStringList &ContactListing::columns()
{
    static const QStringList names{
        QStringLiteral("ClientID"),      QStringLiteral("AssNo"),      QStringLiteral("LastName"),
        QStringLiteral("FirstName"),     QStringLiteral("Initials"),   QStringLiteral("Salute"),
        QStringLiteral("EnrollerAssNo"), QStringLiteral("Address1"),   QStringLiteral("Address2"),
        QStringLiteral("Address3"),      QStringLiteral("PostalCode"), QStringLiteral("TelWork"),
        QStringLiteral("TelHome"),       QStringLiteral("Fax"),        QStringLiteral("Mobile"),
        QStringLiteral("EMail"),         QStringLiteral("Selected"),   QStringLiteral("Company")};
    return names;
}

KeysetList::Order ContactListing::orderBy(const QString &column)
{
    // Codes, addresses, e-mail and numbers are read by people as much as
    // names are: every text column sorts in the name collation. Only the key
    // and the mark are numbers.
    static const QStringList numbers{QStringLiteral("ClientID"), QStringLiteral("Selected")};
    Order order;
    order.column = column == QLatin1String("ClientID") ? QString() : column;
    order.names = !numbers.contains(column);
    order.nullable = column != QLatin1String("Selected");
    return order;
}

ContactListing::ContactListing()
    : KeysetList(QStringLiteral("Clients"), columns(), QStringLiteral("ClientID"), orderBy(QStringLiteral("AssNo")))
{}

QString ContactListing::sortClause() const
{
    const QString column = order().column.isEmpty() ? QStringLiteral("ClientID") : order().column;
    QString clause = QStringLiteral(" ORDER BY ") + column;
    if (order().names)
        clause += QStringLiteral(" COLLATE ") + QLatin1StringView(Database::NameCollation);
    return clause;
}
