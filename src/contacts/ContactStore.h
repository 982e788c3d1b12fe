#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <QList>
#include <QVariant>

#include <functional>
#include <map>
#include <memory>
#include <optional>

class AppError;
namespace Database {
class RowStatement;
}

// Reading, writing and deleting one contact (a row of Clients), and the rules
// of the contact editor that need no window.
namespace ContactStore {

// The columns the editor writes, in the order it writes them.
const QStringList &editedColumns();

// Column name to text.
using Contact = QHash<QString, QString>;

// The contact's edited columns, each without blanks at its ends (an absent
// value is the empty text); nothing when there is no such contact.
std::optional<Contact> load(qint64 clientId);

// Updates the contact when it exists, otherwise adds a new one; gives its
// ClientID. Columns not in the map are stored empty; Selected is untouched.
// Throws AppError.
qint64 save(qint64 clientId, const Contact &contact);

// Deletes the contact and its group memberships, all or nothing. Throws AppError.
void remove(qint64 clientId);

struct Holder
{
    QString lastName;
    QString firstName;
};
// The first contact (lowest ClientID) other than `except` whose cellphone
// number, without blanks at its ends, is the number given; nothing for an
// empty number, which no contact can hold in common with another. Throws
// AppError.
std::optional<Holder> mobileHolder(const QString &number, qint64 except = 0);

// The writes of a long import into Clients, each contact linked to a group
// when there is one. The caller holds the transaction (a Database::Batch);
// a few hundred lines go in under one savepoint, and only where one of them
// fails are they written again under a savepoint per line, so that a refused
// line takes back its contact and its group link together.
class Importer
{
public:
    explicit Importer(qint64 groupId);
    ~Importer();
    Importer(const Importer &) = delete;
    Importer &operator=(const Importer &) = delete;

    struct Line
    {
        // The editedColumns() in their order (those left out are invalid). An
        // invalid QVariant is NULL in a new contact and leaves an updated
        // contact's value as it is.
        QList<QVariant> values;
        qint64 update = 0; // the contact this line updates; 0 adds one
    };
    // Called for a line the database refused (or whose contact to update is
    // gone), with its index among the lines and the error.
    using Refused = std::function<void(qsizetype index, const AppError &error)>;

    // Writes the lines; gives each one's ClientID, 0 for a refused line. Any
    // other error is thrown (AppError), with nothing of these lines kept.
    QList<qint64> write(const QList<Line> &lines, const Refused &refused);
    // How many lines the last write() stored before the error it threw; a
    // caller that keeps what came before the error counts these too.
    qsizetype storedBeforeError() const { return m_stored; }

private:
    qint64 add(const Line &line);
    qint64 writeLine(const Line &line);
    bool writeAll(const QList<Line> &lines, QList<qint64> &keys);
    void linkAll(const QList<qint64> &keys);
    // Back to before the savepoint; when that fails, the first error is thrown.
    void undo(const AppError &error);

    qint64 m_groupId;
    qsizetype m_stored = 0;
    std::unique_ptr<Database::RowStatement> m_begin;
    std::unique_ptr<Database::RowStatement> m_release;
    std::unique_ptr<Database::RowStatement> m_undo;
    std::unique_ptr<Database::RowStatement> m_add;
    std::unique_ptr<Database::RowStatement> m_update;
    std::unique_ptr<Database::RowStatement> m_link;
    std::map<qsizetype, std::unique_ptr<Database::RowStatement>> m_links;
};

// What the operator chose when a town has both codes, or neither.
enum class CodeChoice { BoxCode, StreetCode, Nothing };

// The postal code after a town was chosen. A code already there stays. A
// blank box takes the street code when the town has no box code and the box
// code when it has no street code; when it is still blank the operator is
// asked. Codes are copied as stored. "Blank" is empty once leading blanks are
// gone.
QString postalCodeForTown(const QString &current, const QString &boxCode, const QString &streetCode,
                          const std::function<CodeChoice()> &ask);

} // namespace ContactStore
