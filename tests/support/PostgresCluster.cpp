#include "PostgresCluster.h"

#include "data/Database.h"
#include "data/ProcessSettings.h"

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
    QDir root(QStringLiteral("/usr/lib/postgresql"));
    QStringList versions = root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (auto it = versions.crbegin(); it != versions.crend(); ++it) {
        const QString bin = root.filePath(*it + QStringLiteral("/bin"));
        if (QFileInfo::exists(bin + QStringLiteral("/initdb")))
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
        process.start(QStringLiteral("runuser"),
                      QStringList{QStringLiteral("-u"), c.runAs, QStringLiteral("--"), program} + arguments);
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
    runTool(QStringLiteral("pg_ctl"),
            {QStringLiteral("-D"), c.folder->filePath(QStringLiteral("data")), QStringLiteral("-m"),
             QStringLiteral("immediate"), QStringLiteral("-w"), QStringLiteral("stop")},
            output);
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
    c.folder = std::make_unique<QTemporaryDir>(QStringLiteral("/tmp/twpg-XXXXXX"));
    if (!c.folder->isValid())
        return c.problem = QStringLiteral("No temporary folder for the cluster: %1").arg(c.folder->errorString());
    if (geteuid() == 0) {
        // PostgreSQL refuses to run as root.
        c.runAs = QStringLiteral("nobody");
        if (QProcess::execute(QStringLiteral("chown"), {QStringLiteral("nobody"), c.folder->path()}) != 0)
            return c.problem = QStringLiteral("The cluster's folder could not be given to the user nobody.");
    }
    QString output;
    if (!runTool(QStringLiteral("initdb"),
                 {QStringLiteral("-D"), c.folder->filePath(QStringLiteral("data")), QStringLiteral("-U"),
                  QStringLiteral("tellwave"), QStringLiteral("--auth=trust"), QStringLiteral("-E"),
                  QStringLiteral("UTF8"), QStringLiteral("--locale=C.UTF-8"), QStringLiteral("--locale-provider=icu"),
                  QStringLiteral("--icu-locale=en-ZA"), QStringLiteral("--no-sync")},
                 output))
        return c.problem = QStringLiteral("initdb failed: %1").arg(output);
    // A port of our own per process, so parallel test programs never meet.
    c.port = 20000 + int(QCoreApplication::applicationPid() % 20000);
    const QString options = QStringLiteral("-k %1 -c listen_addresses='' -p %2 -c fsync=off -c synchronous_commit=off "
                                           "-c full_page_writes=off -c max_connections=50")
                                .arg(c.folder->path())
                                .arg(c.port);
    if (!runTool(QStringLiteral("pg_ctl"),
                 {QStringLiteral("-D"), c.folder->filePath(QStringLiteral("data")), QStringLiteral("-o"), options,
                  QStringLiteral("-l"), c.folder->filePath(QStringLiteral("server.log")), QStringLiteral("-w"),
                  QStringLiteral("start")},
                 output)) {
        QFile log(c.folder->filePath(QStringLiteral("server.log")));
        log.open(QIODevice::ReadOnly);
        return c.problem = QStringLiteral("pg_ctl could not start the server: %1 %2")
                               .arg(output, QString::fromLocal8Bit(log.readAll()));
    }
    c.started = true;
    qAddPostRoutine(stop);
    // A test program that crashes never reaches the routine above: a watcher
    // stops the server and removes its folder once this process is gone.
    const QString stopCommand =
        (c.runAs.isEmpty() ? QString() : QStringLiteral("runuser -u %1 -- ").arg(c.runAs))
        + QStringLiteral("'%1/pg_ctl' -D '%2/data' -m immediate -w stop").arg(c.bin, c.folder->path());
    QProcess::startDetached(
        QStringLiteral("setsid"),
        {QStringLiteral("sh"), QStringLiteral("-c"),
         QStringLiteral("while kill -0 %1 2>/dev/null; do sleep 1; done; %2 >/dev/null 2>&1; rm -rf '%3'")
             .arg(QString::number(QCoreApplication::applicationPid()), stopCommand, c.folder->path())});
    return {};
}

QString newDatabase()
{
    const QString problem = start();
    if (!problem.isEmpty())
        qFatal("The PostgreSQL tests cannot run: %s", qPrintable(problem));
    static int serial = 0;
    const QString name = QStringLiteral("tellwave_%1").arg(++serial);
    {
        QSqlDatabase admin = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("tellwave-test-admin"));
        admin.setHostName(cluster().folder->path());
        admin.setPort(cluster().port);
        admin.setUserName(QStringLiteral("tellwave"));
        admin.setDatabaseName(QStringLiteral("postgres"));
        if (!admin.open())
            qFatal("The PostgreSQL tests cannot connect: %s", qPrintable(admin.lastError().text()));
        QSqlQuery create(admin);
        if (!create.exec(QStringLiteral("CREATE DATABASE %1").arg(name)))
            qFatal("A PostgreSQL test database cannot be made: %s", qPrintable(create.lastError().text()));
        admin.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("tellwave-test-admin"));
    return QStringLiteral("postgresql://tellwave@%1:%2/%3").arg(socketHost(), QString::number(cluster().port), name);
}

} // namespace PostgresCluster
