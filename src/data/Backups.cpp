#include "data/Backups.h"

#include "data/AppError.h"
#include "data/Database.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QThread>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>

namespace Backups {

namespace {

constexpr qint64 ErrorBackup = 3050;
const QString StampFormat = QStringLiteral("yyyy-MM-dd-HHmmss");

QString engineText(sqlite3 *handle, int code)
{
    return handle ? QString::fromUtf8(sqlite3_errmsg(handle)) : QString::fromUtf8(sqlite3_errstr(code));
}

// A connection of the engine's own, for the backup and its check: these run
// on a thread of their own and on files the program has no Qt connection to.
class Connection
{
public:
    Connection(const QString &path, bool readOnly)
    {
        const int flags = readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
        const int code = sqlite3_open_v2(QFile::encodeName(path).constData(), &m_handle, flags, nullptr);
        if (code != SQLITE_OK) {
            const QString reason = engineText(m_handle, code);
            sqlite3_close_v2(m_handle);
            throw AppError(code, QStringLiteral("%1 cannot be opened: %2").arg(path, reason));
        }
        sqlite3_busy_timeout(m_handle, 5000);
        Database::addFunctions(m_handle);
    }
    ~Connection() { sqlite3_close_v2(m_handle); }
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;
    sqlite3 *handle() const { return m_handle; }

    // The first column of every row a statement gives; throws AppError.
    QStringList rows(const char *sql) const
    {
        sqlite3_stmt *statement = nullptr;
        int code = sqlite3_prepare_v2(m_handle, sql, -1, &statement, nullptr);
        QStringList found;
        while (code == SQLITE_OK || code == SQLITE_ROW) {
            code = sqlite3_step(statement);
            if (code == SQLITE_ROW)
                found << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(statement, 0)));
        }
        const QString reason = engineText(m_handle, code);
        sqlite3_finalize(statement);
        if (code != SQLITE_DONE)
            throw AppError(code, reason);
        return found;
    }

private:
    sqlite3 *m_handle = nullptr;
};

// Every page of `source` into `destination` in one step, so the copy is one
// committed state of the source. A writer in the middle of its commit holds
// the file for a moment: the step is tried again.
void backupPages(sqlite3 *source, sqlite3 *destination)
{
    sqlite3_backup *backup = sqlite3_backup_init(destination, "main", source, "main");
    if (!backup)
        throw AppError(sqlite3_errcode(destination), engineText(destination, SQLITE_ERROR));
    int code = SQLITE_OK;
    for (int attempt = 0; attempt < 100; ++attempt) {
        code = sqlite3_backup_step(backup, -1);
        if (code != SQLITE_BUSY && code != SQLITE_LOCKED)
            break;
        QThread::msleep(50);
    }
    const int finished = sqlite3_backup_finish(backup);
    if (code != SQLITE_DONE)
        throw AppError(code, code == SQLITE_BUSY || code == SQLITE_LOCKED
                                 ? QStringLiteral("the database stayed locked by another program")
                                 : engineText(destination, finished != SQLITE_OK ? finished : code));
}

} // namespace

QStringList problemsIn(const QString &path)
{
    try {
        const Connection check(path, true);
        // The check looks every row up in every index: with the file mapped
        // and a large cache it reads each page once instead of again and again.
        check.rows("PRAGMA mmap_size = 1073741824");
        check.rows("PRAGMA cache_size = -262144");
        const QStringList found = check.rows("PRAGMA integrity_check");
        if (found == QStringList{QStringLiteral("ok")})
            return {};
        return found.mid(0, 3);
    } catch (const AppError &error) {
        return {error.description()};
    }
}

namespace {

// A new file only its owner may read: the database holds the gateway password.
void makePrivateFile(const QString &path)
{
    QFile::remove(path);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        throw AppError(ErrorBackup, QStringLiteral("%1 cannot be written: %2").arg(path, file.errorString()));
}

void makeFolder(const QString &path)
{
    if (QFileInfo(path).isDir())
        return;
    if (!QDir().mkpath(path))
        throw AppError(ErrorBackup, QStringLiteral("The folder %1 cannot be made.").arg(path));
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

void replaceWith(const QString &part, const QString &target)
{
    // rename() puts the new file in place in one step, over an older one of the name.
    if (std::rename(QFile::encodeName(part).constData(), QFile::encodeName(target).constData()) != 0) {
        QFile::remove(part);
        throw AppError(ErrorBackup, QStringLiteral("The copy could not be given its name %1.").arg(target));
    }
}

// Writes the copy under a temporary name; it takes its name when it is
// sound, or when `checked` is false (the state kept before a restore, which
// may be the damage the operator is getting away from).
void writeCopy(sqlite3 *source, const QString &target, bool checked)
{
    makeFolder(QFileInfo(target).absolutePath());
    const QString part = target + QStringLiteral(".part");
    makePrivateFile(part);
    try {
        const Connection destination(part, false);
        backupPages(source, destination.handle());
        // The copy is a file on its own: no log beside it.
        destination.rows("PRAGMA journal_mode = DELETE");
    } catch (const AppError &error) {
        QFile::remove(part);
        throw AppError(error.number(),
                       QStringLiteral("The backup %1 could not be written: %2").arg(target, error.description()));
    }
    if (checked) {
        const QStringList problems = problemsIn(part);
        if (!problems.isEmpty()) {
            QFile::remove(part);
            throw AppError(ErrorBackup, QStringLiteral("The backup %1 failed its check and was deleted: %2")
                                            .arg(target, problems.join(QStringLiteral("; "))));
        }
    }
    replaceWith(part, target);
}

bool sameFile(const QString &a, const QString &b)
{
    const QFileInfo first(a);
    const QFileInfo second(b);
    return first.exists() && second.exists()
               ? first.canonicalFilePath() == second.canonicalFilePath()
               : QDir::cleanPath(first.absoluteFilePath()) == QDir::cleanPath(second.absoluteFilePath());
}

QString stemOf(const QString &source)
{
    return QFileInfo(source).completeBaseName();
}

struct Daily
{
    QString path;
    QDateTime at;
};

QList<Daily> dailiesIn(const QString &source, const QString &folder)
{
    const QRegularExpression pattern(
        QStringLiteral("^%1-(\\d{4}-\\d{2}-\\d{2}-\\d{6})\\.db$").arg(QRegularExpression::escape(stemOf(source))));
    QList<Daily> found;
    const QDir dir(folder);
    for (const QString &name : dir.entryList(QDir::Files)) {
        const QRegularExpressionMatch match = pattern.match(name);
        if (!match.hasMatch())
            continue;
        const QDateTime at = QDateTime::fromString(match.captured(1), StampFormat);
        if (at.isValid())
            found.append({dir.filePath(name), at});
    }
    std::sort(found.begin(), found.end(), [](const Daily &a, const Daily &b) { return a.at > b.at; });
    return found;
}

// "2026-12-07" or "2026-12-07-093015" in a copy's name.
QDateTime stampIn(const QString &fileName)
{
    static const QRegularExpression stamp(QStringLiteral("(\\d{4}-\\d{2}-\\d{2})(?:-(\\d{6}))?"));
    const QRegularExpressionMatch match = stamp.match(fileName);
    if (!match.hasMatch())
        return {};
    const QDate day = QDate::fromString(match.captured(1), Qt::ISODate);
    const QTime time =
        match.captured(2).isEmpty() ? QTime(0, 0) : QTime::fromString(match.captured(2), QStringLiteral("HHmmss"));
    return day.isValid() && time.isValid() ? QDateTime(day, time) : QDateTime();
}

} // namespace

QString folder()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(QStringLiteral("Tellwave/Backups"));
}

void copy(sqlite3 *source, const QString &target)
{
    writeCopy(source, target, true);
}

void copy(const QString &source, const QString &target)
{
    if (!QFileInfo::exists(source))
        throw AppError(ErrorBackup, QStringLiteral("There is no database file at %1 to back up.").arg(source));
    if (sameFile(source, target))
        throw AppError(ErrorBackup,
                       QStringLiteral("A backup cannot be written over the database itself (%1).").arg(target));
    const Connection from(source, true);
    writeCopy(from.handle(), target, true);
}

QString dailyName(const QString &source, const QDateTime &at)
{
    return QStringLiteral("%1-%2.db").arg(stemOf(source), at.toString(StampFormat));
}

bool dailyDue(const QString &source, const QString &folder, const QDateTime &now)
{
    const QList<Daily> dailies = dailiesIn(source, folder);
    return std::none_of(dailies.begin(), dailies.end(),
                        [&now](const Daily &daily) { return daily.at.date() == now.date(); });
}

QStringList beyondKept(const QString &source, const QString &folder, const Kept &kept)
{
    QSet<QDate> days;
    QSet<int> weeks;
    QStringList beyond;
    for (const Daily &daily : dailiesIn(source, folder)) {
        const QDate day = daily.at.date();
        int year = 0;
        const int week = day.weekNumber(&year);
        if (days.size() < kept.daily && !days.contains(day))
            days.insert(day);
        else if (!days.contains(day) && weeks.size() < kept.weekly && !weeks.contains(year * 100 + week))
            weeks.insert(year * 100 + week);
        else
            beyond.prepend(daily.path);
    }
    return beyond;
}

QString takeDaily(const QString &source, const QString &folder, const QDateTime &now, const Kept &kept)
{
    const QString target = QDir(folder).filePath(dailyName(source, now));
    copy(source, target);
    for (const QString &old : beyondKept(source, folder, kept)) {
        if (!QFile::remove(old))
            throw AppError(ErrorBackup,
                           QStringLiteral("The backup %1 was taken, but the old backup %2 could not be deleted.")
                               .arg(target, old));
    }
    return target;
}

QString takeBefore(const QString &source, const QString &why, const QDateTime &now)
{
    const QString target =
        QDir(folder()).filePath(QStringLiteral("%1-%2-%3.db").arg(stemOf(source), now.toString(StampFormat), why));
    copy(source, target);
    return target;
}

QString takeBefore(sqlite3 *source, const QString &sourcePath, const QString &why, const QDateTime &now)
{
    const QString target =
        QDir(folder()).filePath(QStringLiteral("%1-%2-%3.db").arg(stemOf(sourcePath), now.toString(StampFormat), why));
    copy(source, target);
    return target;
}

Facts inspect(const QString &copyPath)
{
    const auto refused = [&copyPath](const QString &why) {
        return AppError(ErrorBackup,
                        QStringLiteral("%1 cannot be restored: %2\n\nNothing was changed.").arg(copyPath, why));
    };
    if (!QFileInfo(copyPath).isFile())
        throw refused(QStringLiteral("there is no such file."));
    const QStringList problems = problemsIn(copyPath);
    if (!problems.isEmpty())
        throw refused(QStringLiteral("it is damaged or not a database (%1).").arg(problems.join(QStringLiteral("; "))));
    Facts facts;
    try {
        const Connection copy(copyPath, true);
        if (copy.rows("PRAGMA user_version").value(0).toInt() > Database::SchemaVersion)
            throw refused(QStringLiteral("it was made by a newer version of the program."));
        const QStringList tables = copy.rows("SELECT name FROM sqlite_master WHERE type = 'table'");
        for (const char *table : {"Clients", "Groups", "SMSSend", "SMSReplies", "Setup"}) {
            if (!tables.contains(QString::fromLatin1(table)))
                throw refused(
                    QStringLiteral("it is not a Tellwave database (it has no %1 table).").arg(QLatin1String(table)));
        }
        const QStringList counts =
            copy.rows("SELECT (SELECT count(*) FROM Clients) UNION ALL SELECT (SELECT count(*) FROM Groups) "
                      "UNION ALL SELECT (SELECT count(*) FROM SMSSend) "
                      "UNION ALL SELECT (SELECT count(*) FROM SMSReplies)");
        facts.contacts = counts.value(0).toLongLong();
        facts.groups = counts.value(1).toLongLong();
        facts.outbox = counts.value(2).toLongLong();
        facts.replies = counts.value(3).toLongLong();
    } catch (const AppError &error) {
        if (error.number() == ErrorBackup)
            throw;
        throw refused(error.description());
    }
    facts.takenAt = stampIn(QFileInfo(copyPath).fileName());
    if (!facts.takenAt.isValid())
        facts.takenAt = QFileInfo(copyPath).lastModified();
    return facts;
}

QString restore(const QString &copyPath, const QString &livePath, const QDateTime &now)
{
    if (sameFile(copyPath, livePath))
        throw AppError(
            ErrorBackup,
            QStringLiteral("%1 is the database in use, not a backup of it.\n\nNothing was changed.").arg(copyPath));
    inspect(copyPath);
    Database::close();
    const QFileInfo live(livePath);
    const QString kept = live.dir().filePath(
        QStringLiteral("%1-before-restore-%2.db").arg(live.completeBaseName(), now.toString(StampFormat)));
    {
        const Connection current(livePath, true);
        writeCopy(current.handle(), kept, false);
    }
    try {
        const Connection from(copyPath, true);
        const Connection into(livePath, false);
        backupPages(from.handle(), into.handle());
    } catch (const AppError &error) {
        throw AppError(error.number(), QStringLiteral("The backup could not be put in place: %1\n\n"
                                                      "The database was left as it was; it is also kept as %2.")
                                           .arg(error.description(), kept));
    }
    const QStringList problems = problemsIn(livePath);
    if (!problems.isEmpty())
        throw AppError(ErrorBackup, QStringLiteral("The restored database failed its check (%1). The state before the "
                                                   "restore is kept as %2.")
                                        .arg(problems.join(QStringLiteral("; ")), kept));
    return kept;
}

QString pgDumpProgram()
{
    return QStandardPaths::findExecutable(QStringLiteral("pg_dump"));
}

QString dumpServer(const QString &connectionString, const QString &password, const QString &target)
{
    const QString program = pgDumpProgram();
    if (program.isEmpty())
        throw AppError(ErrorBackup,
                       QStringLiteral("pg_dump is not installed on this computer, so the server's database "
                                      "cannot be backed up from here. Install the PostgreSQL client programs "
                                      "(the postgresql-client package), or back it up on the server."));
    const QString host = Database::partOf(connectionString, QStringLiteral("Host"));
    const QString port = Database::partOf(connectionString, QStringLiteral("Port"));
    const QString user = Database::partOf(connectionString, QStringLiteral("User"));
    const QString name = Database::partOf(connectionString, QStringLiteral("Database"));
    QStringList where;
    if (!host.isEmpty())
        where << QStringLiteral("-h") << host;
    if (!port.isEmpty())
        where << QStringLiteral("-p") << port;
    if (!user.isEmpty())
        where << QStringLiteral("-U") << user;

    const QString part = target + QStringLiteral(".part");
    makePrivateFile(part);
    QProcess dump;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!password.isEmpty())
        environment.insert(QStringLiteral("PGPASSWORD"), password);
    dump.setProcessEnvironment(environment);
    // -w: a password that is wrong or missing fails at once instead of waiting for one on a terminal.
    dump.start(program, QStringList{QStringLiteral("-Fc"), QStringLiteral("-w"), QStringLiteral("-f"), part} + where
                            + QStringList{name});
    const bool ran = dump.waitForStarted(10000) && dump.waitForFinished(-1);
    if (!ran || dump.exitStatus() != QProcess::NormalExit || dump.exitCode() != 0) {
        QFile::remove(part);
        const QString said = QString::fromLocal8Bit(dump.readAllStandardError()).trimmed();
        throw AppError(ErrorBackup, QStringLiteral("pg_dump could not back up the database %1: %2")
                                        .arg(name, said.isEmpty() ? dump.errorString() : said));
    }
    replaceWith(part, target);
    const auto quoted = [](const QString &text) {
        return text.contains(QRegularExpression(QStringLiteral("[^A-Za-z0-9_./:=@%+-]")))
                   ? QLatin1Char('\'') + QString(text).replace(QLatin1Char('\''), QStringLiteral("'\\''"))
                         + QLatin1Char('\'')
                   : text;
    };
    QStringList command{QStringLiteral("pg_restore"), QStringLiteral("--clean"), QStringLiteral("--if-exists")};
    for (const QString &option : std::as_const(where))
        command << quoted(option);
    command << QStringLiteral("-d") << quoted(name) << quoted(target);
    return command.join(QLatin1Char(' '));
}

} // namespace Backups
