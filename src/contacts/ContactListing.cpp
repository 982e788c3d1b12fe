#include "contacts/ContactListing.h"

#include "data/Database.h"

#include <QSqlQuery>

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

QString ContactListing::sortClauseFor(const QString &column)
{
    // Codes, addresses, e-mail and numbers are read by people as much as
    // names are: every text column sorts in the name collation. Only the key
    // and the mark are numbers.
    static const QStringList numbers{QStringLiteral("ClientID"), QStringLiteral("Selected")};
    QString clause = QStringLiteral(" ORDER BY ") + column;
    if (!numbers.contains(column))
        clause += QStringLiteral(" COLLATE ") + QLatin1StringView(Database::NameCollation);
    return clause;
}

void ContactListing::load()
{
    // Contacts with equal values keep the order they were added in.
    m_ids = Database::keys(QStringLiteral("SELECT ClientID FROM Clients") + m_sortClause + QStringLiteral(", ClientID"));
    m_pages.clear();
}

QVariant ContactListing::value(int row, int column) const
{
    if (row < 0 || row >= m_ids.size() || column < 0 || column >= columns().size())
        return {};
    const int page = row / PageRows;
    auto found = m_pages.constFind(page);
    if (found == m_pages.cend()) {
        readPage(page);
        found = m_pages.constFind(page);
    }
    const QVariantList &values = found->at(row % PageRows);
    return column < values.size() ? values.at(column) : QVariant();
}

void ContactListing::readPage(int page) const
{
    if (m_pages.size() >= KeptPages)
        m_pages.clear();
    const int first = page * PageRows;
    const int last = std::min<int>(first + PageRows, int(m_ids.size()));
    QList<QVariantList> rows(last - first);
    try {
        QVariantList keys;
        QHash<qint64, int> position;
        for (int row = first; row < last; ++row) {
            keys.append(m_ids.at(row));
            position.insert(m_ids.at(row), row - first);
        }
        QSqlQuery query =
            Database::run(QStringLiteral("SELECT %1 FROM Clients WHERE ClientID IN (%2)")
                              .arg(columns().join(QStringLiteral(", ")), Database::placeholders(keys.size())),
                          keys);
        const int width = int(columns().size());
        while (query.next()) {
            QVariantList values;
            values.reserve(width);
            for (int column = 0; column < width; ++column)
                values.append(query.value(column));
            const auto at = position.constFind(values.at(0).toLongLong());
            if (at != position.cend())
                rows[*at] = std::move(values);
        }
    } catch (const AppError &) {
        // The rows stay empty; the list shows blanks rather than stopping to paint.
    }
    m_pages.insert(page, std::move(rows));
}
