// tellwave-gateway serves several connections at once, each request answered after its own latency.

#include "TestSupport.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTcpSocket>
#include <QTest>

#include <memory>

class tst_gatewayConcurrency : public QObject
{
    Q_OBJECT

private slots:
    // Requests written at once on separate connections are all taken in before the first answer
    // is due (a server that answered one connection at a time would take them latency apart), and
    // every answer comes no sooner than the latency after its own request. The log names the time
    // and the connection of each request.
    void connectionsServedAtOnce_data()
    {
        QTest::addColumn<int>("connections");
        QTest::addColumn<int>("latencyMs");
        QTest::newRow("4 connections, 400 ms") << 4 << 400;
        QTest::newRow("16 connections, 600 ms") << 16 << 600;
    }
    void connectionsServedAtOnce()
    {
        QFETCH(int, connections);
        QFETCH(int, latencyMs);
        GatewayProcess gateway({QStringLiteral("--account"), QStringLiteral("demo:demo:1000"),
                                QStringLiteral("--latency-ms"), QString::number(latencyMs)});
        QVERIFY2(gateway.isRunning(), qPrintable(gateway.output()));

        std::vector<std::unique_ptr<QTcpSocket>> sockets;
        for (int i = 0; i < connections; ++i) {
            sockets.push_back(std::make_unique<QTcpSocket>());
            sockets.back()->connectToHost(QHostAddress::LocalHost, gateway.port());
            QVERIFY(sockets.back()->waitForConnected(5000));
        }
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < connections; ++i)
            sockets[size_t(i)]->write("POST /httppost4.aspx?Type=SingleSMS&Username=demo&Password=demo&Number=082"
                                      "&Message=m&CustomerID="
                                      + QByteArray::number(i + 1)
                                      + " HTTP/1.1\r\nHost: x\r\nContent-Length: 0\r\n\r\n");
        QList<qint64> answeredAfter(connections, -1);
        QTRY_VERIFY_WITH_TIMEOUT(std::none_of(answeredAfter.begin(), answeredAfter.end(),
                                              [&](qint64 &after) {
                                                  const qsizetype i = &after - answeredAfter.data();
                                                  QTcpSocket &socket = *sockets[size_t(i)];
                                                  if (after < 0 && socket.peek(1 << 16).contains("\r\n\r\n500"))
                                                      after = clock.elapsed();
                                                  return after < 0;
                                              }),
                                 20000);
        for (qint64 after : answeredAfter)
            QVERIFY2(after >= latencyMs, qPrintable(QString::number(after)));

        const QJsonArray log = QJsonDocument::fromJson(gateway.admin(QStringLiteral("/admin/requests"))).array();
        QCOMPARE(log.size(), connections);
        QSet<qint64> carriedBy;
        qint64 first = std::numeric_limits<qint64>::max();
        qint64 last = 0;
        for (const QJsonValue &request : log) {
            carriedBy.insert(qint64(request[QStringLiteral("connection")].toDouble()));
            const qint64 at = qint64(request[QStringLiteral("received")].toDouble());
            first = std::min(first, at);
            last = std::max(last, at);
        }
        QCOMPARE(carriedBy.size(), connections);
        QVERIFY2(last - first < latencyMs, qPrintable(QStringLiteral("%1 ms apart").arg(last - first)));
    }
};

QTEST_GUILESS_MAIN(tst_gatewayConcurrency)
#include "tst_gatewayConcurrency.moc"
