#include "data/Database.h"

#include "data/Backups.h"
#include "data/OperatorTime.h"

#include "data/PhoneNumbers.h"

#include "data/ProcessSettings.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlRecord>
#include <QUrl>
#include <QUuid>
#include <QVarLengthArray>

#include <sqlite3.h>

#include <algorithm>
#include <optional>
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

namespace {

const QString ConnectionName = QStringLiteral("tellwave");
const QString DatabaseKey = QStringLiteral("Database=");

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

// SQLite's own upper() and lower() know only ASCII; names are compared
// without regard to case in every alphabet.
void caseFunction(sqlite3_context *context, int, sqlite3_value **arguments, bool upper)
{
    if (sqlite3_value_type(arguments[0]) == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
    }
    const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(arguments[0]));
    const int size = sqlite3_value_bytes(arguments[0]);
    // A search runs this on four columns of every contact: ASCII, nearly
    // every value, needs no trip through QString.
    if (std::all_of(text, text + size, [](char c) { return uchar(c) < 0x80; })) {
        QVarLengthArray<char, 256> result(size);
        for (int i = 0; i < size; ++i) {
            const char c = text[i];
            result[i] = upper ? (c >= 'a' && c <= 'z' ? char(c - 32) : c) : (c >= 'A' && c <= 'Z' ? char(c + 32) : c);
        }
        sqlite3_result_text(context, result.constData(), size, SQLITE_TRANSIENT);
        return;
    }
    const QString value = QString::fromUtf8(text, size);
    const QByteArray result = (upper ? value.toUpper() : value.toLower()).toUtf8();
    sqlite3_result_text(context, result.constData(), int(result.size()), SQLITE_TRANSIENT);
}

void unicodeUpper(sqlite3_context *c, int n, sqlite3_value **v)
{
    caseFunction(c, n, v, true);
}
void unicodeLower(sqlite3_context *c, int n, sqlite3_value **v)
{
    caseFunction(c, n, v, false);
}

// Names compare in one fixed locale, so an ordering is the same on every
// machine whatever its language settings.
const QCollator &nameCollator()
{
    // One per thread: a backup checks its copy on a thread of its own while the
    // window's thread sorts names, and a collator is not safe to share.
    static thread_local const QCollator collator = [] {
        QCollator c(QLocale(QLocale::English, QLocale::SouthAfrica));
        c.setCaseSensitivity(Qt::CaseInsensitive);
        return c;
    }();
    return collator;
}

// Where two names differ first in letters or digits of ASCII alone (nearly
// every pair), the collator's answer is known without asking it: blanks and
// punctuation before digits, digits before letters, letters in alphabetical
// order without regard to case. Anything else is the collator's to decide.
template <typename Unit>
std::optional<int> compareAscii(const Unit *a, qsizetype lengthA, const Unit *b, qsizetype lengthB)
{
    const auto ascii = [](Unit unit) { return uint(unit) < 0x80; };
    const auto alphanumeric = [](uint c) { return (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z'); };
    const auto rank = [](uint c) { return c <= '9' ? int(c - '0') : 10 + int((c | 0x20) - 'a'); };
    const auto printable = [](uint c) { return c >= 0x20 && c < 0x7f; };
    const qsizetype common = std::min(lengthA, lengthB);
    for (qsizetype i = 0; i < common; ++i) {
        const uint x = uint(a[i]);
        const uint y = uint(b[i]);
        if (!ascii(a[i]) || !ascii(b[i]))
            return std::nullopt;
        if (x == y || (alphanumeric(x) && alphanumeric(y) && rank(x) == rank(y)))
            continue;
        if (alphanumeric(x) && alphanumeric(y))
            return rank(x) - rank(y);
        return std::nullopt;
    }
    if (lengthA == lengthB)
        return 0;
    const bool aLonger = lengthA > lengthB;
    const uint next = uint(aLonger ? a[common] : b[common]);
    if (!printable(next))
        return std::nullopt;
    return aLonger ? 1 : -1;
}

int collateNames(void *, int lengthA, const void *a, int lengthB, const void *b)
{
    const auto *textA = static_cast<const unsigned char *>(a);
    const auto *textB = static_cast<const unsigned char *>(b);
    if (const std::optional<int> quick = compareAscii(textA, lengthA, textB, lengthB))
        return *quick;
    return nameCollator().compare(QString::fromUtf8(reinterpret_cast<const char *>(textA), lengthA),
                                  QString::fromUtf8(reinterpret_cast<const char *>(textB), lengthB));
}

void registerFunctions(const QSqlDatabase &db)
{
    if (sqlite3 *handle = handleOf(db))
        addFunctions(handle);
}

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

// Opens (or re-uses) a named connection to a file that must already exist.
QSqlDatabase openFile(const QString &name, const QString &path, bool readOnly = false)
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

} // namespace

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

namespace {

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
    db.setPassword(modMain::DatabasePassword);
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

// SQLite orders NULL before every value, PostgreSQL after. A contact without
// a name is listed first on both: each name term of an ORDER BY (one in the
// name collation) says where its NULLs go. Other terms are left alone, so a
// descending key still reads its index backwards.
QString nullsAsSQLiteOrders(const QString &sql)
{
    static const QRegularExpression orderBy(QStringLiteral("\\bORDER\\s+BY\\b"),
                                            QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression nameTerm(QStringLiteral("\\bCOLLATE\\s+%1\\b(\\s+(ASC|DESC)\\b)?+(?!\\s+NULLS\\b)")
                                                 .arg(QLatin1StringView(NameCollation)),
                                             QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression clauseEnd(QStringLiteral("^(LIMIT|OFFSET|FOR|FETCH)\\b"),
                                              QRegularExpression::CaseInsensitiveOption);
    QString result = sql;
    qsizetype from = 0;
    for (QRegularExpressionMatch order = orderBy.match(result, from); order.hasMatch();
         order = orderBy.match(result, from)) {
        // The clause runs to the bracket that closes its subquery, a LIMIT, or the end.
        qsizetype end = order.capturedEnd();
        int depth = 0;
        bool quoted = false;
        for (; end < result.size(); ++end) {
            const QChar c = result.at(end);
            if (c == QLatin1Char('\''))
                quoted = !quoted;
            if (quoted)
                continue;
            if (c == QLatin1Char('('))
                ++depth;
            else if (c == QLatin1Char(')') && depth-- == 0)
                break;
            else if (depth == 0 && (end == 0 || !result.at(end - 1).isLetterOrNumber())
                     && clauseEnd.match(QStringView(result).mid(end)).hasMatch())
                break;
        }
        QString clause = result.mid(order.capturedEnd(), end - order.capturedEnd());
        QString rewritten;
        qsizetype copied = 0;
        for (auto it = nameTerm.globalMatch(clause); it.hasNext();) {
            const QRegularExpressionMatch term = it.next();
            const bool descending = term.captured(2).compare(QLatin1String("DESC"), Qt::CaseInsensitive) == 0;
            rewritten += clause.mid(copied, term.capturedEnd() - copied)
                         + (descending ? QStringLiteral(" NULLS LAST") : QStringLiteral(" NULLS FIRST"));
            copied = term.capturedEnd();
        }
        rewritten += clause.mid(copied);
        result.replace(order.capturedEnd(), clause.size(), rewritten);
        from = order.capturedEnd() + rewritten.size();
    }
    return result;
}

bool isServer(const QSqlDatabase &db)
{
    return db.driverName() == QLatin1String("QPSQL");
}

// Splits a script into its statements: at semicolons outside quotes and comments.
QStringList statementsOf(const QString &script)
{
    QStringList statements;
    QString current;
    bool quoted = false;
    bool dollarQuoted = false; // a $$ ... $$ body holds semicolons of its own
    for (qsizetype i = 0; i < script.size(); ++i) {
        const QChar c = script.at(i);
        if (!quoted && c == QLatin1Char('$') && i + 1 < script.size() && script.at(i + 1) == QLatin1Char('$')) {
            dollarQuoted = !dollarQuoted;
            current += QStringLiteral("$$");
            ++i;
            continue;
        }
        if (dollarQuoted) {
            current += c;
            continue;
        }
        if (!quoted && c == QLatin1Char('-') && i + 1 < script.size() && script.at(i + 1) == QLatin1Char('-')) {
            while (i < script.size() && script.at(i) != QLatin1Char('\n'))
                ++i;
            current += QLatin1Char('\n');
            continue;
        }
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (!quoted && c == QLatin1Char(';')) {
            if (!current.trimmed().isEmpty())
                statements << current.trimmed();
            current.clear();
            continue;
        }
        current += c;
    }
    if (!current.trimmed().isEmpty())
        statements << current.trimmed();
    return statements;
}

void execServerScript(QSqlDatabase &db, const QString &script, const QString &what)
{
    QSqlQuery query(db);
    for (const QString &statement : statementsOf(script)) {
        if (!query.exec(statement)) {
            const AppError error = errorFrom(query.lastError());
            throw AppError(error.number(), QStringLiteral("%1: %2").arg(what, error.description()));
        }
    }
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

} // namespace

void addFunctions(sqlite3 *handle)
{
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
    sqlite3_create_function_v2(handle, "upper", 1, flags, nullptr, unicodeUpper, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(handle, "lower", 1, flags, nullptr, unicodeLower, nullptr, nullptr, nullptr);
    sqlite3_create_collation_v2(handle, NameCollation, SQLITE_UTF8, nullptr, collateNames, nullptr);
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

Engine engine()
{
    // Asked for every statement: the string is read again only when it changes.
    thread_local QString readFrom;
    thread_local Engine read = Engine::SQLite;
    if (readFrom.isNull() || readFrom != modMain::ConnectionString) {
        read = engineOf(modMain::ConnectionString);
        readFrom = modMain::ConnectionString;
    }
    return read;
}

QString dialect(const QString &sql)
{
    if (engine() == Engine::SQLite)
        return sql;
    static QHash<QString, QString> translated;
    if (const auto found = translated.constFind(sql); found != translated.cend())
        return *found;
    // Setup's one row has no key of its own: its place in the table stands in.
    static const QRegularExpression rowid(QStringLiteral("\\browid\\b"), QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression instr(QStringLiteral("\\binstr\\s*\\("), QRegularExpression::CaseInsensitiveOption);
    QString result = sql;
    result.replace(rowid, QStringLiteral("ctid"));
    result.replace(instr, QStringLiteral("strpos("));
    // INSERT OR IGNORE / OR REPLACE: PostgreSQL's ON CONFLICT, before any
    // RETURNING. A replace takes the first column listed as the key.
    static const QRegularExpression insertOr(
        QStringLiteral("^\\s*INSERT\\s+OR\\s+(IGNORE|REPLACE)\\s+INTO\\s+(\\w+)\\s*\\(([^)]*)\\)"),
        QRegularExpression::CaseInsensitiveOption);
    if (const QRegularExpressionMatch match = insertOr.match(result); match.hasMatch()) {
        QString conflict = QStringLiteral(" ON CONFLICT DO NOTHING");
        if (match.captured(1).compare(QLatin1String("REPLACE"), Qt::CaseInsensitive) == 0) {
            QStringList columns = match.captured(3).split(QLatin1Char(','));
            for (QString &column : columns)
                column = column.trimmed();
            QStringList updates;
            for (qsizetype i = 1; i < columns.size(); ++i)
                updates << QStringLiteral("%1 = EXCLUDED.%1").arg(columns.at(i));
            conflict = updates.isEmpty() ? QStringLiteral(" ON CONFLICT DO NOTHING")
                                         : QStringLiteral(" ON CONFLICT (%1) DO UPDATE SET %2")
                                               .arg(columns.first(), updates.join(QStringLiteral(", ")));
        }
        result = QStringLiteral("INSERT INTO %1 (%2)").arg(match.captured(2), match.captured(3))
                 + result.mid(match.capturedEnd());
        static const QRegularExpression returning(QStringLiteral("\\s+RETURNING\\s+"),
                                                  QRegularExpression::CaseInsensitiveOption);
        const QRegularExpressionMatch tail = returning.match(result);
        if (tail.hasMatch())
            result.insert(tail.capturedStart(), conflict);
        else
            result += conflict;
    }
    result = nullsAsSQLiteOrders(result);
    translated.insert(sql, result);
    return result;
}

QString skipLocked()
{
    return engine() == Engine::PostgreSQL ? QStringLiteral(" FOR UPDATE SKIP LOCKED") : QString();
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

QList<TableShape> schemaShape()
{
    return schemaShape(connection());
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

// One statement with its values bound, on a connection of its own (the
// schema's checks and upgrade steps, before the program's connection is up).
static QSqlQuery runOn(const QSqlDatabase &db, const QString &sql, const QVariantList &values = {})
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.prepare(sql))
        throw errorFrom(query.lastError(), sql);
    for (const QVariant &value : values)
        query.addBindValue(value);
    if (!query.exec())
        throw errorFrom(query.lastError(), sql);
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

QSqlDatabase connection()
{
    State &current = state();
    if (current.connectionString != modMain::ConnectionString)
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
        QSqlDatabase db = openServer(ConnectionName, modMain::ConnectionString);
        try {
            requireOurs(db, describe(modMain::ConnectionString));
            migrate(db);
        } catch (...) {
            closeConnection(ConnectionName);
            throw;
        }
        current.connectionString = modMain::ConnectionString;
        return db;
    }
    const QString path = pathOf(modMain::ConnectionString);
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
    current.connectionString = modMain::ConnectionString;
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

QSqlQuery runBare(const QString &sql, const QVariantList &values);

namespace {
// PostgreSQL's driver reads a forward-only result a row at a time from the
// server, and the next statement on the connection (another query, or the
// savepoint after this one) throws the rest away. Results from the server
// are read whole instead.
bool forwardOnly()
{
    return engine() == Engine::SQLite;
}
} // namespace

namespace {
// On PostgreSQL a failed statement spoils the whole transaction around it,
// where SQLite undoes only that statement. Inside a transaction each
// statement runs under a savepoint of its own, so a failure takes back that
// statement alone and the rest of the batch can still be committed, as on
// SQLite.
class StatementSavepoint
{
public:
    explicit StatementSavepoint(const QString &sql)
        : m_active(state().transactionDepth > 0 && engine() == Engine::PostgreSQL && !controlsTransaction(sql))
    {
        if (m_active)
            exec(QStringLiteral("SAVEPOINT tellwave_statement"));
    }
    void done()
    {
        if (std::exchange(m_active, false))
            exec(QStringLiteral("RELEASE SAVEPOINT tellwave_statement"));
    }
    ~StatementSavepoint()
    {
        if (m_active) {
            QSqlQuery undo(QSqlDatabase::database(ConnectionName, false));
            undo.exec(QStringLiteral("ROLLBACK TO SAVEPOINT tellwave_statement"));
            undo.exec(QStringLiteral("RELEASE SAVEPOINT tellwave_statement"));
        }
    }
    StatementSavepoint(const StatementSavepoint &) = delete;
    StatementSavepoint &operator=(const StatementSavepoint &) = delete;

private:
    // A statement that sets or ends savepoints of its own must not be nested
    // inside ours.
    static bool controlsTransaction(const QString &sql)
    {
        const QString start = sql.trimmed().section(QLatin1Char(' '), 0, 0);
        return start.compare(QLatin1String("SAVEPOINT"), Qt::CaseInsensitive) == 0
               || start.compare(QLatin1String("RELEASE"), Qt::CaseInsensitive) == 0
               || start.compare(QLatin1String("ROLLBACK"), Qt::CaseInsensitive) == 0;
    }
    static void exec(const QString &sql)
    {
        QSqlQuery query(QSqlDatabase::database(ConnectionName, false));
        if (!query.exec(sql))
            throw errorFrom(query.lastError(), sql);
    }
    bool m_active;
};
} // namespace

QString placeholders(qsizetype n)
{
    return QStringList(n, QStringLiteral("?")).join(QStringLiteral(", "));
}

QString placeholderRows(qsizetype columns, qsizetype rows)
{
    return QStringList(rows, QLatin1Char('(') + placeholders(columns) + QLatin1Char(')')).join(QStringLiteral(", "));
}

QSqlQuery run(const QString &sql, const QVariantList &values)
{
    connection();
    StatementSavepoint savepoint(sql);
    QSqlQuery query = runBare(sql, values);
    savepoint.done();
    return query;
}

QSqlQuery runBare(const QString &sql, const QVariantList &values)
{
    QSqlQuery query(connection());
    query.setForwardOnly(forwardOnly());
    // PostgreSQL prepares only queries and writes of rows; a statement with
    // no values (SAVEPOINT, CREATE ...) runs as it is.
    if (values.isEmpty() && engine() == Engine::PostgreSQL) {
        if (!query.exec(dialect(sql)))
            throw errorFrom(query.lastError(), sql);
        return query;
    }
    if (!query.prepare(dialect(sql)))
        throw errorFrom(query.lastError(), sql);
    for (const QVariant &value : values)
        query.addBindValue(value);
    if (!query.exec())
        throw errorFrom(query.lastError(), sql);
    return query;
}

void fill(QSqlQueryModel &model, const QString &sql, const QVariantList &values)
{
    QSqlQuery query(connection());
    if (!query.prepare(dialect(sql)))
        throw errorFrom(query.lastError(), sql);
    for (const QVariant &value : values)
        query.addBindValue(value);
    if (!query.exec())
        throw errorFrom(query.lastError(), sql);
    model.setQuery(std::move(query));
    if (model.lastError().isValid())
        throw errorFrom(model.lastError(), sql);
}

QVariant value(const QString &sql, const QVariantList &values)
{
    QSqlQuery query = run(sql, values);
    return query.next() ? query.value(0) : QVariant();
}

Table table(const QString &sql, const QVariantList &values)
{
    QSqlQuery query = run(sql, values);
    Table result;
    const QSqlRecord record = query.record();
    for (int i = 0; i < record.count(); ++i)
        result.columns << record.fieldName(i);
    while (query.next()) {
        QVariantList row;
        row.reserve(record.count());
        for (int i = 0; i < record.count(); ++i)
            row << query.value(i);
        result.rows.append(row);
    }
    return result;
}

QSqlQuery &Statement::run(const QVariantList &values)
{
    connection();
    StatementSavepoint savepoint(m_sql);
    QSqlQuery &query = runBare(values);
    savepoint.done();
    return query;
}

QSqlQuery &Statement::runBare(const QVariantList &values)
{
    if (values.isEmpty() && !m_returning && engine() == Engine::PostgreSQL) {
        m_query = QSqlQuery(connection());
        m_query.setForwardOnly(forwardOnly());
        if (!m_query.exec(dialect(m_sql)))
            throw errorFrom(m_query.lastError(), m_sql);
        return m_query;
    }
    if (!m_prepared) {
        m_query = QSqlQuery(connection());
        m_query.setForwardOnly(forwardOnly());
        if (!m_query.prepare(dialect(m_sql)))
            throw errorFrom(m_query.lastError(), m_sql);
        m_prepared = true;
    }
    for (qsizetype i = 0; i < values.size(); ++i)
        m_query.bindValue(int(i), values.at(i));
    if (!m_query.exec())
        throw errorFrom(m_query.lastError(), m_sql);
    return m_query;
}

Value::Value(const QVariant &value)
{
    if (value.isNull())
        return;
    switch (value.typeId()) {
    case QMetaType::QString:
        if (const QString &text = *static_cast<const QString *>(value.constData()); !text.isNull()) {
            m_kind = Kind::Text;
            m_text = text;
        }
        return;
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        m_kind = Kind::Integer;
        m_integer = value.toLongLong();
        return;
    case QMetaType::Double:
    case QMetaType::Float:
        m_kind = Kind::Real;
        m_real = value.toDouble();
        return;
    default:
        m_kind = Kind::Text;
        m_owned = value.toString();
        if (m_owned.isNull())
            m_owned = QStringLiteral("");
        return;
    }
}

QVariant Value::toVariant() const
{
    switch (m_kind) {
    case Kind::Null:
        return {};
    case Kind::Integer:
        return QVariant(qlonglong(m_integer));
    case Kind::Real:
        return QVariant(m_real);
    case Kind::Text:
        return QVariant(text().toString());
    }
    return {};
}

namespace {
AppError engineError(sqlite3 *handle, int code, const QString &sql)
{
    const QSqlError error(QString(), QString::fromUtf16(static_cast<const char16_t *>(sqlite3_errmsg16(handle))),
                          QSqlError::StatementError, QString::number(code));
    return errorFrom(error, sql);
}
} // namespace

RowStatement::RowStatement(QString sql) : m_sql(std::move(sql)), m_server(m_sql) {}

RowStatement::~RowStatement()
{
    release();
}

void RowStatement::release()
{
    if (m_statement) {
        sqlite3_finalize(m_statement);
        m_statement = nullptr;
    }
    if (std::exchange(m_checked, false)) {
        state().rowStatements.removeOne(this);
        m_server = Statement(m_sql);
    }
    m_file = false;
}

bool RowStatement::onFile()
{
    if (m_checked)
        return m_file;
    const QSqlDatabase db = connection();
    sqlite3 *handle = engine() == Engine::SQLite ? handleOf(db) : nullptr;
    if (handle) {
        const QByteArray sql = m_sql.toUtf8();
        const int code = sqlite3_prepare_v2(handle, sql.constData(), int(sql.size()), &m_statement, nullptr);
        if (code != SQLITE_OK) {
            m_statement = nullptr;
            throw engineError(handle, code, m_sql);
        }
    }
    m_checked = true;
    m_file = handle != nullptr;
    state().rowStatements.append(this);
    return m_file;
}

QVariantList RowStatement::variants(const Value *values, qsizetype count)
{
    QVariantList list;
    list.reserve(count);
    for (qsizetype i = 0; i < count; ++i)
        list.append(values[i].toVariant());
    return list;
}

bool RowStatement::step(const Value *values, qsizetype count)
{
    sqlite3 *handle = sqlite3_db_handle(m_statement);
    if (count != sqlite3_bind_parameter_count(m_statement))
        throw AppError(ErrorGeneral, QStringLiteral("Parameter count mismatch"), QStringLiteral("Database"));
    int at = 1;
    for (qsizetype i = 0; i < count; ++i) {
        const Value &value = values[i];
        int code = SQLITE_OK;
        switch (value.kind()) {
        case Value::Kind::Null:
            code = sqlite3_bind_null(m_statement, at);
            break;
        case Value::Kind::Integer:
            code = sqlite3_bind_int64(m_statement, at, value.integer());
            break;
        case Value::Kind::Real:
            code = sqlite3_bind_double(m_statement, at, value.real());
            break;
        case Value::Kind::Text: {
            const QStringView text = value.text();
            // The text lives until the run is over: the engine need not copy it.
            code = sqlite3_bind_text16(m_statement, at, text.isEmpty() ? u"" : text.utf16(),
                                       int(text.size() * qsizetype(sizeof(char16_t))), SQLITE_STATIC);
            break;
        }
        }
        if (code != SQLITE_OK)
            throw engineError(handle, code, m_sql);
        ++at;
    }
    const int code = sqlite3_step(m_statement);
    if (code == SQLITE_ROW)
        return true;
    if (code == SQLITE_DONE)
        return false;
    const AppError error = engineError(handle, code, m_sql);
    sqlite3_reset(m_statement);
    throw error;
}

int RowStatement::run(const Value *values, qsizetype count)
{
    if (!onFile())
        return m_server.run(variants(values, count)).numRowsAffected();
    step(values, count);
    const int changed = sqlite3_changes(sqlite3_db_handle(m_statement));
    sqlite3_reset(m_statement);
    return changed;
}

qint64 RowStatement::insert(std::initializer_list<Value> values)
{
    if (!onFile())
        return m_server.insert(variants(values.begin(), qsizetype(values.size())));
    step(values.begin(), qsizetype(values.size()));
    sqlite3 *handle = sqlite3_db_handle(m_statement);
    const qint64 key = sqlite3_changes(handle) > 0 ? sqlite3_last_insert_rowid(handle) : 0;
    sqlite3_reset(m_statement);
    return key;
}

bool RowStatement::finds(std::initializer_list<Value> values)
{
    if (!onFile()) {
        QSqlQuery &query = m_server.run(variants(values.begin(), qsizetype(values.size())));
        const bool found = query.next();
        query.finish();
        return found;
    }
    const bool found = step(values.begin(), qsizetype(values.size()));
    sqlite3_reset(m_statement);
    return found;
}

// PostgreSQL gives a new row's key back through RETURNING; every keyed table
// has its key first.
qint64 insert(const QString &sql, const QVariantList &values)
{
    if (engine() == Engine::SQLite)
        return run(sql, values).lastInsertId().toLongLong();
    QSqlQuery query = run(sql + QStringLiteral(" RETURNING *"), values);
    return query.next() ? query.value(0).toLongLong() : 0;
}

qint64 Statement::insert(const QVariantList &values)
{
    if (!m_prepared && engine() == Engine::PostgreSQL && !m_returning) {
        m_sql += QStringLiteral(" RETURNING *");
        m_returning = true;
    }
    QSqlQuery &query = run(values);
    if (!m_returning)
        return query.lastInsertId().toLongLong();
    return query.next() ? query.value(0).toLongLong() : 0;
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
            execScript(db,
                       QStringLiteral("PRAGMA journal_mode = DELETE; BEGIN;")
                           + resourceText(QStringLiteral(":/data/schema.sql"))
                           + resourceText(QStringLiteral(":/data/postalcodes.sql"))
                           + QStringLiteral("; PRAGMA user_version = %1; COMMIT;").arg(SchemaVersion),
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
    if (!isServer(db)) {
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
    // Version 5: the holiday table's rows from before it became the office's
    // changes to the counted holidays.
    QString holidaysUpgrade;
    if (version < 5 && hasTable(db, QStringLiteral("PublicHolidays")))
        holidaysUpgrade = QStringLiteral(";") + resourceText(QStringLiteral(":/data/upgrade-5-holidays.sql"));
    if (isServer(db)) {
        // The script is written to run again over any older state: each
        // statement adds what is missing.
        QString script =
            QStringLiteral("BEGIN;") + resourceText(QStringLiteral(":/data/schema-postgres.sql")) + holidaysUpgrade;
        // A new database gets the postal codes with its tables.
        bool noPostalCodes = !hasTable(db, QStringLiteral("PostalCodes"));
        if (!noPostalCodes) {
            QSqlQuery postal(db);
            noPostalCodes = postal.exec(QStringLiteral("SELECT count(*) FROM PostalCodes")) && postal.next()
                            && postal.value(0).toInt() == 0;
        }
        if (noPostalCodes)
            script += resourceText(QStringLiteral(":/data/postalcodes.sql"));
        script +=
            QStringLiteral(";DELETE FROM TellwaveSchema; INSERT INTO TellwaveSchema (Version) VALUES (%1); COMMIT;")
                .arg(SchemaVersion);
        try {
            execServerScript(db, script, QStringLiteral("Updating the database"));
        } catch (...) {
            QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
            throw;
        }
        return;
    }
    // A file from before the version mark has the tables; the schema script
    // adds whatever else is missing, the postal codes when they are empty.
    QString script = QStringLiteral("BEGIN;");
    // Version 2: the outbox's in-flight mark; every older row reads as not in flight.
    if (!hasColumn(db, QStringLiteral("SMSSend"), QStringLiteral("InFlight")))
        script += QStringLiteral("ALTER TABLE SMSSend ADD COLUMN InFlight INTEGER NOT NULL DEFAULT 0;");
    // Version 3: marketing flag and posting time of outbox rows, what a reply
    // did to the opt-out list, the marketing sender's name; a table the file
    // lacks altogether, and the new tables, come whole from the schema script.
    for (const auto &[table, column, type] :
         {std::tuple{"SMSSend", "Marketing", "INTEGER NOT NULL DEFAULT 0"}, std::tuple{"SMSSend", "PostedAt", "TEXT"},
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
            script += QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 %3;")
                          .arg(name, QLatin1String(column), QLatin1String(type));
    }
    script += resourceText(QStringLiteral(":/data/schema.sql")) + holidaysUpgrade;
    QSqlQuery postal(db);
    if (postal.exec(QStringLiteral("SELECT count(*) FROM PostalCodes")) && postal.next()
        && postal.value(0).toInt() == 0)
        script += resourceText(QStringLiteral(":/data/postalcodes.sql"));
    postal.finish();
    script += QStringLiteral("; PRAGMA user_version = %1; COMMIT;").arg(SchemaVersion);
    execScript(db, script, QStringLiteral("Updating the database"));
}

int compareNames(QStringView a, QStringView b)
{
    const auto *unitsA = reinterpret_cast<const char16_t *>(a.data());
    const auto *unitsB = reinterpret_cast<const char16_t *>(b.data());
    if (const std::optional<int> quick = compareAscii(unitsA, a.size(), unitsB, b.size()))
        return *quick;
    return nameCollator().compare(a, b);
}

AppError errorFrom(const QSqlError &error, const QString &context)
{
    bool numeric = false;
    qint64 number = error.nativeErrorCode().toLongLong(&numeric);
    if (!numeric || number == 0)
        number = ErrorGeneral;
    QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    if (text.isEmpty())
        text = QStringLiteral("Unknown database error");
    // PostgreSQL's texts begin with their severity and may end in a line break.
    static const QRegularExpression severity(QStringLiteral("^(ERROR|FATAL|PANIC):\\s+"));
    text = text.remove(severity).trimmed();
    // ... and are followed by where in the server it was raised, and the code.
    static const QRegularExpression serverTail(QStringLiteral("\\n(CONTEXT:.*|\\([0-9A-Z]{5}\\))$"),
                                               QRegularExpression::DotMatchesEverythingOption);
    text = text.remove(serverTail).trimmed();
    Q_UNUSED(context);
    // PostgreSQL's code is its five-character SQLSTATE ("23505", "P0001");
    // SQLite's result codes stay below 10000.
    static const QRegularExpression sqlState(QStringLiteral("^[0-9A-Z]{5}$"));
    const QString state = sqlState.match(error.nativeErrorCode()).hasMatch() ? error.nativeErrorCode() : QString();
    return AppError(number, text, QStringLiteral("Database"), state);
}

bool refusesTheRow(const AppError &error)
{
    if (error.source() != QStringLiteral("Database"))
        return false;
    if (!error.state().isEmpty()) {
        // Integrity constraints; a value too long, out of range or not of
        // the column's kind; a trigger's own exception.
        static const QStringList valueStates{QStringLiteral("22001"), QStringLiteral("22003"), QStringLiteral("22007"),
                                             QStringLiteral("22008"), QStringLiteral("22P02"), QStringLiteral("P0001")};
        return error.state().startsWith(QLatin1String("23")) || valueStates.contains(error.state());
    }
    // SQLite's result codes: SQLITE_TOOBIG, SQLITE_CONSTRAINT (a trigger's
    // RAISE included), SQLITE_MISMATCH. Extended codes carry the primary code
    // in their low byte.
    const qint64 primary = error.number() & 0xff;
    return primary == 18 || primary == 19 || primary == 20;
}

} // namespace Database
