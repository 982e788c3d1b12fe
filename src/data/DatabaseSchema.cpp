#include "data/Database.h"
#include "data/DatabaseInternal.h"

#include "data/Backups.h"
#include "data/OperatorTime.h"
#include "data/PhoneNumbers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QUuid>

#include <sqlite3.h>

#include <tuple>

// The schema and postal codes are compiled into the library; a static library
// needs its resources registered by hand.
static void registerDataResources()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(data);
        return true;
    }();
    Q_UNUSED(registered);
}

namespace Database {

void execScript(QSqlDatabase &db, const QString &script, const QString &what)
{
    sqlite3 *handle = handleOf(db);
    if (!handle)
        throw AppError(ErrorGeneral, QStringLiteral("The database driver gives no access to %1.").arg(what));
    char *message = nullptr;
    const int rc = sqlite3_exec(handle, script.toUtf8().constData(), nullptr, nullptr, &message);
    if (rc != SQLITE_OK) {
        const QString text = QString::fromUtf8(message ? message : sqlite3_errstr(rc));
        sqlite3_free(message);
        throw AppError(rc, QStringLiteral("%1: %2").arg(what, text));
    }
}

QString resourceText(const QString &name)
{
    registerDataResources();
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly))
        throw AppError(ErrorGeneral, QStringLiteral("The program's resource %1 is missing.").arg(name));
    return QString::fromUtf8(file.readAll());
}

// A script of ours in the engine's dialect, statement by statement.
static QStringList scriptFor(const QString &resource, Engine engine)
{
    return statementsFor(resourceText(resource), engine);
}

// Runs statements in order on a connection of either engine (a script
// begins and commits its own transaction): the file's in one go, as SQLite
// runs a script; the server's one at a time, rolled back at the first that fails.
static void runScript(QSqlDatabase &db, const QStringList &statements, const QString &what)
{
    if (!isServer(db)) {
        // SQLite keeps the text of a CREATE INDEX up to its semicolon: the
        // semicolon follows the statement as it does in the script.
        execScript(db, statements.join(QStringLiteral(";\n")), what);
        return;
    }
    QSqlQuery query(db);
    for (const QString &statement : statements) {
        if (!query.exec(statement)) {
            const AppError error = errorFrom(query.lastError());
            QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
            throw AppError(error.number(), QStringLiteral("%1: %2").arg(what, error.description()));
        }
    }
}

// The statements that mark the database with SchemaVersion: the file keeps
// it in its header, the server in a table of its own.
static QStringList versionMark(Engine engine)
{
    if (engine == Engine::SQLite)
        return {QStringLiteral("PRAGMA user_version = %1").arg(SchemaVersion)};
    return {QStringLiteral("DELETE FROM TellwaveSchema"),
            QStringLiteral("INSERT INTO TellwaveSchema (Version) VALUES (%1)").arg(SchemaVersion)};
}

int userVersion(QSqlDatabase &db)
{
    QSqlQuery query(db);
    if (isServer(db)) {
        // The version lives in a one-row table of its own; a database without
        // it is empty or was made by something else.
        if (!query.exec(QStringLiteral("SELECT to_regclass('tellwaveschema') IS NOT NULL")) || !query.next())
            throw errorFrom(query.lastError());
        if (!query.value(0).toBool())
            return 0;
        if (!query.exec(QStringLiteral("SELECT Version FROM TellwaveSchema")))
            throw errorFrom(query.lastError());
        return query.next() ? query.value(0).toInt() : 0;
    }
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next())
        throw errorFrom(query.lastError());
    return query.value(0).toInt();
}

bool hasTable(QSqlDatabase &db, const QString &table)
{
    QSqlQuery query(db);
    if (isServer(db)) {
        query.prepare(QStringLiteral("SELECT 1 FROM information_schema.tables "
                                     "WHERE table_schema = current_schema() AND table_name = lower(?)"));
    } else {
        query.prepare(QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?"));
    }
    query.addBindValue(table);
    if (!query.exec())
        throw errorFrom(query.lastError());
    return query.next();
}

bool hasColumn(QSqlDatabase &db, const QString &table, const QString &column)
{
    QSqlQuery query(db);
    if (isServer(db))
        query.prepare(QStringLiteral("SELECT 1 FROM information_schema.columns WHERE table_schema = current_schema() "
                                     "AND table_name = lower(?) AND column_name = lower(?)"));
    else
        query.prepare(QStringLiteral("SELECT 1 FROM pragma_table_info(?) WHERE name = ?"));
    query.addBindValue(table);
    query.addBindValue(column);
    if (!query.exec())
        throw errorFrom(query.lastError());
    return query.next();
}

// A file is ours when it carries our schema version, or (an older file with
// no version) when it has the outbox and setup tables.
void requireOurs(QSqlDatabase &db, const QString &path)
{
    const int version = userVersion(db);
    if (version > SchemaVersion)
        throw AppError(ErrorNotOurs,
                       QStringLiteral("The database %1 was made by a newer version of the program.").arg(path));
    if (version == 0 && isServer(db)) {
        // An empty server database is filled with the schema when it is
        // opened; one holding tables of something else is left alone.
        QSqlQuery tables(db);
        if (!tables.exec(QStringLiteral("SELECT count(*) FROM information_schema.tables "
                                        "WHERE table_schema = current_schema()"))
            || !tables.next())
            throw errorFrom(tables.lastError());
        if (tables.value(0).toInt() == 0)
            return;
    }
    if (version == 0 && !(hasTable(db, QStringLiteral("SMSSend")) && hasTable(db, QStringLiteral("Setup"))))
        throw AppError(ErrorNotOurs, QStringLiteral("The file %1 is not a Tellwave database.").arg(path));
}

QList<TableShape> schemaShape()
{
    return schemaShape(connection());
}

// One statement with its values bound, on a connection of its own (the
// schema's checks and upgrade steps, before the program's connection is up).
static QSqlQuery runOn(const QSqlDatabase &db, const QString &sql, const QVariantList &values = {})
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    runPrepared(query, sql, values, sql);
    return query;
}

QList<TableShape> schemaShape(const QSqlDatabase &db)
{
    QList<TableShape> shapes;
    const bool server = isServer(db);
    const auto run = [&db](const QString &sql, const QVariantList &values = {}) { return runOn(db, sql, values); };
    QSqlQuery names =
        run(server ? QStringLiteral("SELECT table_name, table_type = 'VIEW' FROM information_schema.tables "
                                    "WHERE table_schema = current_schema() AND table_name <> 'tellwaveschema' "
                                    "ORDER BY table_name")
                   : QStringLiteral("SELECT name, type = 'view' FROM sqlite_master WHERE type IN ('table', 'view') "
                                    "AND name NOT LIKE 'sqlite%' ORDER BY lower(name)"));
    while (names.next())
        shapes.append({names.value(0).toString(), names.value(1).toBool(), {}});
    for (TableShape &shape : shapes) {
        QSqlQuery columns = run(server ? QStringLiteral("SELECT column_name FROM information_schema.columns "
                                                        "WHERE table_schema = current_schema() AND table_name = ? "
                                                        "ORDER BY ordinal_position")
                                       : QStringLiteral("SELECT name FROM pragma_table_info(?) ORDER BY cid"),
                                {shape.name});
        while (columns.next())
            shape.columns << columns.value(0).toString();
    }
    return shapes;
}

void create(const QString &path)
{
    if (isServerAddress(path)) {
        const QString name = QStringLiteral("tellwave-create");
        try {
            QSqlDatabase db = openServer(name, connectionStringFor(path));
            requireOurs(db, describe(connectionStringFor(path)));
            migrate(db);
        } catch (...) {
            closeConnection(name);
            throw;
        }
        closeConnection(name);
        return;
    }
    if (QFileInfo::exists(path))
        throw AppError(ErrorGeneral, QStringLiteral("A file is already there: %1").arg(path));
    const QFileInfo target(path);
    if (!QDir().mkpath(target.absolutePath()))
        throw AppError(ErrorGeneral, QStringLiteral("The folder %1 cannot be created.").arg(target.absolutePath()));

    // Built beside the target and moved into place whole, so a half-made file
    // never stands where the program looks for its database.
    const QString building = path + QStringLiteral(".new-") + QUuid::createUuid().toString(QUuid::Id128);
    const QString name = QStringLiteral("tellwave-create");
    try {
        {
            // The file holds the gateway password: readable by its owner only. SQLite gives its
            // journal and WAL files the database file's mode.
            QFile empty(building);
            if (!empty.open(QIODevice::WriteOnly)
                || !empty.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
                throw AppError(ErrorGeneral, QStringLiteral("The new database could not be made at %1 (%2).")
                                                 .arg(building, empty.errorString()));
            empty.close();
            QSqlDatabase db = openFile(name, building);
            runScript(db,
                      QStringList{QStringLiteral("PRAGMA journal_mode = DELETE"), QStringLiteral("BEGIN")}
                          + scriptFor(QStringLiteral(":/data/schema.sql"), Engine::SQLite)
                          + scriptFor(QStringLiteral(":/data/postalcodes.sql"), Engine::SQLite)
                          + versionMark(Engine::SQLite) + QStringList{QStringLiteral("COMMIT")},
                      QStringLiteral("Creating the database"));
            const QString account = QString::fromLocal8Bit(qgetenv("TELLWAVE_NEW_DATABASE_ACCOUNT"));
            if (account.contains(QLatin1Char(':'))) {
                QSqlQuery setup(db);
                setup.prepare(QStringLiteral("UPDATE Setup SET Username = ?, Password = ?"));
                setup.addBindValue(account.section(QLatin1Char(':'), 0, 0));
                setup.addBindValue(account.section(QLatin1Char(':'), 1));
                if (!setup.exec())
                    throw errorFrom(setup.lastError());
            }
        }
        closeConnection(name);
        if (!QFile::rename(building, path))
            throw AppError(ErrorGeneral, QStringLiteral("The new database could not be put at %1.").arg(path));
    } catch (...) {
        closeConnection(name);
        QFile::remove(building);
        throw;
    }
}

// Version 6: opt-out entries keyed by their E.164 form instead of the digits
// the sender posts ("0821234567" becomes "+27821234567"); two entries of one
// person ("0027...", "082...") become one. Safe to run again.
static void rekeyOptOuts(QSqlDatabase &db)
{
    QStringList stored;
    QSqlQuery read = runOn(db, QStringLiteral("SELECT Number FROM OptOuts"));
    while (read.next())
        stored << read.value(0).toString();
    read.finish();
    if (!db.transaction())
        throw errorFrom(db.lastError());
    try {
        for (const QString &old : std::as_const(stored)) {
            const QString key = PhoneNumbers::personKey(old);
            if (key.isEmpty() || key == old)
                continue;
            if (runOn(db, QStringLiteral("SELECT 1 FROM OptOuts WHERE Number = ?"), {key}).next())
                runOn(db, QStringLiteral("DELETE FROM OptOuts WHERE Number = ?"), {old});
            else
                runOn(db, QStringLiteral("UPDATE OptOuts SET Number = ? WHERE Number = ?"), {key, old});
        }
    } catch (...) {
        db.rollback();
        throw;
    }
    if (!db.commit())
        throw errorFrom(db.lastError());
}

// Version 8: the key of every stored number (PhoneNumbers::storedKey), by
// which a conversation finds one person's messages however the number was
// written. The column is added, then filled a few thousand rows at a time,
// each lot committed on its own, before the schema script moves the version
// on: an upgrade that stops part way goes on where it stopped.
static void fillNumberKeys(QSqlDatabase &db)
{
    constexpr int RowsPerRead = 5000;
    constexpr int RowsPerUpdate = 250;
    for (const auto &[table, id, number] :
         {std::tuple{"SMSSend", "SMSSendID", "Number"}, std::tuple{"SMSReplies", "SMSReplyID", "PhoneNumber"}}) {
        const QString name = QString::fromLatin1(table);
        if (!hasTable(db, name))
            continue;
        if (!hasColumn(db, name, QStringLiteral("NumberKey"))) {
            // Not prepared: PostgreSQL prepares no ALTER.
            QSqlQuery alter(db);
            if (!alter.exec(QStringLiteral("ALTER TABLE %1 ADD COLUMN NumberKey TEXT").arg(name)))
                throw errorFrom(alter.lastError());
        }
        const QString read =
            QStringLiteral("SELECT %2, %3 FROM %1 WHERE %2 > ? AND NumberKey IS NULL ORDER BY %2 LIMIT %4")
                .arg(name, QLatin1String(id), QLatin1String(number))
                .arg(RowsPerRead);
        qint64 after = 0;
        for (;;) {
            QVariantList keyed;
            qint64 last = 0;
            QSqlQuery rows = runOn(db, read, {after});
            while (rows.next()) {
                last = rows.value(0).toLongLong();
                const QString key = PhoneNumbers::storedKey(rows.value(1).toString());
                if (!key.isNull())
                    keyed << last << key;
            }
            rows.finish();
            if (last == 0)
                break;
            after = last;
            if (!db.transaction())
                throw errorFrom(db.lastError());
            try {
                for (qsizetype at = 0; at < keyed.size(); at += 2 * RowsPerUpdate) {
                    const QVariantList values = keyed.mid(at, 2 * RowsPerUpdate);
                    QStringList pairs(values.size() / 2, QStringLiteral("(CAST(? AS BIGINT), ?)"));
                    runOn(
                        db,
                        QStringLiteral("UPDATE %1 SET NumberKey = v.column2 FROM (VALUES %3) AS v WHERE %2 = v.column1")
                            .arg(name, QLatin1String(id), pairs.join(QStringLiteral(", "))),
                        values);
                }
            } catch (...) {
                db.rollback();
                throw;
            }
            if (!db.commit())
                throw errorFrom(db.lastError());
        }
    }
}

void migrate(QSqlDatabase &db)
{
    const int version = userVersion(db);
    if (version >= SchemaVersion)
        return;
    const Engine engine = isServer(db) ? Engine::PostgreSQL : Engine::SQLite;
    if (engine == Engine::SQLite) {
        // An upgrade cannot be taken back, and an older program cannot open
        // the file afterwards: it waits for a sound copy of the file as it was.
        try {
            Backups::takeBefore(handleOf(db), db.databaseName(), QStringLiteral("before-upgrade"),
                                OperatorTime::current().now());
        } catch (const AppError &error) {
            throw AppError(error.number(), QStringLiteral("The database %1 needs an upgrade, which waits for a backup "
                                                          "of it that could not be taken: %2\n\nIt was left as it was.")
                                               .arg(db.databaseName(), error.description()));
        }
    }
    if (version < 6 && hasTable(db, QStringLiteral("OptOuts")))
        rekeyOptOuts(db);
    if (version < 8)
        fillNumberKeys(db);
    // A database from before the version mark has the tables. Columns that
    // came later are added to the tables that lack them, and the schema
    // script adds whatever else is missing: each of its statements adds what
    // is not there (a view is made again on the server).
    QStringList script{QStringLiteral("BEGIN")};
    for (const auto &[table, column, type] :
         {// Version 2: the outbox's in-flight mark; every older row reads as not in flight.
          std::tuple{"SMSSend", "InFlight", "INTEGER NOT NULL DEFAULT 0"},
          // Version 3: marketing flag and posting time of outbox rows, what
          // a reply did to the opt-out list, the marketing sender's name; a
          // table the database lacks altogether, and the new tables, come
          // whole from the schema script.
          std::tuple{"SMSSend", "Marketing", "INTEGER NOT NULL DEFAULT 0"}, std::tuple{"SMSSend", "PostedAt", "TEXT"},
          std::tuple{"SMSReplies", "OptOut", "INTEGER NOT NULL DEFAULT 0"}, std::tuple{"Setup", "SenderName", "TEXT"},
          // Version 4: the scheduled queueing a row belongs to.
          std::tuple{"SMSSend", "BatchID", "INTEGER"},
          // Version 4: why a row failed; a failed row queued again;
          // the confirmation of an opt-out.
          std::tuple{"SMSSend", "FailReason", "TEXT"},
          std::tuple{"SMSSend", "QueuedAgain", "INTEGER NOT NULL DEFAULT 0"},
          std::tuple{"SMSSend", "ConfirmsOptOut", "INTEGER NOT NULL DEFAULT 0"},
          // Version 5: a row may take a counted holiday off.
          std::tuple{"PublicHolidays", "IsHoliday", "INTEGER NOT NULL DEFAULT 1"}}) {
        const QString name = QString::fromLatin1(table);
        if (hasTable(db, name) && !hasColumn(db, name, QString::fromLatin1(column)))
            script << statementsFor(
                QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 %3").arg(name, QLatin1String(column), QLatin1String(type)),
                engine);
    }
    script << scriptFor(QStringLiteral(":/data/schema.sql"), engine);
    // Version 5: the holiday table's rows from before it became the office's
    // changes to the counted holidays.
    if (version < 5 && hasTable(db, QStringLiteral("PublicHolidays")))
        script << scriptFor(QStringLiteral(":/data/upgrade-5-holidays.sql"), engine);
    // Postal codes go into an empty list. A server database without the
    // table is a new one, filled here; a file is made new by create(), and
    // one from before the table came is left without them, as it always was.
    bool postalCodes = engine == Engine::PostgreSQL;
    if (hasTable(db, QStringLiteral("PostalCodes"))) {
        QSqlQuery postal(db);
        postalCodes = postal.exec(QStringLiteral("SELECT count(*) FROM PostalCodes")) && postal.next()
                      && postal.value(0).toInt() == 0;
    }
    if (postalCodes)
        script << scriptFor(QStringLiteral(":/data/postalcodes.sql"), engine);
    script << versionMark(engine) << QStringLiteral("COMMIT");
    runScript(db, script, QStringLiteral("Updating the database"));
}

} // namespace Database
