#include "data/Database.h"
#include "data/DatabaseInternal.h"

#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QUrl>
#include <QUuid>

#include <sqlite3.h>

namespace Database {

const QString ConnectionName = QStringLiteral("tellwave");

namespace {
const QString DatabaseKey = QStringLiteral("Database=");
} // namespace

State &state()
{
    static State current;
    return current;
}

sqlite3 *handleOf(const QSqlDatabase &db)
{
    const QVariant handle = db.driver()->handle();
    if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0)
        return *static_cast<sqlite3 *const *>(handle.constData());
    return nullptr;
}

// Opens (or re-uses) a named connection to a file that must already exist.
QSqlDatabase openFile(const QString &name, const QString &path, bool readOnly)
{
    QSqlDatabase db = QSqlDatabase::contains(name) ? QSqlDatabase::database(name, false)
                                                   : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(path);
    QString options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(state().busyTimeout);
    if (readOnly)
        options += QStringLiteral(";QSQLITE_OPEN_READONLY");
    db.setConnectOptions(options);
    if (!db.open())
        throw errorFrom(db.lastError(), path);
    registerFunctions(db);
    return db;
}

// The parts of "Key=value;Key=value".
QString partOf(const QString &connectionString, const QString &key)
{
    for (const QString &part : connectionString.split(QLatin1Char(';'))) {
        const qsizetype equals = part.indexOf(QLatin1Char('='));
        if (equals > 0 && part.left(equals).trimmed().compare(key, Qt::CaseInsensitive) == 0)
            return part.mid(equals + 1);
    }
    return {};
}

QString describe(const QString &connectionString)
{
    if (engineOf(connectionString) == Engine::SQLite)
        return pathOf(connectionString);
    return QStringLiteral("%1 on %2")
        .arg(partOf(connectionString, QStringLiteral("Database")), partOf(connectionString, QStringLiteral("Host")));
}

// Opens (or re-uses) a named connection to a PostgreSQL database.
QSqlDatabase openServer(const QString &name, const QString &connectionString)
{
    QSqlDatabase db = QSqlDatabase::contains(name) ? QSqlDatabase::database(name, false)
                                                   : QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
    db.setHostName(partOf(connectionString, QStringLiteral("Host")));
    const QString port = partOf(connectionString, QStringLiteral("Port"));
    if (!port.isEmpty())
        db.setPort(port.toInt());
    db.setDatabaseName(partOf(connectionString, QStringLiteral("Database")));
    db.setUserName(partOf(connectionString, QStringLiteral("User")));
    db.setPassword(password());
    db.setConnectOptions(QStringLiteral("connect_timeout=10"));
    if (!db.open())
        throw errorFrom(db.lastError(), describe(connectionString));
    QSqlQuery setup(db);
    // A lock held by another operator's program is waited for as long as a
    // locked SQLite file would be; notices of "already exists" are not news.
    if (!setup.exec(QStringLiteral("SET client_min_messages = warning"))
        || !setup.exec(QStringLiteral("SET lock_timeout = %1").arg(state().busyTimeout)))
        throw errorFrom(setup.lastError(), describe(connectionString));
    return db;
}

bool isServer(const QSqlDatabase &db)
{
    return db.driverName() == QLatin1String("QPSQL");
}

void closeConnection(const QString &name)
{
    if (name == ConnectionName) {
        // The engine's own statements must be let go before the file closes.
        const QList<RowStatement *> prepared = std::exchange(state().rowStatements, {});
        for (RowStatement *statement : prepared)
            statement->release();
    }
    if (!QSqlDatabase::contains(name))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

bool isServerAddress(const QString &pathOrAddress)
{
    return pathOrAddress.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive)
           || pathOrAddress.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive);
}

QString connectionStringFor(const QString &pathOrAddress)
{
    if (!isServerAddress(pathOrAddress))
        return QStringLiteral("Driver=QSQLITE;") + DatabaseKey + pathOrAddress;
    // postgresql://user@host:port/dbname; a host that is a socket folder is
    // written percent-encoded ("%2Ftmp"), or given as "?host=/tmp".
    QString rest = pathOrAddress.mid(pathOrAddress.indexOf(QLatin1String("://")) + 3);
    QString query;
    if (const qsizetype mark = rest.indexOf(QLatin1Char('?')); mark >= 0) {
        query = rest.mid(mark + 1);
        rest = rest.left(mark);
    }
    const qsizetype slash = rest.indexOf(QLatin1Char('/'));
    const QString database = slash < 0 ? QString() : QUrl::fromPercentEncoding(rest.mid(slash + 1).toUtf8());
    QString authority = slash < 0 ? rest : rest.left(slash);
    QString user;
    if (const qsizetype at = authority.lastIndexOf(QLatin1Char('@')); at >= 0) {
        // A password written into the address is never kept in the string.
        user = QUrl::fromPercentEncoding(authority.left(at).section(QLatin1Char(':'), 0, 0).toUtf8());
        authority = authority.mid(at + 1);
    }
    QString host = authority;
    QString port;
    if (const qsizetype colon = authority.lastIndexOf(QLatin1Char(':'));
        colon >= 0 && !authority.endsWith(QLatin1Char(']'))) {
        host = authority.left(colon);
        port = authority.mid(colon + 1);
    }
    host = QUrl::fromPercentEncoding(host.toUtf8());
    for (const QString &pair : query.split(QLatin1Char('&'), Qt::SkipEmptyParts)) {
        const QString key = pair.section(QLatin1Char('='), 0, 0);
        const QString value = QUrl::fromPercentEncoding(pair.section(QLatin1Char('='), 1).toUtf8());
        if (key == QLatin1String("host"))
            host = value;
        else if (key == QLatin1String("port"))
            port = value;
        else if (key == QLatin1String("user"))
            user = value;
    }
    if (host.isEmpty())
        host = QStringLiteral("localhost");
    QString result = QStringLiteral("Driver=QPSQL;Host=%1;").arg(host);
    if (!port.isEmpty())
        result += QStringLiteral("Port=%1;").arg(port);
    result += QStringLiteral("User=%1;").arg(user) + DatabaseKey + database;
    return result;
}

QString shownAs(const QString &pathOrAddress)
{
    if (!isServerAddress(pathOrAddress))
        return pathOrAddress;
    static const QRegularExpression password(QStringLiteral("^([a-z]+://[^:@/]*):[^@/]*@"),
                                             QRegularExpression::CaseInsensitiveOption);
    QString shown = pathOrAddress;
    return shown.replace(password, QStringLiteral("\\1@"));
}

QString pathOf(const QString &connectionString)
{
    if (engineOf(connectionString) == Engine::PostgreSQL)
        return partOf(connectionString, QStringLiteral("Database"));
    const qsizetype at = connectionString.indexOf(DatabaseKey, 0, Qt::CaseInsensitive);
    return at < 0 ? QString() : connectionString.mid(at + DatabaseKey.size());
}

Engine engineOf(const QString &connectionString)
{
    return partOf(connectionString, QStringLiteral("Driver")).compare(QLatin1String("QPSQL"), Qt::CaseInsensitive) == 0
               ? Engine::PostgreSQL
               : Engine::SQLite;
}

namespace {

// The database start-up chose; the connection follows it.
struct InUse
{
    QString path;
    QString connectionString;
    QString password;
};

InUse &inUse()
{
    static InUse chosen;
    return chosen;
}

} // namespace

void use(const QString &pathOrAddress)
{
    inUse().path = pathOrAddress;
    inUse().connectionString = pathOrAddress.isEmpty() ? QString() : connectionStringFor(pathOrAddress);
}

void usePassword(const QString &serverPassword)
{
    inUse().password = serverPassword;
}

QString path()
{
    return inUse().path;
}

QString connectionString()
{
    return inUse().connectionString;
}

QString password()
{
    return inUse().password;
}

Engine engine()
{
    // Asked for every statement: the string is read again only when it changes.
    thread_local QString readFrom;
    thread_local Engine read = Engine::SQLite;
    if (readFrom.isNull() || readFrom != connectionString()) {
        read = engineOf(connectionString());
        readFrom = connectionString();
    }
    return read;
}

DurableCommits::DurableCommits()
{
    if (engine() == Engine::SQLite)
        run(QStringLiteral("PRAGMA synchronous = FULL"));
}

DurableCommits::~DurableCommits()
{
    if (engine() != Engine::SQLite)
        return;
    try {
        run(QStringLiteral("PRAGMA synchronous = NORMAL"));
    } catch (const AppError &) {
        // The stricter setting stays: slower, never less safe.
    }
}

void insistOnSyncedCommit()
{
    if (engine() == Engine::PostgreSQL)
        run(QStringLiteral("SET LOCAL synchronous_commit = on"));
}

void closeNamed(const QString &name)
{
    closeConnection(name);
}

QSqlDatabase openNamed(const QString &name, const QString &pathOrAddress)
{
    const bool server = isServerAddress(pathOrAddress);
    if (!server && !QFileInfo::exists(pathOrAddress))
        throw AppError(ErrorFileMissing, QStringLiteral("Could not find the database file '%1'.").arg(pathOrAddress));
    QSqlDatabase db = server ? openServer(name, connectionStringFor(pathOrAddress)) : openFile(name, pathOrAddress);
    try {
        requireOurs(db, pathOrAddress);
        migrate(db);
    } catch (...) {
        closeConnection(name);
        throw;
    }
    return db;
}

QSqlDatabase connection()
{
    State &current = state();
    if (current.connectionString != connectionString())
        close();
    if (QSqlDatabase::contains(ConnectionName)) {
        // A file deleted or moved away under the open connection would take
        // every later write with it, never to be seen again.
        const bool server = engine() == Engine::PostgreSQL;
        QString openPath = server ? QString() : pathOf(current.connectionString);
        {
            QSqlDatabase db = QSqlDatabase::database(ConnectionName, false);
            if (db.isOpen() && (server || QFileInfo::exists(openPath)))
                return db;
            if (!db.isOpen())
                openPath.clear();
        }
        if (!openPath.isEmpty()) {
            if (current.transactionDepth == 0)
                close();
            throw AppError(ErrorFileMissing, QStringLiteral("Could not find the database file '%1'.").arg(openPath));
        }
    }
    if (engine() == Engine::PostgreSQL) {
        QSqlDatabase db = openServer(ConnectionName, connectionString());
        try {
            requireOurs(db, describe(connectionString()));
            migrate(db);
        } catch (...) {
            closeConnection(ConnectionName);
            throw;
        }
        current.connectionString = connectionString();
        return db;
    }
    const QString path = pathOf(connectionString());
    if (path.isEmpty() || !QFileInfo::exists(path))
        throw AppError(ErrorFileMissing, QStringLiteral("Could not find the database file '%1'.").arg(path));
    QSqlDatabase db = openFile(ConnectionName, path);
    try {
        requireOurs(db, path);
        migrate(db);
        // In WAL mode with NORMAL sync every committed statement is in the
        // file's log before the next one runs, so a crash of the program never
        // loses a row marked sent; only a power cut can lose the last few. A
        // sync per outbox row would cost more than the gateway's answer.
        // Savepoints and sorts keep their scratch data in memory, not in
        // temporary files written for every row of a long import. A cache
        // of 32 MB holds the pages a long import or queueing changes until
        // its commit, instead of writing them to the log part way.
        execScript(db,
                   QStringLiteral("PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL; "
                                  "PRAGMA temp_store = MEMORY; PRAGMA cache_size = -32768;"),
                   QStringLiteral("Setting up the connection"));
    } catch (...) {
        db = QSqlDatabase();
        closeConnection(ConnectionName);
        throw;
    }
    current.connectionString = connectionString();
    return db;
}

void setBusyTimeout(int milliseconds)
{
    state().busyTimeout = milliseconds;
}

void close()
{
    State &current = state();
    current.transactionDepth = 0;
    current.connectionString.clear();
    closeConnection(ConnectionName);
}

namespace {
// Begins a transaction unless one is open already; true when this call began it.
bool enterTransaction()
{
    QSqlDatabase db = connection();
    if (state().transactionDepth++ > 0)
        return false;
    if (!db.transaction()) {
        state().transactionDepth = 0;
        throw errorFrom(db.lastError(), QStringLiteral("BEGIN"));
    }
    return true;
}

// Ends this caller's part of the transaction; the one that began it commits
// or rolls back. A failed commit is rolled back and thrown.
void leaveTransaction(bool own, bool keep)
{
    if (state().transactionDepth > 0)
        --state().transactionDepth;
    if (!own || !QSqlDatabase::contains(ConnectionName))
        return;
    QSqlDatabase db = QSqlDatabase::database(ConnectionName, false);
    if (keep) {
        if (!db.commit()) {
            const AppError error = errorFrom(db.lastError(), QStringLiteral("COMMIT"));
            db.rollback();
            throw error;
        }
    } else if (!db.rollback()) {
        qWarning("Rolling back a transaction failed: %s", qPrintable(db.lastError().text()));
    }
}
} // namespace

Batch::Batch() : m_own(enterTransaction()) {}

Batch::~Batch()
{
    if (!m_done)
        leaveTransaction(m_own, false);
}

void Batch::commit()
{
    if (m_done)
        return;
    m_done = true;
    try {
        leaveTransaction(m_own, true);
    } catch (const AppError &error) {
        throw AppError(error.number(), error.description() + QStringLiteral("\nNothing was stored."), error.source());
    }
}

AppError Batch::keepBefore(const AppError &error, const QString &storedNote)
{
    try {
        commit();
    } catch (const AppError &commitError) {
        return commitError;
    }
    if (!m_own)
        return error;
    return AppError(error.number(), error.description() + QStringLiteral("\n") + storedNote, error.source());
}

FileCheck check(const QString &path)
{
    if (isServerAddress(path)) {
        const QString name = QStringLiteral("tellwave-check-") + QUuid::createUuid().toString(QUuid::Id128);
        FileCheck result{FileState::Usable, {}};
        try {
            QSqlDatabase db = openServer(name, connectionStringFor(path));
            requireOurs(db, describe(connectionStringFor(path)));
        } catch (const AppError &error) {
            result = {FileState::Unusable, error.description()};
        }
        closeConnection(name);
        return result;
    }
    QFileInfo info(path);
    if (!info.exists())
        return {FileState::Missing, {}};
    if (info.isDir())
        return {FileState::Unusable, QStringLiteral("It is a folder, not a database file.")};
    if (!info.isReadable())
        return {FileState::Unusable, QStringLiteral("You have no permission to read it.")};
    if (!info.isWritable())
        return {FileState::Unusable, QStringLiteral("You have no permission to write to it.")};
    const QString name = QStringLiteral("tellwave-check-") + QUuid::createUuid().toString(QUuid::Id128);
    FileCheck result{FileState::Usable, {}};
    try {
        QSqlDatabase db = openFile(name, path, true);
        requireOurs(db, path);
        QSqlQuery probe(db);
        if (!probe.exec(QStringLiteral("SELECT count(*) FROM Setup")))
            throw errorFrom(probe.lastError());
    } catch (const AppError &error) {
        result = {FileState::Unusable, error.description()};
    }
    closeConnection(name);
    return result;
}

} // namespace Database
