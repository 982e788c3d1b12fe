#include "contacts/ContactSearch.h"

#include <QStringList>

namespace ContactSearch {

namespace {

const QString Start = QStringLiteral("SELECT Clients.ClientID AS SearchID, Clients.LastName AS Column1, "
                                     "Clients.FirstName AS Column2, Clients.AssNo AS Column3 FROM Clients");
const QString Order = QStringLiteral(" ORDER BY Clients.LastName COLLATE Names, Clients.ClientID");

QString withoutLeadingBlanks(const QString &text)
{
    qsizetype first = 0;
    while (first < text.size() && text.at(first) == u' ')
        ++first;
    return text.mid(first);
}

// One "column contains the search text" term. instr() finds the empty text
// in an empty value too; an empty search text is meant to match only values
// that hold something.
QString contains(const QString &column, const QString &search, QVariantList &values)
{
    if (search.isEmpty())
        return QStringLiteral("length(Clients.%1) > 0").arg(column);
    values.append(search);
    return QStringLiteral("instr(upper(Clients.%1), ?) > 0").arg(column);
}

} // namespace

Statement statement(const Criteria &criteria)
{
    Statement result;
    QStringList terms;
    switch (criteria.field) {
    case Field::Names: {
        static const std::array<QString, NameColumnCount> names{QStringLiteral("Salute"), QStringLiteral("Initials"),
                                                                QStringLiteral("FirstName"),
                                                                QStringLiteral("LastName")};
        const QStringList words =
            criteria.text.isEmpty() ? QStringList() : criteria.text.split(u' ', Qt::KeepEmptyParts);
        for (const QString &word : words) {
            const QString search = withoutLeadingBlanks(word).toUpper();
            for (int column = 0; column < NameColumnCount; ++column)
                if (criteria.columns.at(size_t(column)))
                    terms.append(contains(names.at(size_t(column)), search, result.values));
        }
        break;
    }
    case Field::EMail:
        terms.append(contains(QStringLiteral("EMail"), withoutLeadingBlanks(criteria.text).toUpper(), result.values));
        break;
    case Field::Phones: {
        const QString search = withoutLeadingBlanks(criteria.text).toUpper();
        for (const QString &column :
             {QStringLiteral("TelWork"), QStringLiteral("Fax"), QStringLiteral("Mobile"), QStringLiteral("TelHome")})
            terms.append(contains(column, search, result.values));
        break;
    }
    }
    result.sql = Start;
    if (!terms.isEmpty())
        result.sql += QStringLiteral(" WHERE ") + terms.join(QStringLiteral(" OR "));
    result.sql += Order;
    return result;
}

} // namespace ContactSearch
