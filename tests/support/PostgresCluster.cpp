#include "PostgresCluster.h"

#include "data/Database.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUrl>
#include <QUuid>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace PostgresCluster {

namespace {

struct Cluster
{
    std::unique_ptr<QTemporaryDir> folder;
    QString bin;
    QString runAs; // empty when the tests are not root
    int port = 0;
    QString problem;
    bool started = false;
};

Cluster &cluster()
{
    static Cluster current;
    return current;
}

QString findBin()
{
    const QString fromEnv = QString::fromLocal8Bit(qgetenv("TELLWAVE_PG_BIN"));
    if (!fromEnv.isEmpty())
        return fromEnv;
    QDir root(u"/usr/lib/postgresql"_s);
    QStringList versions = root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (auto it = versions.crbegin(); it != versions.crend(); ++it) {
        const QString bin = root.filePath(*it + u"/bin"_s);
        if (QFileInfo::exists(bin + u"/initdb"_s))
            return bin;
    }
    return {};
}

// Runs a server program, as the unprivileged user when we are root. Gives
// its output when it fails.
bool runTool(const QString &tool, const QStringList &arguments, QString &output, int timeoutMs = 120000)
{
    Cluster &c = cluster();
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    const QString program = c.bin + QLatin1Char('/') + tool;
    if (c.runAs.isEmpty())
        process.start(program, arguments);
    else
        process.start(u"runuser"_s, QStringList{u"-u"_s, c.runAs, u"--"_s, program} + arguments);
    if (!process.waitForStarted(10000)) {
        output = process.errorString();
        return false;
    }
    process.waitForFinished(timeoutMs);
    output = QString::fromLocal8Bit(process.readAll());
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

void stop()
{
    Cluster &c = cluster();
    if (!c.started)
        return;
    QString output;
    runTool(u"pg_ctl"_s, {u"-D"_s, c.folder->filePath(u"data"_s), u"-m"_s, u"immediate"_s, u"-w"_s, u"stop"_s}, output);
    c.started = false;
    c.folder.reset();
}

QString socketHost()
{
    return QString::fromLatin1(QUrl::toPercentEncoding(cluster().folder->path()));
}

} // namespace

bool wanted()
{
    return qgetenv("TELLWAVE_TEST_ENGINE") == "postgres";
}

QString start()
{
    Cluster &c = cluster();
    if (c.started || !c.problem.isEmpty())
        return c.problem;
    c.bin = findBin();
    if (c.bin.isEmpty())
        return c.problem = QStringLiteral("PostgreSQL's initdb was not found under /usr/lib/postgresql "
                                          "(install the package postgresql).");
    // Short path: a Unix socket's path has a small length limit.
    c.folder = std::make_unique<QTemporaryDir>(u"/tmp/twpg-XXXXXX"_s);
    if (!c.folder->isValid())
        return c.problem = u"No temporary folder for the cluster: %1"_s.arg(c.folder->errorString());
    if (geteuid() == 0) {
        // PostgreSQL refuses to run as root.
        c.runAs = u"nobody"_s;
        if (QProcess::execute(u"chown"_s, {u"nobody"_s, c.folder->path()}) != 0)
            return c.problem = u"The cluster's folder could not be given to the user nobody."_s;
    }
    QString output;
    if (!runTool(u"initdb"_s,
                 {u"-D"_s, c.folder->filePath(u"data"_s), u"-U"_s, u"tellwave"_s, u"--auth=trust"_s, u"-E"_s, u"UTF8"_s,
                  u"--locale=C.UTF-8"_s, u"--locale-provider=icu"_s, u"--icu-locale=en-ZA"_s, u"--no-sync"_s},
                 output))
        return c.problem = u"initdb failed: %1"_s.arg(output);
    // A port of our own per process, so parallel test programs never meet.
    c.port = 20000 + int(QCoreApplication::applicationPid() % 20000);
    const QString options = QStringLiteral("-k %1 -c listen_addresses='' -p %2 -c fsync=off -c synchronous_commit=off "
                                           "-c full_page_writes=off -c max_connections=50")
                                .arg(c.folder->path())
                                .arg(c.port);
    if (!runTool(u"pg_ctl"_s,
                 {u"-D"_s, c.folder->filePath(u"data"_s), u"-o"_s, options, u"-l"_s,
                  c.folder->filePath(u"server.log"_s), u"-w"_s, u"start"_s},
                 output)) {
        QFile log(c.folder->filePath(u"server.log"_s));
        log.open(QIODevice::ReadOnly);
        return c.problem =
                   u"pg_ctl could not start the server: %1 %2"_s.arg(output, QString::fromLocal8Bit(log.readAll()));
    }
    c.started = true;
    qAddPostRoutine(stop);
    // A test program that crashes never reaches the routine above: a watcher
    // stops the server and removes its folder once this process is gone.
    const QString stopCommand = (c.runAs.isEmpty() ? QString() : u"runuser -u %1 -- "_s.arg(c.runAs))
                                + u"'%1/pg_ctl' -D '%2/data' -m immediate -w stop"_s.arg(c.bin, c.folder->path());
    QProcess::startDetached(u"setsid"_s,
                            {u"sh"_s, u"-c"_s,
                             u"while kill -0 %1 2>/dev/null; do sleep 1; done; %2 >/dev/null 2>&1; rm -rf '%3'"_s.arg(
                                 QString::number(QCoreApplication::applicationPid()), stopCommand, c.folder->path())});
    return {};
}

QString newDatabase()
{
    const QString problem = start();
    if (!problem.isEmpty())
        qFatal("The PostgreSQL tests cannot run: %s", qPrintable(problem));
    static int serial = 0;
    const QString name = u"tellwave_%1"_s.arg(++serial);
    {
        QSqlDatabase admin = QSqlDatabase::addDatabase(u"QPSQL"_s, u"tellwave-test-admin"_s);
        admin.setHostName(cluster().folder->path());
        admin.setPort(cluster().port);
        admin.setUserName(u"tellwave"_s);
        admin.setDatabaseName(u"postgres"_s);
        if (!admin.open())
            qFatal("The PostgreSQL tests cannot connect: %s", qPrintable(admin.lastError().text()));
        QSqlQuery create(admin);
        if (!create.exec(u"CREATE DATABASE %1"_s.arg(name)))
            qFatal("A PostgreSQL test database cannot be made: %s", qPrintable(create.lastError().text()));
        admin.close();
    }
    QSqlDatabase::removeDatabase(u"tellwave-test-admin"_s);
    return u"postgresql://tellwave@%1:%2/%3"_s.arg(socketHost(), QString::number(cluster().port), name);
}

} // namespace PostgresCluster
