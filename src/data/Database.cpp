#include "data/Database.h"

#include "data/ProcessSettings.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QUuid>

#include <sqlite3.h>

#include <optional>

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
    const QString value = QString::fromUtf8(text, sqlite3_value_bytes(arguments[0]));
    const QByteArray result = (upper ? value.toUpper() : value.toLower()).toUtf8();
    sqlite3_result_text(context, result.constData(), int(result.size()), SQLITE_TRANSIENT);
}

void unicodeUpper(sqlite3_context *c, int n, sqlite3_value **v) { caseFunction(c, n, v, true); }
void unicodeLower(sqlite3_context *c, int n, sqlite3_value **v) { caseFunction(c, n, v, false); }

// Names compare in one fixed locale, so an ordering is the same on every
// machine whatever its language settings.
const QCollator &nameCollator()
{
    static const QCollator collator = [] {
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
    if (sqlite3 *handle = handleOf(db)) {
        const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
        sqlite3_create_function_v2(handle, "upper", 1, flags, nullptr, unicodeUpper, nullptr, nullptr, nullptr);
        sqlite3_create_function_v2(handle, "lower", 1, flags, nullptr, unicodeLower, nullptr, nullptr, nullptr);
        sqlite3_create_collation_v2(handle, NameCollation, SQLITE_UTF8, nullptr, collateNames, nullptr);
    }
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

int userVersion(QSqlDatabase &db)
{
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next())
        throw errorFrom(query.lastError());
    return query.value(0).toInt();
}

bool hasTable(QSqlDatabase &db, const QString &table)
{
    QSqlQuery query(db);
    query.prepare(QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?"));
    query.addBindValue(table);
    if (!query.exec())
        throw errorFrom(query.lastError());
    return query.next();
}

bool hasColumn(QSqlDatabase &db, const QString &table, const QString &column)
{
    QSqlQuery query(db);
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
        throw AppError(ErrorNotOurs, QStringLiteral("The database %1 was made by a newer version of the program.").arg(path));
    if (version == 0 && !(hasTable(db, QStringLiteral("SMSSend")) && hasTable(db, QStringLiteral("Setup"))))
        throw AppError(ErrorNotOurs, QStringLiteral("The file %1 is not a Tellwave database.").arg(path));
}

void closeNamed(const QString &name)
{
    if (!QSqlDatabase::contains(name))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

} // namespace

QString connectionStringFor(const QString &path)
{
    return QStringLiteral("Driver=QSQLITE;") + DatabaseKey + path;
}

QString pathOf(const QString &connectionString)
{
    const qsizetype at = connectionString.indexOf(DatabaseKey, 0, Qt::CaseInsensitive);
    return at < 0 ? QString() : connectionString.mid(at + DatabaseKey.size());
}

QSqlDatabase connection()
{
    State &current = state();
    if (current.connectionString != modMain::ConnectionString)
        close();
    if (QSqlDatabase::contains(ConnectionName)) {
        // A file deleted or moved away under the open connection would take
        // every later write with it, never to be seen again.
        QString openPath = pathOf(current.connectionString);
        {
            QSqlDatabase db = QSqlDatabase::database(ConnectionName, false);
            if (db.isOpen() && QFileInfo::exists(openPath))
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
        // temporary files written for every row of a long import.
        execScript(db, QStringLiteral("PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL; "
                                      "PRAGMA temp_store = MEMORY;"),
                   QStringLiteral("Setting up the connection"));
    } catch (...) {
        db = QSqlDatabase();
        closeNamed(ConnectionName);
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
    closeNamed(ConnectionName);
}

QSqlQuery run(const QString &sql, const QVariantList &values)
{
    QSqlQuery query(connection());
    query.setForwardOnly(true);
    if (!query.prepare(sql))
        throw errorFrom(query.lastError(), sql);
    for (const QVariant &value : values)
        query.addBindValue(value);
    if (!query.exec())
        throw errorFrom(query.lastError(), sql);
    return query;
}

QVariant value(const QString &sql, const QVariantList &values)
{
    QSqlQuery query = run(sql, values);
    return query.next() ? query.value(0) : QVariant();
}

QSqlQuery &Statement::run(const QVariantList &values)
{
    if (!m_prepared) {
        m_query = QSqlQuery(connection());
        m_query.setForwardOnly(true);
        if (!m_query.prepare(m_sql))
            throw errorFrom(m_query.lastError(), m_sql);
        m_prepared = true;
    }
    for (qsizetype i = 0; i < values.size(); ++i)
        m_query.bindValue(int(i), values.at(i));
    if (!m_query.exec())
        throw errorFrom(m_query.lastError(), m_sql);
    return m_query;
}

qint64 insert(const QString &sql, const QVariantList &values)
{
    return run(sql, values).lastInsertId().toLongLong();
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

Transaction::Transaction() : m_own(enterTransaction()) {}

Transaction::~Transaction()
{
    if (!m_done)
        leaveTransaction(m_own, false);
}

void Transaction::commit()
{
    if (m_done)
        return;
    m_done = true;
    leaveTransaction(m_own, true);
}

FileCheck check(const QString &path)
{
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
    closeNamed(name);
    return result;
}

void create(const QString &path)
{
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
            if (!empty.open(QIODevice::WriteOnly) || !empty.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
                throw AppError(ErrorGeneral, QStringLiteral("The new database could not be made at %1 (%2).")
                                                 .arg(building, empty.errorString()));
            empty.close();
            QSqlDatabase db = openFile(name, building);
            execScript(db, QStringLiteral("PRAGMA journal_mode = DELETE; BEGIN;")
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
        closeNamed(name);
        if (!QFile::rename(building, path))
            throw AppError(ErrorGeneral, QStringLiteral("The new database could not be put at %1.").arg(path));
    } catch (...) {
        closeNamed(name);
        QFile::remove(building);
        throw;
    }
}

void migrate(QSqlDatabase &db)
{
    const int version = userVersion(db);
    if (version >= SchemaVersion)
        return;
    // A file from before the version mark has the tables; the schema script
    // adds whatever else is missing, the postal codes when they are empty.
    QString script = QStringLiteral("BEGIN;");
    // Version 2: the outbox's in-flight mark; every older row reads as not in flight.
    if (!hasColumn(db, QStringLiteral("SMSSend"), QStringLiteral("InFlight")))
        script += QStringLiteral("ALTER TABLE SMSSend ADD COLUMN InFlight INTEGER NOT NULL DEFAULT 0;");
    script += resourceText(QStringLiteral(":/data/schema.sql"));
    QSqlQuery postal(db);
    if (postal.exec(QStringLiteral("SELECT count(*) FROM PostalCodes")) && postal.next() && postal.value(0).toInt() == 0)
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
    Q_UNUSED(context);
    return AppError(number, text, QStringLiteral("Database"));
}

} // namespace Database
