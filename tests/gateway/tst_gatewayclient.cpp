#include "GatewayTestSupport.h"

#include "app/modMain.h"
#include "gateway/GatewayClient.h"

#include <QElapsedTimer>
#include <QNetworkReply>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

// Answers every request on a connection with the same canned bytes, then
// closes the connection when told to.
class CannedServer : public QObject
{
public:
    CannedServer(QByteArray answer, bool closeAfter) : m_answer(std::move(answer)), m_closeAfter(closeAfter)
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                ++connections;
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
                    m_pending[socket] += socket->readAll();
                    while (m_pending[socket].contains("\r\n\r\n")) {
                        m_pending[socket].remove(0, m_pending[socket].indexOf("\r\n\r\n") + 4);
                        ++requests;
                        socket->write(m_answer);
                        if (m_closeAfter)
                            socket->disconnectFromHost();
                    }
                });
            }
        });
    }
    QString host() const { return QStringLiteral("127.0.0.1:%1").arg(m_server.serverPort()); }
    int connections = 0;
    int requests = 0;

private:
    QTcpServer m_server;
    QByteArray m_answer;
    bool m_closeAfter;
    QHash<QTcpSocket *, QByteArray> m_pending;
};

// The one exchange with the gateway, against the real tellwave-gateway.
class TestGatewayClient : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        GatewayClient::setDefaultTimeout(GatewayClient::DefaultTimeoutMs);
    }

    // Every value arrives whole: parameter order and encoding as on the wire,
    // and the gateway's decoded view of them.
    void parametersOnTheWire()
    {
        GatewayProcess gateway;
        QVERIFY2(gateway.isRunning(), qPrintable(gateway.output()));
        const QString user = QStringLiteral("ann & co");
        const QString password = QStringLiteral("p+w#1 é");
        gateway.admin(QStringLiteral("/admin/account?user=%1&password=%2&credits=5")
                          .arg(encodedForAdmin(user), encodedForAdmin(password)));
        gateway.use(user, password);
        takeRequests(gateway);

        const QString message = QStringLiteral("Pay R100 & R5 #3 + tax = ok?\r\nThank you, Zoë ünd 50% €");
        GatewayClient client;
        const QString batch = client.singleSms(QStringLiteral("0821234567"), message, QStringLiteral("17"));
        QCOMPARE(batch, QStringLiteral("5000001"));

        const QStringList requests = takeRequests(gateway);
        QCOMPARE(requests.size(), 1);
        QCOMPARE(requests[0],
                 QStringLiteral("POST /httppost4.aspx?Type=SingleSMS&Username=ann%20%26%20co&Password=p%2Bw%231%20%C3%A9"
                                "&Number=0821234567&Message=Pay%20R100%20%26%20R5%20%233%20%2B%20tax%20%3D%20ok%3F"
                                "%0D%0AThank%20you%2C%20Zo%C3%AB%20%C3%BCnd%2050%25%20%E2%82%AC&CustomerID=17"));

        const QJsonArray messages = adminArray(gateway, QStringLiteral("/admin/messages"));
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages[0][QStringLiteral("message")].toString(), message);
        QCOMPARE(messages[0][QStringLiteral("number")].toString(), QStringLiteral("0821234567"));
        QCOMPARE(messages[0][QStringLiteral("customerId")].toString(), QStringLiteral("17"));
        QCOMPARE(messages[0][QStringLiteral("user")].toString(), user);

        // the other request types, parameters in their order
        client.credits();
        client.sent(QStringLiteral("250"));
        client.replies();
        const QString account = QStringLiteral("Username=ann%20%26%20co&Password=p%2Bw%231%20%C3%A9");
        QCOMPARE(takeRequests(gateway),
                 QStringList({QStringLiteral("POST /httppost4.aspx?Type=Credits&") + account,
                              QStringLiteral("POST /httppost4.aspx?Type=Sent&") + account
                                  + QStringLiteral("&EventID=0&ID=250"),
                              QStringLiteral("POST /httppost4.aspx?Type=replies&") + account
                                  + QStringLiteral("&ID=0")}));
    }

    // Host, user and password are taken when the exchange is made.
    void settingsReadAtExchange()
    {
        GatewayProcess first;
        GatewayProcess second({QStringLiteral("--account"), QStringLiteral("other:secret:42")});
        QVERIFY(first.isRunning() && second.isRunning());
        GatewayClient client;
        first.use();
        QCOMPARE(client.credits(), QStringLiteral("1000"));
        second.use(QStringLiteral("other"), QStringLiteral("secret"));
        QCOMPARE(client.credits(), QStringLiteral("42"));
    }

    void requestUrls()
    {
        modMain::GatewayUsername = QStringLiteral("u");
        modMain::GatewayPassword = QStringLiteral("p");
        modMain::GatewayHost = QStringLiteral("sms.example.org:8080");
        QCOMPARE(GatewayClient::requestUrl(QStringLiteral("Credits")).toString(QUrl::FullyEncoded),
                 QStringLiteral("http://sms.example.org:8080/httppost4.aspx?Type=Credits&Username=u&Password=p"));
        modMain::GatewayHost = QStringLiteral("https://sms.example.org");
        QCOMPARE(GatewayClient::requestUrl(QStringLiteral("replies"), {{QStringLiteral("ID"), QStringLiteral("0")}})
                     .toString(QUrl::FullyEncoded),
                 QStringLiteral("https://sms.example.org/httppost4.aspx?Type=replies&Username=u&Password=p&ID=0"));
    }

    // The status is not looked at: an error page is an answer like any other.
    void errorPagesAreAnswers()
    {
        GatewayProcess gateway;
        QVERIFY(gateway.isRunning());
        gateway.use();
        scriptAnswer(gateway, QStringLiteral("Credits"), QStringLiteral("<html><body>Server Error</body></html>"), 500);
        scriptAnswer(gateway, QStringLiteral("replies"), QStringLiteral("Not here"), 404);
        GatewayClient client;
        QCOMPARE(client.credits(), QStringLiteral("<html><body>Server Error</body></html>"));
        QCOMPARE(client.replies(), QStringLiteral("Not here"));
        gateway.admin(QStringLiteral("/admin/fault?mode=error500"));
        QVERIFY(client.credits().contains(QStringLiteral("<html"), Qt::CaseInsensitive));
    }

    void refusedConnection()
    {
        const quint16 port = unusedPort();
        modMain::GatewayHost = QStringLiteral("127.0.0.1:%1").arg(port);
        try {
            GatewayClient().credits();
            QFAIL("no error for a port nothing listens on");
        } catch (const GatewayError &error) {
            QCOMPARE(error.number(), qint64(QNetworkReply::ConnectionRefusedError));
            QVERIFY(!error.mayHaveReached());
            QCOMPARE(error.description(),
                     QStringLiteral("The gateway at 127.0.0.1:%1 could not be reached: Connection refused").arg(port));
        }
    }

    void unknownHost()
    {
        modMain::GatewayHost = QStringLiteral("no-such-host.invalid");
        try {
            GatewayClient().credits();
            QFAIL("no error for a host that does not exist");
        } catch (const GatewayError &error) {
            QCOMPARE(error.number(), qint64(QNetworkReply::HostNotFoundError));
            QVERIFY(!error.mayHaveReached());
            QVERIFY2(error.description().startsWith(
                         QStringLiteral("The gateway at no-such-host.invalid could not be reached: ")),
                     qPrintable(error.description()));
        }
    }

    void hangingGatewayTimesOut()
    {
        GatewayProcess gateway({QStringLiteral("--account"), QStringLiteral("demo:demo:10"),
                                QStringLiteral("--fault"), QStringLiteral("hang")});
        QVERIFY(gateway.isRunning());
        gateway.use();
        GatewayClient client;
        client.setTimeout(400);
        QElapsedTimer timer;
        timer.start();
        try {
            client.singleSms(QStringLiteral("0821234567"), QStringLiteral("hello"), QStringLiteral("1"));
            QFAIL("no error from a gateway that never answers");
        } catch (const GatewayError &error) {
            QCOMPARE(error.number(), qint64(QNetworkReply::TimeoutError));
            QVERIFY(error.mayHaveReached());
            QVERIFY2(error.description().contains(QStringLiteral("did not answer")), qPrintable(error.description()));
        }
        QVERIFY(timer.elapsed() < 10000);

        // the default time-out is what new clients start with
        GatewayClient::setDefaultTimeout(300);
        QCOMPARE(GatewayClient().timeout(), 300);
        QVERIFY_THROWS_EXCEPTION(GatewayError, GatewayClient().credits());
    }

    // A dropped or truncated answer is an error that may have reached the
    // gateway, and the request is not sent a second time behind our back.
    void brokenExchanges_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::newRow("drop") << "drop";
        QTest::newRow("truncate") << "truncate";
    }
    void brokenExchanges()
    {
        QFETCH(QString, fault);
        GatewayProcess gateway;
        QVERIFY(gateway.isRunning());
        gateway.use();
        GatewayClient client;
        // a kept-alive connection first, so a re-send would be possible
        QCOMPARE(client.credits(), QStringLiteral("1000"));
        gateway.admin(QStringLiteral("/admin/fault?mode=%1&types=SingleSMS").arg(fault));
        takeRequests(gateway);
        try {
            client.singleSms(QStringLiteral("0821234567"), QStringLiteral("hello"), QStringLiteral("1"));
            QFAIL("no error for a broken exchange");
        } catch (const GatewayError &error) {
            QVERIFY(error.mayHaveReached());
            QVERIFY2(error.description().contains(gateway.host()), qPrintable(error.description()));
        }
        QCOMPARE(takeRequests(gateway).size(), 1);
        // the next exchange works on a new connection
        gateway.admin(QStringLiteral("/admin/fault?mode=none"));
        QCOMPARE(client.credits(), QStringLiteral("1000"));
    }

    // A read-only request on a kept-alive connection that the gateway closes
    // before answering goes out once more on a new connection; a message
    // never does.
    void staleConnectionRetry()
    {
        GatewayProcess gateway;
        QVERIFY(gateway.isRunning());
        gateway.use();
        GatewayClient client;
        QCOMPARE(client.credits(), QStringLiteral("1000"));
        // every second request is dropped
        gateway.admin(QStringLiteral("/admin/fault?mode=drop&share=0.5&types=Credits,SingleSMS"));
        takeRequests(gateway);
        QCOMPARE(client.credits(), QStringLiteral("1000"));
        QCOMPARE(takeRequests(gateway).size(), 1);
        QCOMPARE(client.credits(), QStringLiteral("1000")); // dropped, then answered on a new connection
        QCOMPARE(takeRequests(gateway).size(), 2);
        QVERIFY_THROWS_EXCEPTION(GatewayError, client.singleSms(QStringLiteral("0821234567"), QStringLiteral("a"),
                                                                QStringLiteral("1")));
        QCOMPARE(takeRequests(gateway).size(), 1);
        QCOMPARE(client.singleSms(QStringLiteral("0821234567"), QStringLiteral("b"), QStringLiteral("2")),
                 QStringLiteral("5000001"));
        QCOMPARE(adminArray(gateway, QStringLiteral("/admin/messages")).size(), 1);
    }

    // Answers framed in the other ways HTTP allows, and one that is not HTTP.
    void answerFramings_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<bool>("closeAfter");
        QTest::addColumn<QString>("expected"); // empty: an error
        QTest::addColumn<bool>("keptAlive");
        QTest::newRow("chunked") << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                                               "4\r\n5000\r\n3;x=y\r\n001\r\n0\r\nX-Trailer: 1\r\n\r\n")
                                 << false << "5000001" << true;
        QTest::newRow("until close") << QByteArray("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n42")
                                     << true << "42" << false;
        QTest::newRow("interim answer first")
            << QByteArray("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n17")
            << false << "17" << true;
        QTest::newRow("latin-1 charset")
            << QByteArray("HTTP/1.1 200 OK\r\nContent-Type: text/plain; charset=ISO-8859-1\r\n"
                          "Content-Length: 7\r\n\r\nFALSE \xe9")
            << false << QStringLiteral("FALSE é") << true;
        QTest::newRow("connection close") << QByteArray("HTTP/1.1 200 OK\r\nConnection: close\r\n"
                                                        "Content-Length: 1\r\n\r\n9")
                                          << true << "9" << false;
        QTest::newRow("not HTTP") << QByteArray("SSH-2.0-OpenSSH\r\n") << false << "" << false;
        QTest::newRow("short chunked") << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                                                     "10\r\nabc")
                                       << true << "" << false;
    }
    void answerFramings()
    {
        QFETCH(QByteArray, answer);
        QFETCH(bool, closeAfter);
        QFETCH(QString, expected);
        QFETCH(bool, keptAlive);
        CannedServer server(answer, closeAfter);
        modMain::GatewayHost = server.host();
        GatewayClient client;
        client.setTimeout(3000);
        if (expected.isEmpty()) {
            try {
                client.credits();
                QFAIL("no error for a broken answer");
            } catch (const GatewayError &error) {
                QVERIFY(error.mayHaveReached());
            }
            return;
        }
        QCOMPARE(client.credits(), expected);
        QCOMPARE(client.credits(), expected);
        QCOMPARE(server.requests, 2);
        QCOMPARE(server.connections, keptAlive ? 1 : 2);
    }
};

QTEST_GUILESS_MAIN(TestGatewayClient)
#include "tst_gatewayclient.moc"
