// tellwave-gateway over real loopback sockets, with a plain socket client that
// shares nothing with the program's own protocol layer.

#include "TestSupport.h"

#include <QDateTime>
#include <QDomDocument>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

namespace {

const QByteArray Login = "&Username=demo&Password=demo";

int statusOf(const QByteArray &answer)
{
    const QList<QByteArray> line = answer.left(answer.indexOf("\r\n")).split(' ');
    return line.size() >= 2 ? line.at(1).toInt() : 0;
}

QByteArray headerOf(const QByteArray &answer, const QByteArray &name)
{
    const QList<QByteArray> lines = answer.left(answer.indexOf("\r\n\r\n")).split('\n');
    for (const QByteArray &line : lines) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
            return line.mid(colon + 1).trimmed();
    }
    return {};
}

QByteArray post(quint16 port, const QByteArray &pathAndQuery)
{
    return httpBody(rawHttp(port, "POST", pathAndQuery));
}

QByteArray protocol(quint16 port, const QByteArray &typeAndParameters)
{
    const qsizetype amp = typeAndParameters.indexOf('&');
    const QByteArray type = amp < 0 ? typeAndParameters : typeAndParameters.left(amp);
    const QByteArray rest = amp < 0 ? QByteArray() : typeAndParameters.mid(amp);
    return post(port, "/httppost4.aspx?Type=" + type + Login + rest);
}

QByteArray sms(quint16 port, const QByteArray &number, const QByteArray &message, const QByteArray &customer)
{
    return protocol(port, "SingleSMS&Number=" + number + "&Message=" + message + "&CustomerID=" + customer);
}

QJsonArray jsonArray(const QByteArray &body)
{
    return QJsonDocument::fromJson(body).array();
}

// The element children of each element under the root, as (name, text) pairs.
QList<QList<QPair<QString, QString>>> xmlEntries(const QByteArray &body, const QString &root)
{
    QList<QList<QPair<QString, QString>>> entries;
    QDomDocument document;
    if (!document.setContent(body) || document.documentElement().tagName() != root)
        return entries;
    for (QDomElement entry = document.documentElement().firstChildElement(); !entry.isNull();
         entry = entry.nextSiblingElement()) {
        QList<QPair<QString, QString>> children;
        for (QDomElement child = entry.firstChildElement(); !child.isNull(); child = child.nextSiblingElement())
            children.append({child.tagName(), child.text()});
        entries.append(children);
    }
    return entries;
}

QStringList names(const QList<QPair<QString, QString>> &children)
{
    QStringList result;
    for (const auto &child : children)
        result.append(child.first);
    return result;
}

// The rows of the report page as a client cuts them out: everything after the
// word DataGrid and the one character after it, up to </table>, split at </tr>
// and </td>, tags and line breaks dropped.
QList<QStringList> pageRows(const QByteArray &page)
{
    QString text = QString::fromUtf8(page);
    const qsizetype grid = text.indexOf(QLatin1String("DATAGRID"), 0, Qt::CaseInsensitive);
    if (grid < 0)
        return {};
    text = text.mid(grid + 9);
    const qsizetype end = text.indexOf(QLatin1String("</table>"), 0, Qt::CaseInsensitive);
    if (end >= 0)
        text.truncate(end);
    QList<QStringList> rows;
    const QStringList rowTexts = text.split(QLatin1String("</tr>"), Qt::KeepEmptyParts, Qt::CaseInsensitive);
    for (const QString &rowText : rowTexts) {
        QStringList cells = rowText.split(QLatin1String("</td>"), Qt::KeepEmptyParts, Qt::CaseInsensitive);
        if (cells.size() < 6)
            continue;
        for (QString &cell : cells) {
            cell.remove(QLatin1Char('\r')).remove(QLatin1Char('\n'));
            cell.remove(QLatin1String("<tr>"), Qt::CaseInsensitive).remove(QLatin1String("<td>"), Qt::CaseInsensitive);
        }
        rows.append(cells.mid(0, 6));
    }
    return rows;
}

// Reads one whole answer (headers and Content-Length body) from a kept-open
// connection; what follows it stays in 'pending'.
QByteArray readAnswer(QTcpSocket &socket, QByteArray &pending, int timeoutMs = 5000)
{
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        const qsizetype end = pending.indexOf("\r\n\r\n");
        if (end >= 0) {
            const qsizetype length = headerOf(pending.left(end + 4), "Content-Length").toLongLong();
            if (pending.size() >= end + 4 + length) {
                const QByteArray answer = pending.left(end + 4 + length);
                pending.remove(0, answer.size());
                return answer;
            }
        }
        if (timer.elapsed() > timeoutMs || socket.state() != QAbstractSocket::ConnectedState)
            return {};
        socket.waitForReadyRead(100);
        pending += socket.readAll();
    }
}

QByteArray requestBytes(const QByteArray &target, const QByteArray &extraHeaders = {},
                        const QByteArray &version = "HTTP/1.1")
{
    return "POST " + target + ' ' + version + "\r\nHost: 127.0.0.1\r\n" + extraHeaders + "\r\n";
}

} // namespace

class tst_gateway_peer : public QObject
{
    Q_OBJECT

private slots:
    void accountsAndRefusals();
    void chargingAndBatchNumbers();
    void parameterDecoding();
    void reportPagedAfterId();
    void reportAndRepliesXmlShape();
    void deliveryFailuresAndReplies();
    void delayedDeliveryAndReplies();
    void reportPage();
    void stateSurvivesRestart();
    void faultModes_data();
    void faultModes();
    void faultShareAndTypes();
    void latencyDoesNotBlockOthers();
    void keepAliveAndPipelining();
    void scriptedAnswers();
    void requestLog();
    void badCommandLine();
};

void tst_gateway_peer::accountsAndRefusals()
{
    GatewayProcess gateway({QStringLiteral("--account"), QStringLiteral("demo:demo:1000"), QStringLiteral("--account"),
                            QStringLiteral("other:pa:ss:7")});
    QVERIFY2(gateway.isRunning(), qPrintable(gateway.output()));
    const quint16 port = gateway.port();

    const QByteArray credits = rawHttp(port, "POST", "/httppost4.aspx?Type=Credits" + Login);
    QCOMPARE(statusOf(credits), 200);
    QCOMPARE(headerOf(credits, "Content-Type"), QByteArray("text/plain; charset=utf-8"));
    QCOMPARE(httpBody(credits), QByteArray("1000"));
    QCOMPARE(httpBody(rawHttp(port, "GET", "/HttpPost4.ASPX?type=credits&USERNAME=demo&password=demo")),
             QByteArray("1000"));
    // A password may hold colons: only the first and the last one separate.
    QCOMPARE(post(port, "/httppost4.aspx?Type=Credits&Username=other&Password=pa:ss"), QByteArray("7"));

    const QByteArray invalid("FALSE: Invalid username or password");
    QCOMPARE(post(port, "/httppost4.aspx?Type=Credits&Username=demo&Password=wrong"), invalid);
    QCOMPARE(post(port, "/httppost4.aspx?Type=Credits&Username=nobody&Password=demo"), invalid);
    QCOMPARE(post(port, "/httppost4.aspx?Type=Credits&Username=Demo&Password=demo"), invalid);
    QCOMPARE(post(port, "/httppost4.aspx?Type=SingleSMS&Username=demo&Password=&Number=1&Message=x&CustomerID=1"),
             invalid);
    QCOMPARE(post(port, "/httppost4.aspx?Type=Sent&Username=demo&Password=x&EventID=0&ID=0"), invalid);
    QCOMPARE(post(port, "/httppost4.aspx?Type=replies&Username=demo&Password=x&ID=0"), invalid);
    QCOMPARE(post(port, "/httppost3.aspx?Type=SentID&Username=demo&Password=x&SentID=0"), invalid);

    QCOMPARE(protocol(port, "Balance"), QByteArray("FALSE: Unknown request type"));
    QCOMPARE(post(port, "/httppost4.aspx?Username=demo&Password=demo"), QByteArray("FALSE: Unknown request type"));
    QCOMPARE(post(port, "/httppost4.aspx?Type=SentID&Username=demo&Password=demo&SentID=0"),
             QByteArray("FALSE: Unknown request type"));

    const QByteArray missing = rawHttp(port, "POST", "/httppost5.aspx?Type=Credits" + Login);
    QCOMPARE(statusOf(missing), 404);
    QVERIFY(headerOf(missing, "Content-Type").startsWith("text/html"));
    QVERIFY(httpBody(missing).contains("<html>"));
    QCOMPARE(statusOf(rawHttp(port, "DELETE", "/httppost4.aspx?Type=Credits" + Login)), 405);

    // Nothing of the refusals was charged.
    QCOMPARE(protocol(port, "Credits"), QByteArray("1000"));
    QCOMPARE(jsonArray(gateway.admin(QStringLiteral("/admin/messages"))).size(), 0);
}

void tst_gateway_peer::chargingAndBatchNumbers()
{
    GatewayProcess gateway({QStringLiteral("--account"), QStringLiteral("demo:demo:2"), QStringLiteral("--account"),
                            QStringLiteral("b:b:5")});
    QVERIFY2(gateway.isRunning(), qPrintable(gateway.output()));
    const quint16 port = gateway.port();

    QCOMPARE(sms(port, "%20%20", "hello", "1"), QByteArray("FALSE: No number given"));
    QCOMPARE(sms(port, "", "hello", "1"), QByteArray("FALSE: No number given"));
    QCOMPARE(protocol(port, "Credits"), QByteArray("2"));

    const QByteArray first = rawHttp(port, "POST",
                                     "/httppost4.aspx?Type=SingleSMS" + Login + "&Number=0821234567&Message=a&CustomerID=11");
    QCOMPARE(headerOf(first, "Content-Type"), QByteArray("text/plain; charset=utf-8"));
    QCOMPARE(httpBody(first), QByteArray("5000001"));
    QCOMPARE(post(port, "/httppost4.aspx?Type=SingleSMS&Username=b&Password=b&Number=0831&Message=b&CustomerID=1"),
             QByteArray("5000002"));
    QCOMPARE(sms(port, "%200821234568%20", "c", "12"), QByteArray("5000003"));
    QCOMPARE(protocol(port, "Credits"), QByteArray("0"));
    QCOMPARE(sms(port, "0821234569", "d", "13"), QByteArray("FALSE: Not enough credits"));
    QCOMPARE(post(port, "/httppost4.aspx?Type=Credits&Username=b&Password=b"), QByteArray("4"));

    const QJsonArray messages = jsonArray(gateway.admin(QStringLiteral("/admin/messages?user=demo")));
    QCOMPARE(messages.size(), 2);
    const QJsonObject second = messages.at(1).toObject();
    QCOMPARE(second.value(QStringLiteral("number")).toString(), QStringLiteral("0821234568"));
    QCOMPARE(second.value(QStringLiteral("message")).toString(), QStringLiteral("c"));
    QCOMPARE(second.value(QStringLiteral("customerId")).toString(), QStringLiteral("12"));
    QCOMPARE(second.value(QStringLiteral("batch")).toInteger(), 5000003);
    QCOMPARE(second.value(QStringLiteral("state")).toString(), QStringLiteral("delivered"));
    QVERIFY(!second.value(QStringLiteral("accepted")).toString().isEmpty());

    // Topping the account up makes it send again.
    QCOMPARE(gateway.admin(QStringLiteral("/admin/account?user=demo&credits=1")), QByteArray("OK"));
    QCOMPARE(sms(port, "0821234569", "d", "13"), QByteArray("5000004"));
    QCOMPARE(gateway.admin(QStringLiteral("/admin/account?user=new&password=pw&credits=3")), QByteArray("OK"));
    QCOMPARE(post(port, "/httppost4.aspx?Type=Credits&Username=new&Password=pw"), QByteArray("3"));
}

void tst_gateway_peer::parameterDecoding()
{
    GatewayProcess gateway;
    QVERIFY2(gateway.isRunning(), qPrintable(gateway.output()));
    const quint16 port = gateway.port();

    QCOMPARE(post(port, "/httppost4.aspx?type=SingleSMS&USERNAME=demo&PassWord=demo&number=%2B27821234567"
                        "&MESSAGE=one+two%2Bthree%26four%23five%0Asix%20%E2%82%AC%zz&customerid=4%2B2"),
             QByteArray("5000001"));
    // A literal "+" is a blank, as a web form decodes it.
    QCOMPARE(sms(port, "+27821234567", "a+b", "x"), QByteArray("5000002"));
    // The first of a repeated parameter counts.
    QCOMPARE(sms(port, "0821&Number=0999", "m", "y"), QByteArray("5000003"));

    const QJsonArray messages = jsonArray(gateway.admin(QStringLiteral("/admin/messages")));
    QCOMPARE(messages.size(), 3);
    QCOMPARE(messages.at(0).toObject().value(QStringLiteral("number")).toString(), QStringLiteral("+27821234567"));
    QCOMPARE(messages.at(0).toObject().value(QStringLiteral("message")).toString(),
             QStringLiteral("one two+three&four#five\nsix \u20AC%zz"));
    QCOMPARE(messages.at(0).toObject().value(QStringLiteral("customerId")).toString(), QStringLiteral("4+2"));
    QCOMPARE(messages.at(1).toObject().value(QStringLiteral("number")).toString(), QStringLiteral("27821234567"));
    QCOMPARE(messages.at(1).toObject().value(QStringLiteral("message")).toString(), QStringLiteral("a b"));
    QCOMPARE(messages.at(2).toObject().value(QStringLiteral("number")).toString(), QStringLiteral("0821"));

    // A request may carry a body; it is read and passed over.
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(socket.waitForConnected(5000));
    socket.write(requestBytes("/httppost4.aspx?Type=Credits" + Login, "Content-Length: 11\r\n") + "hello world"
                 + requestBytes("/httppost4.aspx?Type=Credits" + Login,
                                "Transfer-Encoding: chunked\r\n")
                 + "5\r\nhello\r\n0\r\n\r\n" + requestBytes("/httppost4.aspx?Type=Credits" + Login));
    QByteArray pending;
    for (int i = 0; i < 3; ++i)
        QCOMPARE(httpBody(readAnswer(socket, pending)), QByteArray("997"));
}

void tst_gateway_peer::reportPagedAfterId()
{
    GatewayProcess gateway;
    QVERIFY2(gateway.isRunning(), qPrintable(gateway.output()));
    const quint16 port = gateway.port();

    const QJsonArray trns = jsonArray(gateway.admin(QStringLiteral("/admin/report?user=demo&customer=7&flag=true&count=250")));
    QCOMPARE(trns.size(), 250);
    QCOMPARE(trns.first().toInteger(), 1);
    QCOMPARE(trns.last().toInteger(), 250);

    auto page = [&](const QByteArray &id) {
        return xmlEntries(protocol(port, "Sent&EventID=0&ID=" + id), QStringLiteral("sent"));
    };
    const auto first = page("0");
    const auto second = page("100");
    const auto third = page("200");
    QCOMPARE(first.size(), 100);
    QCOMPARE(second.size(), 100);
    QCOMPARE(third.size(), 50);
    QCOMPARE(first.first().at(0).second, QStringLiteral("1"));
    QCOMPARE(first.last().at(0).second, QStringLiteral("100"));
    QCOMPARE(second.first().at(0).second, QStringLiteral("101"));
    QCOMPARE(third.last().at(0).second, QStringLiteral("250"));
    QCOMPARE(third.last().at(5).second, QStringLiteral("true"));
    QCOMPARE(third.last().at(6).second, QStringLiteral("7"));
    QCOMPARE(page("250").size(), 0);
    QCOMPARE(page("9999").size(), 0);
    QCOMPARE(page("37").first().at(0).second, QStringLiteral("38"));

    // New entries continue the numbering after the old ones.
    QCOMPARE(sms(port, "0821", "m", "8"), QByteArray("5000001"));
    const auto fresh = page("250");
    QCOMPARE(fresh.size(), 1);
    QCOMPARE(fresh.first().at(0).second, QStringLiteral("251"));
    QCOMPARE(fresh.first().at(6).second, QStringLiteral("8"));
}

void tst_gateway_peer::reportAndRepliesXmlShape()
{
    GatewayProcess gateway;
    QVERIFY2(gateway.isRunning(), qPrintable(gateway.output()));
    const quint16 port = gateway.port();

    const QString tricky = QStringLiteral("<b>Tom & \"Jerry\"</b> it's\r\nover \u00E9");
    QCOMPARE(sms(port, "0821234567", QUrl::toPercentEncoding(tricky), "42"), QByteArray("5000001"));

    const QByteArray sentAnswer = rawHttp(port, "POST", "/httppost4.aspx?Type=Sent" + Login + "&EventID=0&ID=0");
    QCOMPARE(headerOf(sentAnswer, "Content-Type"), QByteArray("text/xml; charset=utf-8"));
    const QByteArray sent = httpBody(sentAnswer);
    QVERIFY2(sent.contains(">\r\n    <") || sent.contains(">\n    <"), sent.constData()); // indented
    const auto entries = xmlEntries(sent, QStringLiteral("sent"));
    QCOMPARE(entries.size(), 1);
    QCOMPARE(names(entries.first()), QStringList({QStringLiteral("trn"), QStringLiteral("number"),
                                                  QStringLiteral("message"), QStringLiteral("datetime"),
                                                  QStringLiteral("batch"), QStringLiteral("delivered"),
                                                  QStringLiteral("customerid")}));
    QCOMPARE(entries.first().at(0).second, QStringLiteral("1"));
    QCOMPARE(entries.first().at(1).second, QStringLiteral("0821234567"));
    QCOMPARE(entries.first().at(2).second, tricky);
    QVERIFY(QDateTime::fromString(entries.first().at(3).second, QStringLiteral("yyyy-MM-dd HH:mm:ss")).isValid());
    QCOMPARE(entries.first().at(4).second, QStringLiteral("5000001"));
    QCOMPARE(entries.first().at(5).second, QStringLiteral("TRUE"));
    QCOMPARE(entries.first().at(6).second, QStringLiteral("42"));

    // Control characters that XML cannot carry are left out, the answer stays well formed.
    QCOMPARE(sms(port, "0821", "bell%07tab%09end", "43"), QByteArray("5000002"));
    const auto withControl = xmlEntries(protocol(port, "Sent&EventID=0&ID=1"), QStringLiteral("sent"));
    QCOMPARE(withControl.size(), 1);
    QCOMPARE(withControl.first().at(2).second, QStringLiteral("belltab\tend"));

    // Replies: given verbatim, ids with blanks and quotes, several with suffixes.
    QCOMPARE(jsonArray(gateway.admin(QStringLiteral("/admin/reply?user=demo&id=%20R%27q%22%20&from=0831&text=Yes%20%26%20no"
                                                    "&received=2024-01-02%2003:04:05&sentmessage=Hi%3C&sentdatetime=01/02/2024"
                                                    "&customer=42"))),
             QJsonArray({1}));
    QCOMPARE(jsonArray(gateway.admin(QStringLiteral("/admin/reply?user=demo&id=X&from=1&text=t&count=3"))),
             QJsonArray({2, 3, 4}));
    const QByteArray repliesAnswer = rawHttp(port, "POST", "/httppost4.aspx?Type=replies" + Login + "&ID=0");
    QCOMPARE(headerOf(repliesAnswer, "Content-Type"), QByteArray("text/xml; charset=utf-8"));
    const auto replies = xmlEntries(httpBody(repliesAnswer), QStringLiteral("replies"));
    QCOMPARE(replies.size(), 4);
    QCOMPARE(names(replies.first()),
             QStringList({QStringLiteral("id"), QStringLiteral("seq"), QStringLiteral("from"), QStringLiteral("text"),
                          QStringLiteral("received"), QStringLiteral("sentmessage"), QStringLiteral("sentdatetime"),
                          QStringLiteral("customerid")}));
    QCOMPARE(replies.first().at(0).second, QStringLiteral(" R'q\" "));
    QCOMPARE(replies.first().at(1).second, QStringLiteral("1"));
    QCOMPARE(replies.first().at(2).second, QStringLiteral("0831"));
    QCOMPARE(replies.first().at(3).second, QStringLiteral("Yes & no"));
    QCOMPARE(replies.first().at(4).second, QStringLiteral("2024-01-02 03:04:05"));
    QCOMPARE(replies.first().at(5).second, QStringLiteral("Hi<"));
    QCOMPARE(replies.first().at(6).second, QStringLiteral("01/02/2024"));
    QCOMPARE(replies.first().at(7).second, QStringLiteral("42"));
    QCOMPARE(replies.at(1).at(0).second, QStringLiteral("X-1"));
    QCOMPARE(replies.at(3).at(0).second, QStringLiteral("X-3"));

    const auto after = xmlEntries(protocol(port, "replies&ID=2"), QStringLiteral("replies"));
    QCOMPARE(after.size(), 2);
    QCOMPARE(after.first().at(1).second, QStringLiteral("3"));

    // An empty list is still a document with its root.
    GatewayProcess empty;
    QVERIFY(empty.isRunning());
    QDomDocument document;
    QVERIFY(document.setContent(protocol(empty.port(), "replies&ID=0")));
    QCOMPARE(document.documentElement().tagName(), QStringLiteral("replies"));
    QVERIFY(document.setContent(protocol(empty.port(), "Sent&EventID=0&ID=0")));
    QCOMPARE(document.documentElement().tagName(), QStringLiteral("sent"));
}

void tst_gateway_peer::deliveryFailuresAndReplies()
{
    const QStringList arguments{QStringLiteral("--account"), QStringLiteral("demo:demo:100"),
                                QStringLiteral("--failure-share"), QStringLiteral("0.5"),
                                QStringLiteral("--reply-share"), QStringLiteral("1"),
                                QStringLiteral("--seed"), QStringLiteral("7")};
    QStringList outcomes[2];
    for (QStringList &outcome : outcomes) {
        GatewayProcess gateway(arguments);
        QVERIFY2(gateway.isRunning(), qPrintable(gateway.output()));
        for (int i = 1; i <= 6; ++i)
            QCOMPARE(sms(gateway.port(), "08200000" + QByteArray::number(i), "m" + QByteArray::number(i),
                         QByteArray::number(100 + i)),
                     QByteArray::number(5000000 + i));
        const auto report = xmlEntries(protocol(gateway.port(), "Sent&EventID=0&ID=0"), QStringLiteral("sent"));
        QCOMPARE(report.size(), 6);
        QStringList delivered;
        for (const auto &entry : report) {
            outcome.append(entry.at(5).second);
            if (entry.at(5).second == QLatin1String("TRUE"))
                delivered.append(entry.at(6).second);
        }
        QCOMPARE(outcome.count(QStringLiteral("FALSE")), 3);
        QCOMPARE(outcome.count(QStringLiteral("TRUE")), 3);

        // Every delivered message, and only those, got a reply.
        const auto replies = xmlEntries(protocol(gateway.port(), "replies&ID=0"), QStringLiteral("replies"));
        QCOMPARE(replies.size(), 3);
        const QStringList texts = {QStringLiteral("Thank you"), QStringLiteral("Received, thanks"),
                                   QStringLiteral("Please call me"), QStringLiteral("STOP"), QStringLiteral("Yes")};
        for (qsizetype i = 0; i < replies.size(); ++i) {
            const auto &reply = replies.at(i);
            QCOMPARE(reply.at(0).second, QStringLiteral("R%1").arg(i + 1, 7, 10, QLatin1Char('0')));
            QCOMPARE(reply.at(7).second, delivered.at(i));
            const int n = delivered.at(i).toInt() - 100;
            QCOMPARE(reply.at(2).second, QStringLiteral("08200000%1").arg(n));
            QCOMPARE(reply.at(5).second, QStringLiteral("m%1").arg(n));
            QVERIFY(texts.contains(reply.at(3).second));
        }
        const QJsonArray messages = jsonArray(gateway.admin(QStringLiteral("/admin/messages")));
        QCOMPARE(messages.size(), 6);
        for (qsizetype i = 0; i < messages.size(); ++i)
            QCOMPARE(messages.at(i).toObject().value(QStringLiteral("state")).toString(),
                     outcome.at(i) == QLatin1String("TRUE") ? QStringLiteral("delivered") : QStringLiteral("failed"));
    }
    // The same seed gives the same run.
    QCOMPARE(outcomes[0], outcomes[1]);
}

void tst_gateway_peer::delayedDeliveryAndReplies()
{
    GatewayProcess gateway({QStringLiteral("--account"), QStringLiteral("demo:demo:100"),
                            QStringLiteral("--delivery-delay"), QStringLiteral("1.5"), QStringLiteral("--reply-share"),
                            QStringLiteral("1"), QStringLiteral("--reply-delay"), QStringLiteral("1.5")});
    QVERIFY2(gateway.isRunning(), qPrintable(gateway.output()));
    const quint16 port = gateway.port();

    QCOMPARE(sms(port, "0821", "first", "1"), QByteArray("5000001"));
    // Entries added meanwhile take the transaction numbers in the order they become due.
    QCOMPARE(jsonArray(gateway.admin(QStringLiteral("/admin/report?user=demo&customer=9&flag=no"))), QJsonArray({1}));
    QCOMPARE(xmlEntries(protocol(port, "Sent&EventID=0&ID=1"), QStringLiteral("sent")).size(), 0);
    QCOMPARE(pageRows(post(port, "/httppost3.aspx?Type=SentID" + Login + "&SentID=0")).last().last(),
             QStringLiteral("Pending"));
    QCOMPARE(jsonArray(gateway.admin(QStringLiteral("/admin/messages"))).first().toObject().value(QStringLiteral("state")).toString(),
             QStringLiteral("pending"));

    QTest::qWait(1800);
    const auto report = xmlEntries(protocol(port, "Sent&EventID=0&ID=1"), QStringLiteral("sent"));
    QCOMPARE(report.size(), 1);
    QCOMPARE(report.first().at(0).second, QStringLiteral("2"));
    QCOMPARE(report.first().at(6).second, QStringLiteral("1"));
    QCOMPARE(xmlEntries(protocol(port, "replies&ID=0"), QStringLiteral("replies")).size(), 0);

    QTest::qWait(1800);
    QCOMPARE(xmlEntries(protocol(port, "replies&ID=0"), QStringLiteral("replies")).size(), 1);
}

void tst_gateway_peer::reportPage()
{
    GatewayProcess gateway({QStringLiteral("--account"), QStringLiteral("demo:demo:100"), QStringLiteral("--account"),
                            QStringLiteral("b:b:9"), QStringLiteral("--failure-share"), QStringLiteral("1")});
    QVERIFY2(gateway.isRunning(), qPrintable(gateway.output()));
    const quint16 port = gateway.port();

    QCOMPARE(sms(port, "0821", QUrl::toPercentEncoding(QStringLiteral("a</td><td>b & c")), "5"),
             QByteArray("5000001"));
    QCOMPARE(post(port, "/httppost4.aspx?Type=SingleSMS&Username=b&Password=b&Number=0831&Message=x&CustomerID=6"),
             QByteArray("5000002"));
    QCOMPARE(sms(port, "0822", "plain", ""), QByteArray("5000003"));

    const QByteArray answer = rawHttp(port, "POST", "/HTTPPOST3.ASPX?Type=SentID" + Login + "&SentID=0");
    QCOMPARE(statusOf(answer), 200);
    QCOMPARE(headerOf(answer, "Content-Type"), QByteArray("text/html; charset=utf-8"));
    const QByteArray page = httpBody(answer);
    QCOMPARE(page.toUpper().count("DATAGRID"), 1);
    QVERIFY(page.contains("DataGrid>\r\n<tr><td>SentID</td>"));

    const QList<QStringList> rows = pageRows(page);
    QCOMPARE(rows.size(), 3);
    QCOMPARE(rows.at(0), QStringList({QStringLiteral("SentID"), QStringLiteral("PhoneNumber"), QStringLiteral("Data"),
                                      QStringLiteral("DateTime"), QStringLiteral("CustomerID"),
                                      QStringLiteral("SentStatus")}));
    QCOMPARE(rows.at(1).at(0), QStringLiteral("5000001"));
    QCOMPARE(rows.at(1).at(1), QStringLiteral("0821"));
    QCOMPARE(rows.at(1).at(2), QStringLiteral("a&lt;/td&gt;&lt;td&gt;b &amp; c"));
    QVERIFY(QDateTime::fromString(rows.at(1).at(3), QStringLiteral("yyyy-MM-dd HH:mm:ss")).isValid());
    QCOMPARE(rows.at(1).at(4), QStringLiteral("5"));
    QCOMPARE(rows.at(1).at(5), QStringLiteral("Failed"));
    QCOMPARE(rows.at(2).at(0), QStringLiteral("5000003"));
    QCOMPARE(rows.at(2).at(4), QString());

    GatewayProcess delivering;
    QVERIFY(delivering.isRunning());
    QCOMPARE(sms(delivering.port(), "0821", "m", "1"), QByteArray("5000001"));
    const QList<QStringList> deliveredRows = pageRows(post(delivering.port(), "/httppost3.aspx?Type=SentID" + Login + "&SentID=0"));
    QCOMPARE(deliveredRows.size(), 2);
    QCOMPARE(deliveredRows.at(1).at(5), QStringLiteral("Sent"));
}

void tst_gateway_peer::stateSurvivesRestart()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString stateFile = dir.filePath(QStringLiteral("gateway.db"));
    const QStringList arguments{QStringLiteral("--state"), stateFile, QStringLiteral("--account"),
                                QStringLiteral("demo:demo:10"), QStringLiteral("--reply-share"), QStringLiteral("1"),
                                QStringLiteral("--delivery-delay"), QStringLiteral("0")};
    {
        GatewayProcess gateway(arguments);
        QVERIFY2(gateway.isRunning(), qPrintable(gateway.output()));
        QCOMPARE(sms(gateway.port(), "0821", "one", "1"), QByteArray("5000001"));
        QCOMPARE(sms(gateway.port(), "0822", "two", "2"), QByteArray("5000002"));
        QCOMPARE(jsonArray(gateway.admin(QStringLiteral("/admin/report?user=demo&customer=C&flag=no"))),
                 QJsonArray({3}));
        QCOMPARE(gateway.admin(QStringLiteral("/admin/account?user=late&password=pw&credits=4")), QByteArray("OK"));
        gateway.stop();
    }
    {
        // A message still waiting for its delivery at the stop is decided after the restart.
        QStringList delayed = arguments;
        delayed.last() = QStringLiteral("1");
        GatewayProcess gateway(delayed + QStringList{QStringLiteral("--account"), QStringLiteral("demo:demo:500")});
        QVERIFY2(gateway.isRunning(), qPrintable(gateway.output()));
        QCOMPARE(protocol(gateway.port(), "Credits"), QByteArray("8"));
        QCOMPARE(post(gateway.port(), "/httppost4.aspx?Type=Credits&Username=late&Password=pw"), QByteArray("4"));
        QCOMPARE(sms(gateway.port(), "0823", "three", "3"), QByteArray("5000003"));
        gateway.stop();
    }
    QTest::qWait(1200);
    GatewayProcess gateway(arguments);
    QVERIFY2(gateway.isRunning(), qPrintable(gateway.output()));
    QCOMPARE(protocol(gateway.port(), "Credits"), QByteArray("7"));
    const auto report = xmlEntries(protocol(gateway.port(), "Sent&EventID=0&ID=0"), QStringLiteral("sent"));
    QCOMPARE(report.size(), 4);
    QCOMPARE(report.at(0).at(6).second, QStringLiteral("1"));
    QCOMPARE(report.at(2).at(5).second, QStringLiteral("no"));
    QCOMPARE(report.at(3).at(0).second, QStringLiteral("4"));
    QCOMPARE(report.at(3).at(6).second, QStringLiteral("3"));
    const auto replies = xmlEntries(protocol(gateway.port(), "replies&ID=0"), QStringLiteral("replies"));
    QCOMPARE(replies.size(), 3);
    QCOMPARE(replies.at(2).at(0).second, QStringLiteral("R0000003"));
    QCOMPARE(replies.at(2).at(7).second, QStringLiteral("3"));
    QCOMPARE(sms(gateway.port(), "0824", "four", "4"), QByteArray("5000004"));
}

void tst_gateway_peer::faultModes_data()
{
    QTest::addColumn<QString>("mode");
    QTest::newRow("error500") << QStringLiteral("error500");
    QTest::newRow("not-xml") << QStringLiteral("not-xml");
    QTest::newRow("truncate") << QStringLiteral("truncate");
    QTest::newRow("drop") << QStringLiteral("drop");
    QTest::newRow("refuse") << QStringLiteral("refuse");
    QTest::newRow("hang") << QStringLiteral("hang");
}

void tst_gateway_peer::faultModes()
{
    QFETCH(QString, mode);
    GatewayProcess gateway({QStringLiteral("--account"), QStringLiteral("demo:demo:50"), QStringLiteral("--fault"),
                            mode});
    QVERIFY2(gateway.isRunning(), qPrintable(gateway.output()));
    const quint16 port = gateway.port();
    const int timeout = mode == QLatin1String("hang") ? 1500 : 10000;

    QElapsedTimer timer;
    timer.start();
    const QByteArray send = rawHttp(port, "POST",
                                    "/httppost4.aspx?Type=SingleSMS" + Login + "&Number=0821&Message=m&CustomerID=1",
                                    timeout);
    const QByteArray sent = rawHttp(port, "POST", "/httppost4.aspx?Type=Sent" + Login + "&EventID=0&ID=0", timeout);
    QDomDocument document;
    if (mode == QLatin1String("error500")) {
        QCOMPARE(statusOf(send), 500);
        QVERIFY(headerOf(send, "Content-Type").startsWith("text/html"));
        QVERIFY(httpBody(send).contains("<html>"));
        QCOMPARE(statusOf(sent), 500);
    } else if (mode == QLatin1String("not-xml")) {
        QCOMPARE(statusOf(sent), 200);
        QVERIFY(!httpBody(sent).isEmpty());
        QVERIFY(!document.setContent(httpBody(sent)));
    } else if (mode == QLatin1String("truncate")) {
        QCOMPARE(statusOf(sent), 200);
        QVERIFY(headerOf(sent, "Content-Length").toLongLong() > httpBody(sent).size());
        QVERIFY(!document.setContent(httpBody(sent)));
        QVERIFY(headerOf(send, "Content-Length").toLongLong() > httpBody(send).size());
    } else if (mode == QLatin1String("drop") || mode == QLatin1String("hang")) {
        QCOMPARE(send, QByteArray());
        QCOMPARE(sent, QByteArray());
        if (mode == QLatin1String("hang"))
            QVERIFY(timer.elapsed() >= 2 * timeout - 200);
        else
            QVERIFY(timer.elapsed() < timeout);
    } else if (mode == QLatin1String("refuse")) {
        QCOMPARE(httpBody(send), QByteArray("FALSE: Service temporarily unavailable"));
        QVERIFY(document.setContent(httpBody(sent)));
        QCOMPARE(protocol(port, "Credits"), QByteArray("50"));
    }

    // A faulted request takes no message and charges nothing; control requests are never faulted.
    QCOMPARE(jsonArray(gateway.admin(QStringLiteral("/admin/messages"))).size(), 0);
    QCOMPARE(jsonArray(gateway.admin(QStringLiteral("/admin/requests"))).size(),
             mode == QLatin1String("refuse") ? 3 : 2);
    QCOMPARE(gateway.admin(QStringLiteral("/admin/fault?mode=none")), QByteArray("OK"));
    QCOMPARE(protocol(port, "Credits"), QByteArray("50"));
    QCOMPARE(sms(port, "0821", "m", "1"), QByteArray("5000001"));
}

void tst_gateway_peer::faultShareAndTypes()
{
    GatewayProcess gateway({QStringLiteral("--account"), QStringLiteral("demo:demo:50"), QStringLiteral("--fault"),
                            QStringLiteral("error500"), QStringLiteral("--fault-share"), QStringLiteral("0.25"),
                            QStringLiteral("--fault-types"), QStringLiteral("Credits,replies")});
    QVERIFY2(gateway.isRunning(), qPrintable(gateway.output()));
    const quint16 port = gateway.port();
    QList<int> statuses;
    for (int i = 0; i < 8; ++i) {
        statuses.append(statusOf(rawHttp(port, "POST", "/httppost4.aspx?Type=Credits" + Login)));
        // Types outside the list are never hit and do not count.
        QCOMPARE(statusOf(rawHttp(port, "POST", "/httppost4.aspx?Type=Sent" + Login + "&EventID=0&ID=0")), 200);
    }
    QCOMPARE(statuses, QList<int>({200, 200, 200, 500, 200, 200, 200, 500}));

    QCOMPARE(gateway.admin(QStringLiteral("/admin/fault?mode=not-xml&share=0.5&types=sentid")), QByteArray("OK"));
    const QByteArray page = "/httppost3.aspx?Type=SentID" + Login + "&SentID=0";
    QVERIFY(post(port, page).contains("DataGrid"));
    QVERIFY(!post(port, page).contains("DataGrid"));
    QVERIFY(post(port, page).contains("DataGrid"));
    QVERIFY(!post(port, page).contains("DataGrid"));
    QCOMPARE(protocol(port, "Credits"), QByteArray("50"));

    QVERIFY(gateway.admin(QStringLiteral("/admin/fault?mode=melt")).startsWith("ERROR"));
    QVERIFY(gateway.admin(QStringLiteral("/admin/fault?mode=drop&types=Balance")).startsWith("ERROR"));
    QVERIFY(gateway.admin(QStringLiteral("/admin/fault?mode=drop&share=2")).startsWith("ERROR"));
}

void tst_gateway_peer::latencyDoesNotBlockOthers()
{
    GatewayProcess gateway({QStringLiteral("--account"), QStringLiteral("demo:demo:50"), QStringLiteral("--latency-ms"),
                            QStringLiteral("800")});
    QVERIFY2(gateway.isRunning(), qPrintable(gateway.output()));
    const quint16 port = gateway.port();

    QTcpSocket slow;
    slow.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(slow.waitForConnected(5000));
    QElapsedTimer timer;
    timer.start();
    slow.write(requestBytes("/httppost4.aspx?Type=Credits" + Login));
    QVERIFY(slow.waitForBytesWritten(5000));

    // While the first answer waits, other connections and control requests are served.
    QCOMPARE(gateway.admin(QStringLiteral("/admin/state")).isEmpty(), false);
    const qint64 adminDone = timer.elapsed();
    QByteArray pending;
    const QByteArray answer = readAnswer(slow, pending);
    const qint64 answered = timer.elapsed();
    QCOMPARE(httpBody(answer), QByteArray("50"));
    QVERIFY2(answered >= 790, qPrintable(QString::number(answered)));
    QVERIFY2(adminDone < answered, qPrintable(QStringLiteral("%1 %2").arg(adminDone).arg(answered)));

    QCOMPARE(gateway.admin(QStringLiteral("/admin/latency?ms=0")), QByteArray("OK"));
    timer.restart();
    slow.write(requestBytes("/httppost4.aspx?Type=Credits" + Login));
    QCOMPARE(httpBody(readAnswer(slow, pending)), QByteArray("50"));
    QVERIFY(timer.elapsed() < 790);
}

void tst_gateway_peer::keepAliveAndPipelining()
{
    GatewayProcess gateway({QStringLiteral("--account"), QStringLiteral("demo:demo:50")});
    QVERIFY2(gateway.isRunning(), qPrintable(gateway.output()));
    const quint16 port = gateway.port();

    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(socket.waitForConnected(5000));
    // Two requests in one write: two answers, in order, on the same connection.
    socket.write(requestBytes("/httppost4.aspx?Type=SingleSMS" + Login + "&Number=1&Message=a&CustomerID=1")
                 + requestBytes("/httppost4.aspx?Type=Credits" + Login));
    QByteArray pending;
    const QByteArray first = readAnswer(socket, pending);
    QCOMPARE(httpBody(first), QByteArray("5000001"));
    QCOMPARE(headerOf(first, "Connection").toLower(), QByteArray("keep-alive"));
    QCOMPARE(httpBody(readAnswer(socket, pending)), QByteArray("49"));

    // A request split across writes, then one that asks to close.
    socket.write("POST /httppost4.aspx?Type=Cred");
    socket.flush();
    QTest::qWait(100);
    socket.write("its" + Login + " HTTP/1.1\r\nHost: 127.0.0.1\r\n");
    socket.flush();
    QTest::qWait(100);
    socket.write("\r\n");
    QCOMPARE(httpBody(readAnswer(socket, pending)), QByteArray("49"));
    QCOMPARE(socket.state(), QAbstractSocket::ConnectedState);
    socket.write(requestBytes("/httppost4.aspx?Type=Credits" + Login, "Connection: close\r\n"));
    const QByteArray last = readAnswer(socket, pending);
    QCOMPARE(httpBody(last), QByteArray("49"));
    QCOMPARE(headerOf(last, "Connection").toLower(), QByteArray("close"));
    QVERIFY(socket.state() == QAbstractSocket::UnconnectedState || socket.waitForDisconnected(5000));

    // HTTP/1.0 closes unless asked to keep the connection.
    QTcpSocket old;
    old.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(old.waitForConnected(5000));
    old.write(requestBytes("/httppost4.aspx?Type=Credits" + Login, "Connection: keep-alive\r\n", "HTTP/1.0"));
    pending.clear();
    QCOMPARE(httpBody(readAnswer(old, pending)), QByteArray("49"));
    QCOMPARE(old.state(), QAbstractSocket::ConnectedState);
    old.write(requestBytes("/httppost4.aspx?Type=Credits" + Login, {}, "HTTP/1.0"));
    QCOMPARE(httpBody(readAnswer(old, pending)), QByteArray("49"));
    QVERIFY(old.state() == QAbstractSocket::UnconnectedState || old.waitForDisconnected(5000));

    // A request line that is not HTTP gets 400 and the connection closes.
    const QByteArray bad = rawHttp(port, "GARBAGE", "no spaces allowed here");
    QCOMPARE(statusOf(bad), 400);
}

void tst_gateway_peer::scriptedAnswers()
{
    GatewayProcess gateway({QStringLiteral("--account"), QStringLiteral("demo:demo:5")});
    QVERIFY2(gateway.isRunning(), qPrintable(gateway.output()));
    const quint16 port = gateway.port();

    QCOMPARE(gateway.admin(QStringLiteral("/admin/script?type=singlesms&body=%0AFALSE%20busy%0D%0A&status=503&count=2")),
             QByteArray("OK"));
    QCOMPARE(gateway.admin(QStringLiteral("/admin/script?type=Sent&body=%3Csent%3E%3Cmsg%3E%3Ctrn%3E9%3C/trn%3E%3C/msg%3E%3C/sent%3E")),
             QByteArray("OK"));
    for (int i = 0; i < 2; ++i) {
        const QByteArray answer = rawHttp(port, "POST",
                                          "/httppost4.aspx?Type=SingleSMS" + Login + "&Number=1&Message=a&CustomerID=1");
        QCOMPARE(statusOf(answer), 503);
        QCOMPARE(httpBody(answer), QByteArray("\nFALSE busy\r\n"));
    }
    QCOMPARE(protocol(port, "Credits"), QByteArray("5"));
    QCOMPARE(sms(port, "1", "a", "1"), QByteArray("5000001"));
    QCOMPARE(protocol(port, "Sent&EventID=0&ID=0"), QByteArray("<sent><msg><trn>9</trn></msg></sent>"));
    QCOMPARE(xmlEntries(protocol(port, "Sent&EventID=0&ID=0"), QStringLiteral("sent")).size(), 1);
    QCOMPARE(jsonArray(gateway.admin(QStringLiteral("/admin/requests"))).size(), 6);
    QVERIFY(gateway.admin(QStringLiteral("/admin/script?body=x")).startsWith("ERROR"));
}

void tst_gateway_peer::requestLog()
{
    GatewayProcess gateway;
    QVERIFY2(gateway.isRunning(), qPrintable(gateway.output()));
    const quint16 port = gateway.port();

    const QByteArray target = "/httppost4.aspx?Type=SingleSMS" + Login + "&Number=0821&Message=a+b%2Bc%26&CustomerID=1";
    rawHttp(port, "POST", target);
    rawHttp(port, "GET", "/httppost4.aspx?Type=Credits" + Login);
    const QJsonArray requests = jsonArray(gateway.admin(QStringLiteral("/admin/requests")));
    QCOMPARE(requests.size(), 2);
    QCOMPARE(requests.at(0).toObject().value(QStringLiteral("method")).toString(), QStringLiteral("POST"));
    QCOMPARE(requests.at(0).toObject().value(QStringLiteral("target")).toString(), QString::fromLatin1(target));
    QCOMPARE(requests.at(1).toObject().value(QStringLiteral("method")).toString(), QStringLiteral("GET"));
    QCOMPARE(gateway.admin(QStringLiteral("/admin/clear-requests")), QByteArray("OK"));
    QCOMPARE(jsonArray(gateway.admin(QStringLiteral("/admin/requests"))).size(), 0);

    const QJsonObject state = QJsonDocument::fromJson(gateway.admin(QStringLiteral("/admin/state"))).object();
    const QJsonObject account = state.value(QStringLiteral("accounts")).toArray().first().toObject();
    QCOMPARE(account.value(QStringLiteral("user")).toString(), QStringLiteral("demo"));
    QCOMPARE(account.value(QStringLiteral("credits")).toInteger(), 999);
    QCOMPARE(state.value(QStringLiteral("messages")).toInteger(), 1);
    QCOMPARE(statusOf(rawHttp(port, "GET", "/admin/nothing")), 404);
}

void tst_gateway_peer::badCommandLine()
{
    const QList<QStringList> cases{
        {QStringLiteral("--account"), QStringLiteral("demo-without-colons")},
        {QStringLiteral("--account"), QStringLiteral("demo:demo:many")},
        {QStringLiteral("--failure-share"), QStringLiteral("1.5")},
        {QStringLiteral("--fault"), QStringLiteral("melt")},
        {QStringLiteral("--fault-types"), QStringLiteral("Credits,Balance")},
        {QStringLiteral("--bind"), QStringLiteral("not-an-address")},
    };
    for (const QStringList &arguments : cases) {
        QProcess process;
        process.start(GatewayProcess::executable(), QStringList{QStringLiteral("--port"), QStringLiteral("0")} + arguments);
        QVERIFY(process.waitForFinished(10000));
        QVERIFY2(process.exitCode() != 0, qPrintable(arguments.join(QLatin1Char(' '))));
        QVERIFY(process.readAllStandardError().startsWith("tellwave-gateway: "));
        QVERIFY(process.readAllStandardOutput().isEmpty());
    }

    // A port that is taken is reported, not ignored.
    GatewayProcess first;
    QVERIFY(first.isRunning());
    QProcess second;
    second.start(GatewayProcess::executable(), {QStringLiteral("--port"), QString::number(first.port())});
    QVERIFY(second.waitForFinished(10000));
    QVERIFY(second.exitCode() != 0);
    QVERIFY(second.readAllStandardError().contains("cannot listen"));
}

QTEST_GUILESS_MAIN(tst_gateway_peer)
#include "tst_gateway_peer.moc"
