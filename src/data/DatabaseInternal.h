#pragma once

// What the parts of Database share among themselves and nobody else calls:
// the open connection's state, the engine's handle, the schema's checks.

#include "data/Database.h"

#include <QList>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariantList>

struct sqlite3;

namespace Database {

// The program's own connection, opened from connectionString().
extern const QString ConnectionName;

// Error numbers of our own, for failures that SQLite does not report itself.
constexpr qint64 ErrorFileMissing = 3024;
constexpr qint64 ErrorNotOurs = 3343;
constexpr qint64 ErrorGeneral = 3000;

struct State
{
    int busyTimeout = 5000;
    QString connectionString; // what the open connection was opened from
    int transactionDepth = 0;
    QList<RowStatement *> rowStatements; // prepared on the open connection
};
State &state();

// The engine's own handle of a connection to a file; nullptr for a server.
sqlite3 *handleOf(const QSqlDatabase &db);
bool isServer(const QSqlDatabase &db);
// The file path, or "<database> on <host>".
QString describe(const QString &connectionString);
QSqlDatabase openFile(const QString &name, const QString &path, bool readOnly = false);
QSqlDatabase openServer(const QString &name, const QString &connectionString);
void closeConnection(const QString &name);

// The functions and the name collation, on a connection to a file.
void registerFunctions(const QSqlDatabase &db);

// The statements of a script of ours (written in SQLite's dialect) for one
// engine, in its dialect: a statement preceded by the comment line
// "-- engine: PostgreSQL" or "-- engine: SQLite" is left out on the other.
QStringList statementsFor(const QString &script, Engine engine);
// A statement as the server spells it: the program's statements (rowid,
// instr, INSERT OR ..., NULLs of names first) and the schema's.
QString serverDialect(const QString &sql);

QString resourceText(const QString &name);
void execScript(QSqlDatabase &db, const QString &script, const QString &what);
int userVersion(QSqlDatabase &db);
bool hasTable(QSqlDatabase &db, const QString &table);
bool hasColumn(QSqlDatabase &db, const QString &table, const QString &column);
void requireOurs(QSqlDatabase &db, const QString &path);

// Prepares a statement (as the engine is to run it), binds its values in
// order and runs it; a failure is thrown with the statement as written.
void runPrepared(QSqlQuery &query, const QString &prepared, const QVariantList &values, const QString &written);

// The error of a statement run on the engine's own handle.
AppError engineError(sqlite3 *handle, int code, const QString &sql);

} // namespace Database
