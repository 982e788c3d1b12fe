#include "contacts/ContactStore.h"

#include "data/AppError.h"
#include "data/Database.h"
#include "data/modFunctions.h"
#include "groups/GroupBook.h"

#include <QSqlQuery>

#include <algorithm>
#include <array>
#include <vector>

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

namespace {

constexpr qsizetype LinksPerStatement = 64;
constexpr size_t EditedColumnCount = 16;

// A line whose contact to update is no longer there.
AppError contactGone()
{
    return AppError(0, QStringLiteral("The contact to update is no longer in the address book."),
                    QStringLiteral("ContactStore"));
}

// A write the database took without an error but without its row.
void checkRows(int written, qsizetype expected, const QString &what)
{
    if (written != expected)
        throw AppError(0, QStringLiteral("The database did not store %1.").arg(what), QStringLiteral("Database"));
}

qint64 checkKey(qint64 key)
{
    checkRows(key != 0 ? 1 : 0, 1, QStringLiteral("a new contact"));
    return key;
}

} // namespace

Importer::Importer(qint64 groupId) : m_groupId(groupId)
{
    const QStringList &columns = editedColumns();
    Q_ASSERT(columns.size() == qsizetype(EditedColumnCount));
    QStringList assignments;
    for (const QString &column : columns)
        assignments.append(QStringLiteral("%1 = coalesce(?, %1)").arg(column));
    m_begin = std::make_unique<Database::RowStatement>(QStringLiteral("SAVEPOINT contacts"));
    m_release = std::make_unique<Database::RowStatement>(QStringLiteral("RELEASE contacts"));
    m_undo = std::make_unique<Database::RowStatement>(QStringLiteral("ROLLBACK TO contacts"));
    m_add = std::make_unique<Database::RowStatement>(
        QStringLiteral("INSERT INTO Clients (%1) VALUES (%2)")
            .arg(columns.join(QStringLiteral(", ")), Database::placeholders(columns.size())));
    m_update = std::make_unique<Database::RowStatement>(
        QStringLiteral("UPDATE Clients SET %1 WHERE ClientID = ?").arg(assignments.join(QStringLiteral(", "))));
    m_link = std::make_unique<Database::RowStatement>(
        QStringLiteral("INSERT INTO GroupLinking (GroupID, ClientID) VALUES (?, ?)"));
}

Importer::~Importer() = default;

// The line's contact, and its group link when it is new (an updated one
// joins the group unless it is a member already); throws AppError.
qint64 Importer::add(const Line &line)
{
    std::array<Database::Value, EditedColumnCount> v;
    for (qsizetype i = 0; i < std::min(line.values.size(), qsizetype(v.size())); ++i)
        v[size_t(i)] = line.values.at(i);
    return checkKey(m_add->insert(
        {v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9], v[10], v[11], v[12], v[13], v[14], v[15]}));
}

qint64 Importer::writeLine(const Line &line)
{
    if (line.update == 0) {
        const qint64 key = add(line);
        if (m_groupId != 0)
            checkRows(m_link->run({m_groupId, key}), 1, QStringLiteral("a group link"));
        return key;
    }
    std::vector<Database::Value> values(line.values.cbegin(), line.values.cend());
    values.resize(EditedColumnCount);
    values.emplace_back(line.update);
    if (m_update->run(values.data(), qsizetype(values.size())) != 1)
        throw contactGone();
    if (m_groupId != 0)
        GroupBook::addMember(m_groupId, line.update);
    return line.update;
}

void Importer::linkAll(const QList<qint64> &keys)
{
    std::vector<Database::Value> values;
    for (qsizetype first = 0; first < keys.size(); first += LinksPerStatement) {
        const qsizetype count = std::min(LinksPerStatement, keys.size() - first);
        values.clear();
        for (qsizetype i = first; i < first + count; ++i) {
            values.emplace_back(m_groupId);
            values.emplace_back(keys.at(i));
        }
        std::unique_ptr<Database::RowStatement> &links = m_links[count];
        if (!links)
            links = std::make_unique<Database::RowStatement>(
                QStringLiteral("INSERT INTO GroupLinking (GroupID, ClientID) VALUES ")
                + Database::placeholderRows(2, count));
        checkRows(links->run(values.data(), qsizetype(values.size())), count, QStringLiteral("every group link"));
    }
}

void Importer::undo(const AppError &error)
{
    try {
        m_undo->run({});
        m_release->run({});
    } catch (const AppError &) {
        // The savepoint is gone with the whole transaction: nothing of these
        // lines can be kept, whatever the first error was.
        throw error;
    }
}

// The lines under one savepoint, the new contacts' group links a few dozen
// to a statement; false, with nothing of them kept, when any of them fails.
bool Importer::writeAll(const QList<Line> &lines, QList<qint64> &keys)
{
    m_begin->run({});
    try {
        QList<qint64> added;
        for (const Line &line : lines) {
            keys.append(line.update != 0 ? writeLine(line) : add(line));
            if (line.update == 0)
                added.append(keys.last());
        }
        if (m_groupId != 0)
            linkAll(added);
    } catch (const AppError &error) {
        keys.clear();
        undo(error);
        return false;
    }
    m_release->run({});
    return true;
}

QList<qint64> Importer::write(const QList<Line> &lines, const Refused &refused)
{
    QList<qint64> keys;
    keys.reserve(lines.size());
    m_stored = 0;
    if (writeAll(lines, keys))
        return keys;
    for (qsizetype index = 0; index < lines.size(); ++index) {
        m_begin->run({});
        try {
            keys.append(writeLine(lines.at(index)));
        } catch (const AppError &error) {
            undo(error);
            if (error.source() != QStringLiteral("ContactStore") && !Database::refusesTheRow(error))
                throw;
            keys.append(0);
            if (refused)
                refused(index, error);
            continue;
        }
        m_release->run({});
        ++m_stored;
    }
    return keys;
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
