#pragma once

#include "data/AppError.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlQueryModel>
#include <QString>
#include <QStringList>
#include <QList>
#include <QVariant>
#include <QVariantList>

// The program's one way to the database. The connection is opened from
// modMain::ConnectionString on first use (and opened again when that string
// changes); every statement goes through run() with its values bound as
// parameters, and every failure comes back as an AppError.
namespace Database {

inline constexpr int SchemaVersion = 7;

// The two engines: the SQLite file that needs no set-up, and a PostgreSQL
// server that several operators share.
enum class Engine { SQLite, PostgreSQL };

// True for a PostgreSQL address ("postgresql://user@host:port/dbname") rather
// than a file path.
bool isServerAddress(const QString &pathOrAddress);

// "Driver=QSQLITE;Database=<path>" for a file, or
// "Driver=QPSQL;Host=<host>;Port=<port>;Database=<dbname>;User=<user>" for a
// server address: the shared description of where and how the database is
// reached. The password is never part of it (modMain::DatabasePassword).
QString connectionStringFor(const QString &pathOrAddress);
// The path or address as it may be shown: a password written into an
// address ("user:secret@host") is left out.
QString shownAs(const QString &pathOrAddress);
// The file path, or the server's database name.
QString pathOf(const QString &connectionString);
Engine engineOf(const QString &connectionString);
// The engine of modMain::ConnectionString.
Engine engine();

// The statement in the current engine's dialect: statements are written for
// SQLite, and the few words PostgreSQL spells otherwise are translated
// (rowid, instr, INSERT OR IGNORE / OR REPLACE).
QString dialect(const QString &sql);

// " FOR UPDATE SKIP LOCKED" on PostgreSQL, for a subquery that claims rows
// another program is claiming at the same moment: those are passed over
// instead of waited for. Nothing on SQLite, where one writer at a time
// already keeps two claims apart.
QString skipLocked();

// Commits made while this lives are synced to disk before they return (the
// SQLite file's log; PostgreSQL syncs every commit anyway).
class DurableCommits
{
public:
    DurableCommits();
    ~DurableCommits();
    DurableCommits(const DurableCommits &) = delete;
    DurableCommits &operator=(const DurableCommits &) = delete;
};

// Inside a transaction: its commit is synced before it returns on
// PostgreSQL too, whatever the server's or the session's synchronous_commit
// says (a claim that is lost would post a message twice).
void insistOnSyncedCommit();

// A table or view with its columns in order, as the open database has it.
struct TableShape
{
    QString name;
    bool view = false;
    QStringList columns;
};
QList<TableShape> schemaShape();
QList<TableShape> schemaShape(const QSqlDatabase &db);

// Opens a connection of its own name to a file or server address that holds
// (or, for an empty server database, is given) the schema. Close it with
// closeNamed().
QSqlDatabase openNamed(const QString &name, const QString &pathOrAddress);
void closeNamed(const QString &name);

// The open connection for modMain::ConnectionString.
QSqlDatabase connection();
// Closes the connection (the next statement opens it again).
void close();

// How long a statement waits for another program's lock on the file before it
// fails with "database is locked" (5 s unless set). Applies to connections
// opened afterwards.
void setBusyTimeout(int milliseconds);

// "?, ?, ?": the placeholders for a list of n bound values ("IN (%1)").
QString placeholders(qsizetype n);

// Runs one statement with its values bound in order ("?" placeholders).
QSqlQuery run(const QString &sql, const QVariantList &values = {});
// Gives a list model the rows of a statement (values bound in order); throws
// AppError when the statement or the model's first read fails.
void fill(QSqlQueryModel &model, const QString &sql, const QVariantList &values = {});
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
    // Runs an INSERT and gives the new row's key.
    qint64 insert(const QVariantList &values);

private:
    QSqlQuery &runBare(const QVariantList &values);
    QString m_sql;
    QSqlQuery m_query;
    bool m_returning = false;
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

// All or nothing: rolled back unless commit() was called; inside another
// transaction or batch it joins that one. The same thing as a Batch, named for
// what the caller means.
using Transaction = Batch;

// What a file at a path is, checked before the program starts on it.
enum class FileState { Missing, Usable, Unusable };
struct FileCheck
{
    FileState state = FileState::Missing;
    QString reason; // why an existing file cannot be used
};
// For a server address: Usable when the server answers and the database is
// empty or ours, Unusable with the server's reason otherwise.
FileCheck check(const QString &path);

// Creates a new database file with every table, view and the postal codes.
// Refuses (AppError) when a file is already there: nothing is overwritten.
// For a server address, fills an empty database with the schema.
void create(const QString &path);

// Brings an older database up to SchemaVersion. Throws on failure.
void migrate(QSqlDatabase &db);

AppError errorFrom(const QSqlError &error, const QString &context = {});

// True for a database error that refuses one row because of its values: a
// constraint (a trigger's refusal included), a value too big or of the wrong
// kind. Anything else (a full disk, a lost connection) is not about the row.
bool refusesTheRow(const AppError &error);

// The collation every ordering and comparison of names uses ("ORDER BY
// LastName COLLATE Names"): case is ignored, letters outside ASCII sort in
// their alphabetical place ("Émile" before "Zulu"), the same on every machine.
inline constexpr char NameCollation[] = "Names";
// The collation's comparison, for sorting names outside the database the same way.
int compareNames(QStringView a, QStringView b);

} // namespace Database
