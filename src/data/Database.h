#pragma once

#include "data/AppError.h"

#include <QList>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlQueryModel>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>

#include <cstddef>
#include <initializer_list>

struct sqlite3;
struct sqlite3_stmt;

// The program's one way to the database. The connection is opened from
// connectionString() on first use (and opened again when that string
// changes); every statement goes through run() with its values bound as
// parameters, and every failure comes back as an AppError.
namespace Database {

inline constexpr int SchemaVersion = 8;

// The two engines: the SQLite file that needs no set-up, and a PostgreSQL
// server that several operators share.
enum class Engine { SQLite, PostgreSQL };

// True for a PostgreSQL address ("postgresql://user@host:port/dbname") rather
// than a file path.
bool isServerAddress(const QString &pathOrAddress);

// "Driver=QSQLITE;Database=<path>" for a file, or
// "Driver=QPSQL;Host=<host>;Port=<port>;Database=<dbname>;User=<user>" for a
// server address: the shared description of where and how the database is
// reached. The password is never part of it (password()).
QString connectionStringFor(const QString &pathOrAddress);
// The path or address as it may be shown: a password written into an
// address ("user:secret@host") is left out.
QString shownAs(const QString &pathOrAddress);
// The file path, or the server's database name.
QString pathOf(const QString &connectionString);
// One part of a connection string ("Host", "Port", "User"); empty when absent.
QString partOf(const QString &connectionString, const QString &key);
Engine engineOf(const QString &connectionString);
// The database the program works in, as start-up chose it: its file path or
// server address, and the connection string built from it; the connection
// follows from the next statement on. Everything runs on the one
// user-interface thread.
void use(const QString &pathOrAddress);
QString path();
QString connectionString();
// The PostgreSQL server's password (from the desktop's keyring, or the
// settings without one); never part of the connection string nor shown.
void usePassword(const QString &serverPassword);
QString password();

// The engine of connectionString().
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

// The open connection for connectionString().
QSqlDatabase connection();
// Closes the connection (the next statement opens it again).
void close();

// How long a statement waits for another program's lock on the file before it
// fails with "database is locked" (5 s unless set). Applies to connections
// opened afterwards.
void setBusyTimeout(int milliseconds);

// "?, ?, ?": the placeholders for a list of n bound values ("IN (%1)").
QString placeholders(qsizetype n);
// "(?, ?), (?, ?)": the VALUES of an INSERT of `rows` rows of `columns` values.
QString placeholderRows(qsizetype columns, qsizetype rows);

// Runs one statement with its values bound in order ("?" placeholders).
QSqlQuery run(const QString &sql, const QVariantList &values = {});
// Gives a list model the rows of a statement (values bound in order); throws
// AppError when the statement or the model's first read fails.
void fill(QSqlQueryModel &model, const QString &sql, const QVariantList &values = {});
// First column of the first row, or an invalid QVariant when there is no row.
QVariant value(const QString &sql, const QVariantList &values = {});
// Every row of a statement with its column names (kept even when no row
// comes back), for showing in a list.
struct Table
{
    QStringList columns;
    QList<QVariantList> rows;
    // A column's place by its name in any letter case (the server gives
    // names in lower case); -1 when there is none.
    int column(const QString &name) const;
};
Table table(const QString &sql, const QVariantList &values = {});
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

// One value for a RowStatement: NULL, a whole number, a real number or a
// text (a null QString is NULL, as when bound through QVariant). A text is
// viewed, not copied: it must outlive the run it is given to.
class Value
{
public:
    enum class Kind { Null, Integer, Real, Text };
    Value() = default;
    Value(std::nullptr_t) {}
    Value(int number) : m_kind(Kind::Integer), m_integer(number) {}
    Value(qint64 number) : m_kind(Kind::Integer), m_integer(number) {}
    Value(bool flag) : m_kind(Kind::Integer), m_integer(flag ? 1 : 0) {}
    Value(double number) : m_kind(Kind::Real), m_real(number) {}
    Value(const QString &text) : m_kind(text.isNull() ? Kind::Null : Kind::Text), m_text(text) {}
    // A QVariant's own text is viewed; any other kind of value is kept as text.
    Value(const QVariant &value);

    Kind kind() const { return m_kind; }
    qint64 integer() const { return m_integer; }
    double real() const { return m_real; }
    QStringView text() const { return m_kind == Kind::Text && m_text.isNull() ? QStringView(m_owned) : m_text; }
    QVariant toVariant() const;

private:
    Kind m_kind = Kind::Null;
    qint64 m_integer = 0;
    double m_real = 0;
    QStringView m_text;
    QString m_owned;
};

// A statement run once per row of a long list (an import, a queueing, a
// report page). On SQLite it runs on the engine's own prepared statement
// with the values bound straight from the program's texts and numbers, which
// costs a fraction of a QSqlQuery's run; the file is checked when the
// statement is prepared, not for every row. On PostgreSQL it is a Statement.
// Errors are thrown as AppError, the same as Statement's.
class RowStatement
{
public:
    explicit RowStatement(QString sql);
    ~RowStatement();
    RowStatement(const RowStatement &) = delete;
    RowStatement &operator=(const RowStatement &) = delete;

    // Runs it with the values bound in order; gives the rows it changed.
    int run(std::initializer_list<Value> values) { return run(values.begin(), qsizetype(values.size())); }
    int run(const Value *values, qsizetype count);
    // Runs an INSERT and gives the new row's key, 0 when it added no row (a
    // conflict passed over). A statement used for insert() is used for
    // nothing else.
    qint64 insert(std::initializer_list<Value> values);
    // Runs a query: whether it gives a row.
    bool finds(std::initializer_list<Value> values);

    // The engine's statement is let go (the connection closes).
    void release();

private:
    // Binds and runs it on the file; true when it gave a row.
    bool step(const Value *values, qsizetype count);
    static QVariantList variants(const Value *values, qsizetype count);
    // Prepares it on the file when the connection is to one.
    bool onFile();

    QString m_sql;
    Statement m_server;
    sqlite3_stmt *m_statement = nullptr;
    bool m_checked = false; // the engine has been looked at
    bool m_file = false;
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
// Gives a connection of the engine's own (one the program did not open through
// Qt, such as a backup's) the functions and the name collation: the indexes
// of names cannot be read in order, or checked, without it.
void addFunctions(sqlite3 *handle);

// The collation's comparison, for sorting names outside the database the same way.
int compareNames(QStringView a, QStringView b);

} // namespace Database
