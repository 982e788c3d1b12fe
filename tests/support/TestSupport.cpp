#include "TestSupport.h"

#include "PostgresCluster.h"

#include "app/modMain.h"
#include "data/Database.h"
#include "settings/RunningSetup.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTest>

// Tests see one message in flight at a time unless they ask for more: the
// gateway then receives the outbox in its order, which many of them check.
TestHome::TestHome() : m_oldConnections(RunningSetup::gatewayConnections())
{
    RunningSetup::useGatewayConnections(1);
    m_oldConfig = qgetenv("XDG_CONFIG_HOME");
    m_oldData = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_CONFIG_HOME", QDir(m_dir.path()).filePath(QStringLiteral("config")).toUtf8());
    qputenv("XDG_DATA_HOME", QDir(m_dir.path()).filePath(QStringLiteral("data")).toUtf8());
    freshDatabase();
}

TestHome::~TestHome()
{
    Database::close();
    Database::use(QString());
    RunningSetup::useGatewayConnections(m_oldConnections);
    qputenv("XDG_CONFIG_HOME", m_oldConfig);
    qputenv("XDG_DATA_HOME", m_oldData);
}

QString TestHome::file(const QString &name, const QByteArray &bytes) const
{
    const QString path = QDir(m_dir.path()).filePath(name);
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void TestHome::freshDatabase()
{
    Database::close();
    static int serial = 0;
    if (PostgresCluster::wanted()) {
        // The same tests over a new, empty database on the throw-away server.
        m_databasePath = PostgresCluster::newDatabase();
        Database::usePassword(QString());
        Database::create(m_databasePath);
        Database::use(m_databasePath);
        return;
    }
    QDir(m_dir.path()).mkpath(QStringLiteral("db"));
    m_databasePath = QDir(m_dir.path()).filePath(QStringLiteral("db/SMSData-%1.db").arg(++serial));
    Database::create(m_databasePath);
    Database::use(m_databasePath);
}

QString GatewayProcess::executable()
{
    const QByteArray fromCtest = qgetenv("TELLWAVE_GATEWAY");
    if (!fromCtest.isEmpty())
        return QString::fromLocal8Bit(fromCtest);
    return QStringLiteral("tellwave-gateway");
}

GatewayProcess::GatewayProcess(const QStringList &arguments) : m_process(std::make_unique<QProcess>())
{
    m_process->setProcessChannelMode(QProcess::SeparateChannels);
    m_process->start(executable(), QStringList{QStringLiteral("--port"), QStringLiteral("0")} + arguments);
    if (!m_process->waitForStarted(10000)) {
        m_output = QStringLiteral("could not start %1: %2").arg(executable(), m_process->errorString());
        return;
    }
    static const QRegularExpression listening(QStringLiteral("listening on [0-9.]+:(\\d+)"));
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 15000 && m_process->state() == QProcess::Running) {
        m_process->waitForReadyRead(200);
        m_output += QString::fromUtf8(m_process->readAllStandardOutput());
        const auto match = listening.match(m_output);
        if (match.hasMatch()) {
            m_port = match.captured(1).toUShort();
            return;
        }
    }
    m_output += QString::fromUtf8(m_process->readAllStandardError());
}

GatewayProcess::~GatewayProcess()
{
    stop();
}

bool GatewayProcess::isRunning() const
{
    return m_port != 0 && m_process && m_process->state() == QProcess::Running;
}

QString GatewayProcess::host() const
{
    return QStringLiteral("127.0.0.1:%1").arg(m_port);
}

void GatewayProcess::use(const QString &username, const QString &password) const
{
    RunningSetup::useGatewayHost(host());
    RunningSetup::useGatewayAccount(username, password);
}

QByteArray GatewayProcess::admin(const QString &pathAndQuery) const
{
    return httpBody(rawHttp(m_port, "POST", pathAndQuery.toUtf8()));
}

void GatewayProcess::stop()
{
    if (m_process && m_process->state() != QProcess::NotRunning) {
        m_process->terminate();
        if (!m_process->waitForFinished(5000)) {
            m_process->kill();
            m_process->waitForFinished(5000);
        }
    }
}

QByteArray rawHttp(quint16 port, const QByteArray &method, const QByteArray &pathAndQuery, int timeoutMs)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(timeoutMs))
        return {};
    socket.write(method + ' ' + pathAndQuery
                 + " HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                   "Content-Length: 0\r\nConnection: close\r\n\r\n");
    socket.flush();
    QByteArray answer;
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(100)) {
            if (socket.state() != QAbstractSocket::ConnectedState)
                break;
            continue;
        }
        answer += socket.readAll();
    }
    answer += socket.readAll();
    return answer;
}

QByteArray httpBody(const QByteArray &answer)
{
    const qsizetype end = answer.indexOf("\r\n\r\n");
    return end < 0 ? QByteArray() : answer.mid(end + 4);
}

bool testingServer()
{
    return PostgresCluster::wanted();
}

QString psql(const QString &address, const QString &statements)
{
    QProcess process;
    process.start(QStringLiteral("psql"),
                  {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-t"), QStringLiteral("-A"),
                   QStringLiteral("-v"), QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-c"), statements, address});
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return QStringLiteral("psql failed: ") + QString::fromLocal8Bit(process.readAllStandardError());
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}
