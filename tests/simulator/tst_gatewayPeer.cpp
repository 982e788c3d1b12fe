// tellwave-gateway over loopback sockets, with a plain client sharing nothing with the program's protocol layer.

#include "TestSupport.h"

#include <QDateTime>
#include <QDomDocument>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTest>

namespace {

const QByteArray Login = "&Username=demo&Password=demo";
const QByteArray Credits = "/httppost4.aspx?Type=Credits" + Login;
const QByteArray Send = "/httppost4.aspx?Type=SingleSMS" + Login + "&Number=1&Message=m&CustomerID=1";

// Starts 'gateway' with these arguments (none: account demo:demo:1000) and names its 'port'.
#define START_GATEWAY(...)                                                                                             \
    GatewayProcess gateway{__VA_ARGS__};                                                                               \
    QVERIFY2(gateway.isRunning(), qPrintable(gateway.output()));                                                       \
    const quint16 port = gateway.port()

int statusOf(const QByteArray &answer)
{
    return answer.left(answer.indexOf("\r\n")).split(' ').value(1).toInt();
}

QByteArray headerOf(const QByteArray &answer, const QByteArray &name)
{
    const QRegularExpression line("^" + name + ":\\s*(.*?)\\s*$",
                                  QRegularExpression::CaseInsensitiveOption | QRegularExpression::MultilineOption);
    return line.match(QString::fromLatin1(answer.left(answer.indexOf("\r\n\r\n")))).captured(1).toLatin1();
}

QByteArray post(quint16 port, const QByteArray &pathAndQuery)
{
    return httpBody(rawHttp(port, "POST", pathAndQuery));
}

QByteArray sms(quint16 port, const QByteArray &number, const QByteArray &message, const QByteArray &customer = "1")
{
    return post(port, "/httppost4.aspx?Type=SingleSMS" + Login + "&Number=" + number + "&Message=" + message
                          + "&CustomerID=" + customer);
}

// The child texts of each element under the root; 'tags' gets the child names of the first one.
QList<QStringList> xmlEntries(const QByteArray &body, const QString &root, QStringList *tags = nullptr)
{
    QDomDocument document;
    if (!document.setContent(body) || document.documentElement().tagName() != root)
        return {{"<not a " + root + " document>"}};
    QList<QStringList> entries;
    for (QDomElement entry = document.documentElement().firstChildElement(); !entry.isNull();
         entry = entry.nextSiblingElement()) {
        entries.append(QStringList());
        for (QDomElement child = entry.firstChildElement(); !child.isNull(); child = child.nextSiblingElement()) {
            entries.last().append(child.text());
            if (tags && entries.size() == 1)
                tags->append(child.tagName());
        }
    }
    return entries;
}

QList<QStringList> report(quint16 port, const QByteArray &type = "Sent&EventID=0", const QByteArray &afterId = "0")
{
    return xmlEntries(post(port, "/httppost4.aspx?Type=" + type + Login + "&ID=" + afterId),
                      type == "replies" ? "replies" : "sent");
}

// One whole answer (headers and Content-Length body) from a kept-open connection; what follows stays pending.
QByteArray readAnswer(QTcpSocket &socket, QByteArray &pending)
{
    QElapsedTimer timer;
    for (timer.start(); timer.elapsed() < 5000; pending += socket.readAll()) {
        const qsizetype end = pending.indexOf("\r\n\r\n");
        const qsizetype size = end + 4 + headerOf(pending.left(end + 4), "Content-Length").toLongLong();
        if (end >= 0 && pending.size() >= size)
            return std::exchange(pending, pending.mid(size)).left(size);
        socket.waitForReadyRead(100);
    }
    return {};
}

QByteArray request(const QByteArray &target, const QByteArray &headers = {})
{
    return "POST " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + headers + "\r\n";
}

} // namespace

class tst_gatewayPeer : public QObject
{
    Q_OBJECT

private slots:
    void refusalsChargeNothing_data()
    {
        QTest::addColumn<QByteArray>("query");
        QTest::addColumn<QByteArray>("answer");
        const QByteArray invalid = "FALSE: Invalid username or password", send = "SingleSMS&Message=x&CustomerID=1";
        QTest::newRow("wrong password") << send + "&Username=demo&Password=x&Number=1" << invalid;
        QTest::newRow("unknown account") << send + "&Username=nobody&Password=demo&Number=1" << invalid;
        QTest::newRow("empty number") << send + Login + "&Number=" << QByteArray("FALSE: No number given");
        QTest::newRow("unknown type") << "Balance" + Login << QByteArray("FALSE: Unknown request type");
    }
    void refusalsChargeNothing()
    {
        QFETCH(QByteArray, query);
        QFETCH(QByteArray, answer);
        START_GATEWAY();
        QCOMPARE(post(port, "/httppost4.aspx?Type=" + query), answer);
        QCOMPARE(post(port, Credits), QByteArray("1000"));
        QCOMPARE(gateway.admin("/admin/messages"), "[]");
    }

    void oneCreditPerMessageAndBatchNumbersAcrossAccounts()
    {
        START_GATEWAY(QString("--account demo:demo:2 --account b:b:5").split(' '));
        QCOMPARE(sms(port, "0821", "a"), QByteArray("5000001"));
        QCOMPARE(post(port, "/httppost4.aspx?Type=SingleSMS&Username=b&Password=b&Number=0831&Message=b&CustomerID=1"),
                 QByteArray("5000002"));
        QCOMPARE(sms(port, "%200822%20", "c"), QByteArray("5000003"));
        QCOMPARE(post(port, Credits), QByteArray("0"));
        QCOMPARE(sms(port, "0823", "d"), QByteArray("FALSE: Not enough credits"));
        QCOMPARE(post(port, "/httppost4.aspx?Type=Credits&Username=b&Password=b"), QByteArray("4"));
        QVERIFY(gateway.admin("/admin/messages?user=demo").contains("\"number\":\"0822\""));
        QCOMPARE(gateway.admin("/admin/account?user=demo&credits=1"), "OK"); // topped up, it sends again
        QCOMPARE(sms(port, "0823", "d"), QByteArray("5000004"));
    }

    void reportAndRepliesArePercentDecodedInXmlChildOrder()
    {
        START_GATEWAY();
        // Percent-decoded with + as a blank, escaped for XML, and without the control characters XML cannot carry.
        QCOMPARE(sms(port, "%2B0821", "one+two%2Bthree%26%3Cb%3E%22J%22%0D%0A%E2%82%AC%zz%07", "4%2B2"), "5000001");
        QStringList tags;
        auto entries = xmlEntries(post(port, "/httppost4.aspx?Type=Sent" + Login + "&EventID=0&ID=0"), "sent", &tags);
        QCOMPARE(tags.join(' '), "trn number message datetime batch delivered customerid");
        QVERIFY(QDateTime::fromString(entries.value(0).value(3), "yyyy-MM-dd HH:mm:ss").isValid());
        QCOMPARE(entries[0].join('|'),
                 "1|+0821|one two+three&<b>\"J\"\r\n\u20AC%zz|" + entries[0][3] + "|5000001|TRUE|4+2");

        QCOMPARE(gateway.admin("/admin/reply?user=demo&id=%20R%27q%22&from=0831&text=Yes%20%26%20no&received=2024-01-02"
                               "%2003:04:05&sentmessage=Hi%3C&sentdatetime=01/02/2024&customer=42"),
                 "[1]");
        tags.clear();
        entries = xmlEntries(post(port, "/httppost4.aspx?Type=replies" + Login + "&ID=0"), "replies", &tags);
        QCOMPARE(tags.join(' '), "id seq from text received sentmessage sentdatetime customerid");
        QCOMPARE(entries.value(0).join('|'), " R'q\"|1|0831|Yes & no|2024-01-02 03:04:05|Hi<|01/02/2024|42");
    }

    // One table, the message's text escaped so that it cannot break its row. The program reads this page in
    // tst_sendReceiveWindows.
    void reportPageEscapesItsRows()
    {
        START_GATEWAY(QString("--account demo:demo:100 --failure-share 1").split(' '));
        QCOMPARE(sms(port, "0821", "a%3C/td%3E%3Ctd%3Eb%20%26%20c", "5"), QByteArray("5000001"));
        const QString page = QString::fromUtf8(post(port, "/httppost3.aspx?Type=SentID" + Login + "&SentID=0"));
        QCOMPARE(page.count("DATAGRID", Qt::CaseInsensitive), 1);
        const QRegularExpression rows(
            "<tr><td>SentID</td><td>PhoneNumber</td><td>Data</td><td>DateTime</td>"
            "<td>CustomerID</td><td>SentStatus</td></tr>\r\n<tr><td>5000001</td><td>0821</td>"
            "<td>a&lt;/td&gt;&lt;td&gt;b &amp; c</td><td>\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d</td>"
            "<td>5</td><td>Failed</td></tr>\r\n</table>");
        QVERIFY2(rows.match(page).hasMatch(), qPrintable(page));
    }

    void stateSurvivesRestart()
    {
        QTemporaryDir dir;
        const QStringList arguments = QString("--reply-share 1 --account demo:demo:10 --state").split(' ')
                                      << dir.filePath("gateway.db");
        {
            START_GATEWAY(arguments);
            QCOMPARE(sms(port, "0821", "one", "1"), QByteArray("5000001"));
            QCOMPARE(sms(port, "0822", "two", "2"), QByteArray("5000002"));
            QCOMPARE(gateway.admin("/admin/report?user=demo&customer=C&flag=no"), "[3]");
        }
        START_GATEWAY(arguments + QStringList{"--account", "demo:demo:500"}); // the saved account wins
        QCOMPARE(post(port, Credits), QByteArray("8"));
        const auto entries = report(port);
        QCOMPARE(entries.size(), 3);
        QCOMPARE((QStringList{entries[0][6], entries[2][0], entries[2][5]}), (QStringList{"1", "3", "no"}));
        QCOMPARE(report(port, "replies").value(1).value(7), "2");
        QCOMPARE(sms(port, "0823", "three"), QByteArray("5000003"));
    }

    void faultModes_data()
    {
        // Status of a send and of a report request, whether the report is one, and whether both came cut short.
        QTest::addColumn<QString>("outcome");
        QTest::newRow("error500") << "500 500 - whole";
        QTest::newRow("not-xml") << "200 200 - whole";
        QTest::newRow("truncate") << "200 200 - cut";
        QTest::newRow("drop") << "0 0 - whole";
        QTest::newRow("refuse") << "200 200 report whole";
        QTest::newRow("hang") << "0 0 - whole";
    }
    void faultModes()
    {
        QFETCH(QString, outcome);
        const QString mode = QTest::currentDataTag();
        START_GATEWAY(QStringList{"--account", "demo:demo:50", "--fault", mode});
        QElapsedTimer timer;
        timer.start();
        const QByteArray send = rawHttp(port, "POST", Send, 1500);
        const QByteArray sent = rawHttp(port, "POST", "/httppost4.aspx?Type=Sent" + Login + "&EventID=0&ID=0", 1500);
        const qint64 elapsed = timer.elapsed();
        auto cut = [](const QByteArray &answer) {
            return headerOf(answer, "Content-Length").toLongLong() > httpBody(answer).size();
        };
        const bool isReport = xmlEntries(httpBody(sent), "sent").isEmpty();
        QCOMPARE(QString("%1 %2 %3 %4")
                     .arg(statusOf(send))
                     .arg(statusOf(sent))
                     .arg(isReport ? "report" : "-", cut(send) && cut(sent) ? "cut" : "whole"),
                 outcome);
        QVERIFY2(mode == "hang" ? elapsed >= 2800 : elapsed < 1500, qPrintable(QString::number(elapsed)));
        // A faulted request takes no message and charges nothing; control requests are never faulted.
        QCOMPARE(gateway.admin("/admin/messages"), "[]");
        QCOMPARE(gateway.admin("/admin/fault?mode=none"), "OK");
        QCOMPARE(post(port, Credits), QByteArray("50"));
    }

    void faultShareHitsEveryNthRequestOfTheListedTypes()
    {
        START_GATEWAY(QString("--account demo:demo:50 --fault error500 --fault-share 0.25 "
                              "--fault-types Credits,replies")
                          .split(' '));
        QList<int> statuses;
        for (int i = 0; i < 8; ++i) {
            statuses.append(statusOf(rawHttp(port, "POST", Credits)));
            QCOMPARE(report(port).size(), 0); // types outside the list are never hit and do not count
        }
        QCOMPARE(statuses, QList<int>({200, 200, 200, 500, 200, 200, 200, 500}));
    }

    void keepAliveAndPipelining()
    {
        START_GATEWAY(QString("--account demo:demo:50").split(' '));
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(socket.waitForConnected(5000));
        // Four requests in one write, two with a body to pass over: four answers, in order, on one connection.
        socket.write(request(Send) + request(Credits, "Content-Length: 11\r\n") + "hello world"
                     + request(Credits, "Transfer-Encoding: chunked\r\n") + "5\r\nhello\r\n0\r\n\r\n"
                     + request(Credits));
        QByteArray pending;
        const QByteArray first = readAnswer(socket, pending);
        QCOMPARE(httpBody(first) + ' ' + headerOf(first, "Connection").toLower(), QByteArray("5000001 keep-alive"));
        for (int i = 0; i < 3; ++i)
            QCOMPARE(httpBody(readAnswer(socket, pending)), QByteArray("49"));
        // A request split across writes that asks to close.
        for (const QByteArray part : {"POST /httppost4.aspx?Type=Cred", "its&Username=demo&Password=demo HTTP/1.1\r\n",
                                      "Host: 127.0.0.1\r\nConnection: close\r\n\r\n"}) {
            socket.write(part);
            socket.flush();
            QTest::qWait(100);
        }
        const QByteArray last = readAnswer(socket, pending);
        QCOMPARE(httpBody(last) + ' ' + headerOf(last, "Connection").toLower(), QByteArray("49 close"));
        QVERIFY(socket.state() == QAbstractSocket::UnconnectedState || socket.waitForDisconnected(5000));
    }
};

QTEST_GUILESS_MAIN(tst_gatewayPeer)
#include "tst_gatewayPeer.moc"
