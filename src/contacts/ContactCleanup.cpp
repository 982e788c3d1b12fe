#include "contacts/ContactCleanup.h"

#include "data/Database.h"
#include "data/modFunctions.h"

#include <QSqlQuery>
#include <QSqlRecord>

namespace ContactCleanup {

std::optional<Names> splitName(const QString &lastName)
{
    const qsizetype comma = lastName.indexOf(u',');
    if (comma < 0)
        return std::nullopt;
    return Names{modFunctions::TrimBlanks(lastName.left(comma)), modFunctions::TrimBlanks(lastName.mid(comma + 1))};
}

QString withoutPhoneSpaces(const QString &number)
{
    QString cleaned = number;
    for (const QChar c : {QChar(u' '), QChar(u'-'), QChar(u'('), QChar(u')')})
        cleaned.remove(c);
    return cleaned;
}

namespace {

// An empty text, never NULL.
QVariant text(const QString &value)
{
    return value.isNull() ? QVariant(QStringLiteral("")) : QVariant(value);
}

QString changedNote(qint64 changed)
{
    return QStringLiteral("%1 contacts were changed before the error.").arg(changed);
}

// Every row of the statement, read before anything is written.
QList<QVariantList> rowsOf(const QString &sql)
{
    QSqlQuery query = Database::run(sql);
    QList<QVariantList> rows;
    const int columns = query.record().count();
    while (query.next()) {
        QVariantList row;
        row.reserve(columns);
        for (int column = 0; column < columns; ++column)
            row.append(query.value(column));
        rows.append(std::move(row));
    }
    return rows;
}

} // namespace

qint64 splitNames()
{
    const QList<QVariantList> rows = rowsOf(
        QStringLiteral("SELECT ClientID, LastName FROM Clients WHERE instr(LastName, ',') > 0 ORDER BY ClientID"));
    Database::Batch batch;
    Database::Statement update(QStringLiteral("UPDATE Clients SET LastName = ?, FirstName = ? WHERE ClientID = ?"));
    qint64 changed = 0;
    try {
        for (const QVariantList &row : rows) {
            const std::optional<Names> names = splitName(row.at(1).toString());
            if (!names)
                continue;
            update.run({text(names->lastName), text(names->firstName), row.at(0)});
            ++changed;
        }
    } catch (const AppError &error) {
        throw batch.keepBefore(error, changedNote(changed));
    }
    batch.commit();
    return changed;
}

qint64 removePhoneSpaces()
{
    const QList<QVariantList> rows =
        rowsOf(QStringLiteral("SELECT ClientID, Mobile, TelWork, TelHome, Fax FROM Clients ORDER BY ClientID"));
    Database::Batch batch;
    Database::Statement update(
        QStringLiteral("UPDATE Clients SET Mobile = ?, TelWork = ?, TelHome = ?, Fax = ? WHERE ClientID = ?"));
    qint64 changed = 0;
    try {
        for (const QVariantList &row : rows) {
            QVariantList values;
            bool differs = false;
            for (int column = 1; column <= 4; ++column) {
                const QVariant &stored = row.at(column);
                const QString cleaned = withoutPhoneSpaces(stored.toString());
                differs = differs || stored.isNull() || cleaned != stored.toString();
                values.append(text(cleaned));
            }
            if (!differs)
                continue;
            values.append(row.at(0));
            update.run(values);
            ++changed;
        }
    } catch (const AppError &error) {
        throw batch.keepBefore(error, changedNote(changed));
    }
    batch.commit();
    return changed;
}

} // namespace ContactCleanup
