#include "GatewayTestSupport.h"

#include "gateway/GatewayAnswers.h"
#include "gateway/GatewayClient.h"
#include "gateway/HttpAnswerParser.h"
#include "gateway/MessagePoster.h"
#include "settings/RunningSetup.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

// Answers each request with the same canned bytes, closing the connection after it when told to.
class CannedServer : public QObject
{
public:
    CannedServer(const QByteArray &answer, bool closeAfter)
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [=, this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                ++connections;
                connect(socket, &QTcpSocket::readyRead, this, [=, this, pending = QByteArray()]() mutable {
                    pending += socket->readAll();
                    for (qsizetype end; (end = pending.indexOf("\r\n\r\n")) >= 0; pending.remove(0, end + 4)) {
                        ++requests;
                        socket->write(answer);
                        if (closeAfter)
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
};

using namespace GatewayAnswers;

// The exchange with the gateway, and reading the date texts in its answers.
class tst_gatewayClient : public QObject
{
    Q_OBJECT

private slots:
    // Parameter order and encoding as on the wire, and every value arriving whole.
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
        QCOMPARE(client.singleSms(QStringLiteral("0821234567"), message, QStringLiteral("17")), "5000001");
        // A send run's poster writes the same request without a client.
        MessagePoster poster(1, GatewayClient::DefaultTimeoutMs);
        poster.post(17, QStringLiteral("0821234567"), message);
        QList<MessagePoster::Answer> posted;
        while (posted.isEmpty())
            posted = poster.wait(-1);
        QCOMPARE(posted.constFirst().text, "5000002");
        client.credits();
        client.sent(QStringLiteral("250"));
        client.replies();
        const QString post = QStringLiteral("POST /httppost4.aspx?Type=");
        const QString account = QStringLiteral("&Username=ann%20%26%20co&Password=p%2Bw%231%20%C3%A9");
        const QString singleSms = post + "SingleSMS" + account
                                  + "&Number=0821234567&Message=Pay%20R100%20%26%20R5%20%233%20%2B%20tax%20%3D%20ok%3F"
                                    "%0D%0AThank%20you%2C%20Zo%C3%AB%20%C3%BCnd%2050%25%20%E2%82%AC&CustomerID=17";
        QCOMPARE(takeRequests(gateway),
                 QStringList({singleSms, singleSms, post + "Credits" + account,
                              post + "Sent" + account + "&EventID=0&ID=250", post + "replies" + account + "&ID=0"}));

        const QJsonArray messages = adminArray(gateway, QStringLiteral("/admin/messages"));
        QCOMPARE(messages.size(), 2);
        for (const QJsonValue &stored : messages)
            QCOMPARE(QStringList({stored["message"].toString(), stored["user"].toString()}),
                     QStringList({message, user}));
    }

    // A kept-alive connection closed before any answer: a read-only request goes out once more on a
    // new connection, a message never does.
    void messageNeverSentTwice()
    {
        GatewayProcess gateway;
        QVERIFY(gateway.isRunning());
        gateway.use();
        GatewayClient client;
        QCOMPARE(client.credits(), QStringLiteral("1000"));
        gateway.admin(QStringLiteral("/admin/fault?mode=drop&share=0.5&types=Credits,SingleSMS")); // every second
        takeRequests(gateway);
        QCOMPARE(client.credits(), QStringLiteral("1000"));
        QCOMPARE(client.credits(), QStringLiteral("1000")); // dropped, then answered on a new connection
        QCOMPARE(takeRequests(gateway).size(), 3);
        QVERIFY_THROWS_EXCEPTION(GatewayError, client.singleSms("0821234567", "a", "1"));
        QCOMPARE(takeRequests(gateway).size(), 1);
        QCOMPARE(client.singleSms("0821234567", "b", "2"), "5000001");
        QCOMPARE(adminArray(gateway, QStringLiteral("/admin/messages")).size(), 1);
    }

    // Answers framed in the other ways HTTP allows, and broken ones.
    void answerFramings_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<bool>("closeAfter");
        QTest::addColumn<QString>("expected"); // empty: an error
        QTest::addColumn<int>("connections");  // for two requests
        QTest::newRow("chunked") << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                                               "4\r\n5000\r\n3;x=y\r\n001\r\n0\r\nX-Trailer: 1\r\n\r\n")
                                 << false << "5000001" << 1;
        QTest::newRow("until close") << QByteArray("HTTP/1.0 200 OK\r\n\r\n42") << true << "42" << 2;
        QTest::newRow("not HTTP") << QByteArray("SSH-2.0-OpenSSH\r\n") << false << "" << 0;
    }
    void answerFramings()
    {
        QFETCH(QByteArray, answer);
        QFETCH(bool, closeAfter);
        QFETCH(QString, expected);
        CannedServer server(answer, closeAfter);
        RunningSetup::useGatewayHost(server.host());
        GatewayClient client;
        client.setTimeout(3000);
        if (expected.isEmpty()) {
            QVERIFY_THROWS_EXCEPTION(GatewayError, client.credits());
            return;
        }
        QCOMPARE(client.credits(), expected);
        QCOMPARE(client.credits(), expected);
        QCOMPARE(server.requests, 2);
        QTEST(server.connections, "connections");
    }

    // Each answer fed one byte at a time: a whole answer is complete at its last byte, not before.
    void answerParsedByteByByte_data()
    {
        using State = HttpAnswerParser::State;
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<bool>("closeAtEnd");
        QTest::addColumn<State>("state");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("keepAlive");
        const QByteArray ok = "HTTP/1.1 200 OK\r\n";
        QTest::newRow("length") << ok + "Content-Type: text/plain\r\nContent-Length: 7\r\n\r\n5000001" << false
                                << State::Complete << QByteArray("5000001") << true;
        QTest::newRow("100 Continue, then 200") << "HTTP/1.1 100 Continue\r\n\r\n" + ok + "Content-Length: 2\r\n\r\n42"
                                                << false << State::Complete << QByteArray("42") << true;
        QTest::newRow("204") << QByteArray("HTTP/1.1 204 No Content\r\nX-A: 1\r\n\r\n") << false << State::Complete
                             << QByteArray() << true;
        QTest::newRow("close without length") << ok + "Connection: close\r\n\r\n1000\r\n"
                                              << true << State::Complete << QByteArray("1000\r\n") << false;
        QTest::newRow("closed before the length")
            << ok + "Content-Length: 9\r\n\r\n1000" << true << State::Incomplete << QByteArray("1000") << false;
        QTest::newRow("chunked with trailers")
            << ok + "Transfer-Encoding: chunked\r\n\r\n4\r\n5000\r\n3;x=y\r\n001\r\n0\r\nX-Trailer: 1\r\n\r\n"
            << false << State::Complete << QByteArray("5000001") << true;
        QTest::newRow("bad chunk size") << ok + "Transfer-Encoding: chunked\r\n\r\nzz\r\n5000\r\n0\r\n\r\n"
                                        << false << State::Broken << QByteArray() << false;
        QTest::newRow("chunk size past 64 bits")
            << ok + "Transfer-Encoding: chunked\r\n\r\n1" + QByteArray(17, '0') + "\r\n"
            << false << State::Broken << QByteArray() << false;
        QTest::newRow("header line over the limit") << ok + "X-Long: " + QByteArray(HttpAnswerParser::MaxLine, 'a')
                                                    << false << State::Broken << QByteArray() << false;
        QTest::newRow("not HTTP") << QByteArray("SSH-2.0-OpenSSH\r\n") << false << State::Broken << QByteArray()
                                  << false;
    }
    void answerParsedByteByByte()
    {
        QFETCH(QByteArray, answer);
        QFETCH(bool, closeAtEnd);
        QFETCH(HttpAnswerParser::State, state);
        HttpAnswerParser parser;
        qsizetype ended = -1;
        for (qsizetype i = 0; i < answer.size(); ++i) {
            if (parser.feed(answer.mid(i, 1)) != HttpAnswerParser::State::Incomplete && ended < 0)
                ended = i;
        }
        if (state == HttpAnswerParser::State::Complete && !closeAtEnd)
            QCOMPARE(ended, answer.size() - 1);
        if (closeAtEnd) {
            QCOMPARE(ended, -1);
            parser.closed();
        }
        QCOMPARE(parser.state(), state);
        QTEST(parser.body(), "body");
        QTEST(parser.keepAlive(), "keepAlive");
    }

    // A number naming a row or an entry is used only as a whole number that fits in 64 bits; any
    // other passes its status entry over instead of being converted out of range, and leaves its reply
    // unlinked (0) rather than dropping the reply's text.
    void keysPastSixtyFourBits_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("key"); // -1: passed over
        QTest::newRow("whole") << "42" << qint64(42);
        QTest::newRow("not a number") << "n/a" << qint64(0);
        QTest::newRow("NaN") << "NaN" << qint64(0);
        QTest::newRow("1E18") << "1E18" << qint64(1000000000000000000);
        QTest::newRow("1E19") << "1E19" << qint64(-1);
        QTest::newRow("1E400") << "1E400" << qint64(-1);
        QTest::newRow("negative") << "-3" << qint64(-1);
        QTest::newRow("fraction") << "12.5" << qint64(-1);
    }
    void keysPastSixtyFourBits()
    {
        QFETCH(QString, text);
        QFETCH(qint64, key);
        const StatusReport report = statusReport(
            QStringLiteral("<sent><msg><t>%1</t><a/><b/><c/><d/><f>TRUE</f><c>%1</c></msg></sent>").arg(text));
        const RepliesList list = replies(
            QStringLiteral("<replies><reply><i>R</i><s/><f/><t/><r/><m/><d/><c>%1</c></reply></replies>").arg(text));
        QCOMPARE(std::pair(report.entries.size(), list.replies.size()), std::pair(qsizetype(1), qsizetype(1)));
        QCOMPARE(report.entries[0].has_value(), key >= 0);
        // A key passed over counts as 0: no transaction number, no outbox row.
        const qint64 kept = qMax<qint64>(key, 0);
        QCOMPARE(std::pair(report.highestTrn, list.replies[0].smsSendId), std::pair(kept, kept));
        if (key >= 0)
            QCOMPARE(std::pair(report.entries[0]->trn, report.entries[0]->customerId), std::pair(key, key));
    }

    void dateTimeTexts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("stored"); // empty: no date
        // With a zone: the office's time (South African unless set), whatever the machine's.
        const std::pair<const char *, const char *> cases[] = {{"2024-03-14 14:05:07", "2024-03-14 14:05:07"},
                                                               {"2024-03-14T14:05:07.1234567", "2024-03-14 14:05:07"},
                                                               {"3/4/2024 9:05", "2024-04-03 09:05:00"},
                                                               {"3/14/2024 2:05:07 PM", "2024-03-14 14:05:07"},
                                                               {"14/03/2024", "2024-03-14 00:00:00"},
                                                               {"2024-03-14 12:30 am", "2024-03-14 00:30:00"},
                                                               {"2024-03-14T22:05:07Z", "2024-03-15 00:05:07"},
                                                               {"2024-03-14T14:05:07-05:00", "2024-03-14 21:05:07"},
                                                               {"  2024-03-14   14:05:07 ", "2024-03-14 14:05:07"},
                                                               {"", ""},
                                                               {"yesterday", ""},
                                                               {"2024-02-30 10:00", ""},
                                                               {"2024-03-14 13:00 PM", ""},
                                                               {"2024-03-14 10:00 tomorrow", ""}};
        for (const auto &[text, stored] : cases)
            QTest::newRow(*text ? text : "empty") << QString::fromLatin1(text) << QString::fromLatin1(stored);
    }
    void dateTimeTexts()
    {
        QFETCH(QString, text);
        QFETCH(QString, stored);
        const QVariant value = storedDateTime(text);
        QCOMPARE(value.isNull(), stored.isEmpty());
        QCOMPARE(value.toString(), stored);
    }
};

QTEST_GUILESS_MAIN(tst_gatewayClient)
#include "tst_gatewayClient.moc"
