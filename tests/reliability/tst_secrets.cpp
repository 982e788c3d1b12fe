#include "FileBytes.h"
#include "GatewayTestSupport.h"

#include "gateway/GatewayClient.h"
#include "gateway/OutboxSender.h"
#include "gateway/RepliesRetrieval.h"
#include "gateway/SendReportRetrieval.h"
#include "gateway/StatusRetrieval.h"
#include "settings/RunningSetup.h"
#include "settings/Settings.h"
#include "settings/cRegistry.h"

#include <QFileInfo>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

const QString Password = QStringLiteral("Pw's3cr&t;#%");

mode_t modeOf(const QString &path)
{
    struct stat info = {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return mode_t(-1);
    return info.st_mode & 0777;
}

// A TLS server on loopback with a certificate nobody vouches for; it answers every request with "100".
class SelfSignedServer : public QTcpServer
{
public:
    QSslCertificate certificate;
    QSslKey key;

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto *socket = new QSslSocket(this);
        socket->setSocketDescriptor(descriptor);
        socket->setLocalCertificate(certificate);
        socket->setPrivateKey(key);
        connect(socket, &QSslSocket::readyRead, socket, [socket] {
            if (socket->readAll().contains("\r\n\r\n"))
                socket->write("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\n100");
        });
        connect(socket, &QSslSocket::sslErrors, socket, [] {});
        socket->startServerEncryption();
    }
};

} // namespace

// The files that hold the password are the owner's alone; the password shows nowhere; TLS is checked.
class tst_secrets : public QObject
{
    Q_OBJECT

private slots:
    // Whatever the process's umask, the settings hive and the database with its journal files are
    // created mode 0600.
    void filesAreOwnerOnly()
    {
        const mode_t old = ::umask(022);
        TestHome home;
        Settings::store(Settings::Key::Database, home.databasePath());
        OutboxRows::queue(QStringLiteral("0821234567"));
        ::umask(old);
        const QStringList files = {cRegistry::hivePath(), home.databasePath(), home.databasePath() + "-wal",
                                   home.databasePath() + "-shm"};
        for (const QString &file : files) {
            QVERIFY2(QFileInfo::exists(file), qPrintable(file));
            QCOMPARE(QString::number(modeOf(file), 8), QStringLiteral("600"));
        }
    }

    // Every way a request can fail, through every cycle: neither the status line nor any box holds the
    // password, plain or percent-encoded.
    void passwordNeverShown_data()
    {
        QTest::addColumn<QString>("fault");
        for (const char *fault : {"down", "drop", "hang", "truncate", "error500", "not-xml", "refuse", "login"})
            QTest::newRow(fault) << fault;
    }
    void passwordNeverShown()
    {
        QFETCH(QString, fault);
        GatewaySetup s(1000, QStringLiteral("0"));
        GatewayClient::setDefaultTimeout(500);
        s.gateway.admin(QStringLiteral("/admin/account?user=demo&password=") + encodedForAdmin(Password));
        s.gateway.use(QStringLiteral("demo"), fault == "login" ? Password + "x" : Password);
        OutboxRows::queue(QStringLiteral("0821234567"));
        if (fault == "down")
            s.gateway.stop();
        else if (fault != "login")
            s.gateway.admin(QStringLiteral("/admin/fault?mode=%1").arg(fault));

        OutboxSender(s.host).SendOutbox();
        StatusRetrieval(s.host).FetchStatusReports();
        RepliesRetrieval(s.host).FetchReplies();
        SendReportRetrieval(s.host).GetReport();
        GatewayClient::setDefaultTimeout(GatewayClient::DefaultTimeoutMs);

        const QString shown = (s.host.statuses + s.host.titles + s.host.texts).join('\n');
        QVERIFY(!s.host.statuses.isEmpty());
        // A part of the password, so neither the whole of it nor its percent-encoded form shows either.
        QVERIFY2(!shown.contains(QStringLiteral("s3cr")), qPrintable(shown));
    }

    // An https gateway with a certificate nobody vouches for is refused; the same server is used once
    // its certificate is trusted, so the refusal is the check and not a broken server.
    void httpsChecksCertificates()
    {
        if (!QSslSocket::supportsSsl())
            QSKIP("no TLS backend");
        QTemporaryDir dir;
        QProcess openssl;
        openssl.start(QStringLiteral("openssl"),
                      {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=127.0.0.1",
                       "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", dir.filePath("key.pem"), "-out",
                       dir.filePath("cert.pem")});
        if (!openssl.waitForFinished(30000) || openssl.exitCode() != 0)
            QSKIP("openssl cannot make a certificate here");
        SelfSignedServer server;
        server.certificate = QSslCertificate(fileBytes(dir.filePath("cert.pem")));
        server.key = QSslKey(fileBytes(dir.filePath("key.pem")), QSsl::Rsa);
        QVERIFY(server.listen(QHostAddress::LocalHost));

        TestHome home;
        RunningSetup::useGatewayHost(QStringLiteral("https://127.0.0.1:%1").arg(server.serverPort()));
        RunningSetup::useGatewayAccount(QStringLiteral("demo"), Password);
        GatewayClient client;
        client.setTimeout(5000);
        try {
            client.credits();
            QFAIL("a certificate nobody vouches for was accepted");
        } catch (const GatewayError &error) {
            QVERIFY2(error.text().contains("could not be reached"), qPrintable(error.text()));
            QVERIFY(!error.text().contains(Password));
        }

        const QSslConfiguration old = QSslConfiguration::defaultConfiguration();
        QSslConfiguration trusting = old;
        trusting.addCaCertificate(server.certificate);
        QSslConfiguration::setDefaultConfiguration(trusting);
        const QString answer = client.credits();
        QSslConfiguration::setDefaultConfiguration(old);
        QCOMPARE(answer, QStringLiteral("100"));
    }
};

QTEST_GUILESS_MAIN(tst_secrets)
#include "tst_secrets.moc"
