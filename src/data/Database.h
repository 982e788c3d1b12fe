#pragma once

#include "data/AppError.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariant>
#include <QVariantList>

// The program's one way to the database. The connection is opened from
// modMain::ConnectionString on first use (and opened again when that string
// changes); every statement goes through run() with its values bound as
// parameters, and every failure comes back as an AppError.
namespace Database {

inline constexpr int SchemaVersion = 3;

// "Driver=QSQLITE;Database=<path>": the shared description of where and how
// the database is reached.
QString connectionStringFor(const QString &path);
QString pathOf(const QString &connectionString);

// The open connection for modMain::ConnectionString.
QSqlDatabase connection();
// Closes the connection (the next statement opens it again).
void close();

// How long a statement waits for another program's lock on the file before it
// fails with "database is locked" (5 s unless set). Applies to connections
// opened afterwards.
void setBusyTimeout(int milliseconds);

// Runs one statement with its values bound in order ("?" placeholders).
QSqlQuery run(const QString &sql, const QVariantList &values = {});
// First column of the first row, or an invalid QVariant when there is no row.
QVariant value(const QString &sql, const QVariantList &values = {});
// Runs an INSERT and gives the new row's key.
qint64 insert(const QString &sql, const QVariantList &values = {});

// A statement prepared once and run many times with new values, for loops
// that write many rows. Prepared on first use; lives for one action.
class Statement
{
public:
    explicit Statement(QString sql) : m_sql(std::move(sql)) {}
    // Runs it with the values bound in order; throws AppError.
    QSqlQuery &run(const QVariantList &values);

private:
    QString m_sql;
    QSqlQuery m_query;
    bool m_prepared = false;
};

// Groups many writes into one transaction for speed. Nothing is stored until
// commit(), which reports its own failure; a batch left without a commit rolls
// back. A long action that fails part way keeps what it wrote before the
// error with keepBefore().
class Batch
{
public:
    Batch();
    ~Batch();
    Batch(const Batch &) = delete;
    Batch &operator=(const Batch &) = delete;

    // Commits the batch. When the commit fails nothing of the batch is stored,
    // and the AppError thrown says so ("Nothing was stored.").
    void commit();
    // For an error part way through: commits what was written before it and
    // gives the error to show. Its description ends with storedNote ("12
    // messages were queued before the error.") when those rows are stored, or
    // is the commit's own error with "Nothing was stored." when they are not.
    AppError keepBefore(const AppError &error, const QString &storedNote);

private:
    bool m_own; // this batch began the transaction
    bool m_done = false;
};

// All or nothing: rolled back unless commit() was called. Inside a Batch it
// joins the batch.
class Transaction
{
public:
    Transaction();
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;
    void commit();

private:
    bool m_own = false;
    bool m_done = false;
};

// What a file at a path is, checked before the program starts on it.
enum class FileState { Missing, Usable, Unusable };
struct FileCheck
{
    FileState state = FileState::Missing;
    QString reason; // why an existing file cannot be used
};
FileCheck check(const QString &path);

// Creates a new database file with every table, view and the postal codes.
// Refuses (AppError) when a file is already there: nothing is overwritten.
void create(const QString &path);

// Brings an older database file up to SchemaVersion. Throws on failure.
void migrate(QSqlDatabase &db);

AppError errorFrom(const QSqlError &error, const QString &context = {});

// The collation every ordering and comparison of names uses ("ORDER BY
// LastName COLLATE Names"): case is ignored, letters outside ASCII sort in
// their alphabetical place ("Émile" before "Zulu"), the same on every machine.
inline constexpr char NameCollation[] = "Names";
// The collation's comparison, for sorting names outside the database the same way.
int compareNames(QStringView a, QStringView b);

} // namespace Database
