#include "contacts/ContactCleanup.h"

#include "data/Database.h"
#include "data/modFunctions.h"

#include <QSqlQuery>

#include <array>

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
QString text(const QString &value)
{
    return value.isNull() ? QStringLiteral("") : value;
}

QString changedNote(qint64 changed)
{
    return QStringLiteral("%1 contacts were changed before the error.").arg(changed);
}

// A contact's new values, worked out before anything is written.
struct Change
{
    qint64 clientId = 0;
    std::array<QString, 4> values;
};

// Writes every change with one statement, all in one batch; rows changed
// before an error stay changed and the error says how many.
qint64 write(const QList<Change> &changes, const QString &sql, qsizetype columns)
{
    Database::Batch batch;
    Database::RowStatement update(sql);
    qint64 changed = 0;
    try {
        for (const Change &change : changes) {
            const std::array<QString, 4> &v = change.values;
            if (columns == 2)
                update.run({v[0], v[1], change.clientId});
            else
                update.run({v[0], v[1], v[2], v[3], change.clientId});
            ++changed;
        }
    } catch (const AppError &error) {
        throw batch.keepBefore(error, changedNote(changed));
    }
    batch.commit();
    return changed;
}

} // namespace

qint64 splitNames()
{
    QList<Change> changes;
    {
        QSqlQuery query = Database::run(
            QStringLiteral("SELECT ClientID, LastName FROM Clients WHERE instr(LastName, ',') > 0 ORDER BY ClientID"));
        while (query.next()) {
            const std::optional<Names> names = splitName(query.value(1).toString());
            if (names)
                changes.append({query.value(0).toLongLong(), {text(names->lastName), text(names->firstName)}});
        }
    }
    return write(changes, QStringLiteral("UPDATE Clients SET LastName = ?, FirstName = ? WHERE ClientID = ?"), 2);
}

qint64 removePhoneSpaces()
{
    QList<Change> changes;
    {
        QSqlQuery query = Database::run(
            QStringLiteral("SELECT ClientID, Mobile, TelWork, TelHome, Fax FROM Clients ORDER BY ClientID"));
        while (query.next()) {
            Change change;
            bool differs = false;
            for (int column = 1; column <= 4; ++column) {
                const QVariant stored = query.value(column);
                const QString storedText = stored.toString();
                const QString cleaned = withoutPhoneSpaces(storedText);
                differs = differs || stored.isNull() || cleaned != storedText;
                change.values[size_t(column - 1)] = text(cleaned);
            }
            if (!differs)
                continue;
            change.clientId = query.value(0).toLongLong();
            changes.append(std::move(change));
        }
    }
    return write(changes,
                 QStringLiteral("UPDATE Clients SET Mobile = ?, TelWork = ?, TelHome = ?, Fax = ? WHERE ClientID = ?"),
                 4);
}

} // namespace ContactCleanup
