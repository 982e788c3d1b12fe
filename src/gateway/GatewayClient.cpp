#include "gateway/GatewayClient.h"

#include "data/ProcessSettings.h"
#include "gateway/GatewayAnswers.h"
#include "gateway/HttpExchange.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkReply>
#include <QPointer>
#include <QSslSocket>
#include <QTcpSocket>

// The exchange speaks HTTP/1.1 itself over a socket rather than through
// QNetworkAccessManager: Qt's HTTP layer silently sends a request again when
// the connection closes before the answer, so a message the gateway already
// took could go out twice. Here a request is sent once; only the read-only
// requests are repeated, and only when a kept-alive connection turns out to be
// closed before anything came back.

namespace {

const QString SingleSmsType = QStringLiteral("SingleSMS");

// A kept-alive connection is used again only this soon after its last answer;
// older ones may have been closed by the gateway in the meantime.
constexpr qint64 ReuseWithinMs = 2000;

int s_defaultTimeoutMs = GatewayClient::DefaultTimeoutMs;

QByteArray encoded(const QString &value)
{
    return QUrl::toPercentEncoding(value);
}

QString baseOf(const QString &host)
{
    const QString trimmed = host.trimmed();
    if (trimmed.startsWith(QStringLiteral("https://"), Qt::CaseInsensitive)
        || trimmed.startsWith(QStringLiteral("http://"), Qt::CaseInsensitive))
        return trimmed;
    return QStringLiteral("http://") + trimmed;
}

// The kept-alive connection of the last exchange, used again by the next one
// to the same place. The gateway client runs on the program's one thread and a
// run talks to one host, so one connection is kept, not a pool.
class KeptConnection
{
public:
    // The kept connection for `key` when it is still open and was used
    // recently; nullptr otherwise (an unusable one is closed).
    static QTcpSocket *take(const QString &key)
    {
        QTcpSocket *socket = s_socket;
        s_socket = nullptr;
        if (!socket)
            return nullptr;
        QObject::disconnect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
        // Notices a close that arrived while nobody was listening.
        if (socket->state() == QAbstractSocket::ConnectedState && socket->bytesAvailable() == 0)
            socket->waitForReadyRead(0);
        if (s_key != key || s_since.elapsed() > ReuseWithinMs || socket->state() != QAbstractSocket::ConnectedState
            || socket->bytesAvailable() > 0) {
            discard(socket);
            return nullptr;
        }
        return socket;
    }

    static void keep(const QString &key, QTcpSocket *socket)
    {
        if (s_socket)
            discard(s_socket);
        s_socket = socket;
        s_key = key;
        s_since.start();
        // Closed by the gateway while idle: gone without a trace.
        QObject::connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
    }

    static QTcpSocket *open(const HttpTarget &target)
    {
        // Owned by the application, so a kept connection ends with it.
        return target.newSocket(QCoreApplication::instance());
    }

    // Not for use inside one of the socket's own signals.
    static void discard(QTcpSocket *socket)
    {
        socket->abort();
        delete socket;
    }

private:
    static inline QPointer<QTcpSocket> s_socket;
    static inline QString s_key;
    static inline QElapsedTimer s_since;
};

// One request, waited for in a local event loop, on the kept connection when
// there is one for its target.
HttpExchange::Outcome exchangeOnce(const HttpTarget &target, int timeoutMs)
{
    QTcpSocket *socket = KeptConnection::take(target.key);
    if (!socket)
        socket = KeptConnection::open(target);
    QEventLoop loop;
    HttpExchange exchange(target, socket, timeoutMs, [&loop] { loop.quit(); });
    exchange.start();
    if (!exchange.isDone())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    HttpExchange::Outcome outcome = exchange.take();
    if (outcome.reusable)
        KeptConnection::keep(target.key, socket);
    else
        KeptConnection::discard(socket);
    return outcome;
}

} // namespace

GatewayClient::GatewayClient() : m_timeoutMs(s_defaultTimeoutMs) {}

int GatewayClient::defaultTimeout()
{
    return s_defaultTimeoutMs;
}

void GatewayClient::setDefaultTimeout(int milliseconds)
{
    s_defaultTimeoutMs = milliseconds;
}

QUrl GatewayClient::requestUrl(const QString &type, const Parameters &parameters, const QString &script)
{
    QByteArray query = "Type=" + encoded(type) + "&Username=" + encoded(modMain::GatewayUsername)
                       + "&Password=" + encoded(modMain::GatewayPassword);
    for (const auto &[name, value] : parameters)
        query += '&' + encoded(name) + '=' + encoded(value);
    QUrl url(baseOf(modMain::GatewayHost) + script);
    // Every value is already encoded: the query is taken as it stands.
    url.setQuery(QString::fromLatin1(query), QUrl::StrictMode);
    return url;
}

QString GatewayClient::exchange(const QString &type, const Parameters &parameters, const QString &script, Expect expect)
{
    const QUrl url = requestUrl(type, parameters, script);
    if (!url.isValid() || url.host().isEmpty()
        || (url.scheme() != QStringLiteral("http") && url.scheme() != QStringLiteral("https")))
        throw GatewayError(QNetworkReply::ProtocolUnknownError,
                           QStringLiteral("The gateway host \"%1\" is not a valid address.").arg(modMain::GatewayHost),
                           false);
    const HttpTarget target = HttpTarget::of(url);
    if (target.tls && !QSslSocket::supportsSsl())
        throw GatewayError(
            QNetworkReply::SslHandshakeFailedError,
            QStringLiteral("The gateway at %1 could not be reached: TLS is not available.").arg(target.where), false);

    // Only the read-only requests may be sent again, once, when a kept-alive
    // connection turned out to be closed already.
    const bool repeatable = type.compare(SingleSmsType, Qt::CaseInsensitive) != 0;
    for (int round = 0;; ++round) {
        HttpExchange::Outcome outcome = exchangeOnce(target, m_timeoutMs);
        if (outcome.answer) {
            const int status = outcome.answer->status();
            QString body = decodedBody(*outcome.answer);
            if (expect == Expect::Success && (status < 200 || status > 299)) {
                const QString words = GatewayAnswers::shortWords(body);
                throw GatewayError(status,
                                   QStringLiteral("The gateway at %1 answered with HTTP status %2%3")
                                       .arg(target.where)
                                       .arg(status)
                                       .arg(words.isEmpty() ? QStringLiteral(".") : QStringLiteral(": ") + words),
                                   true);
            }
            return body;
        }
        if (!(repeatable && outcome.staleConnection && round == 0))
            throw *outcome.error;
    }
}

QString GatewayClient::credits()
{
    return exchange(QStringLiteral("Credits"), {}, MessageScript, Expect::Success);
}

QString GatewayClient::singleSms(const QString &number, const QString &message, const QString &customerId)
{
    return exchange(SingleSmsType, {{QStringLiteral("Number"), number},
                                    {QStringLiteral("Message"), message},
                                    {QStringLiteral("CustomerID"), customerId}});
}

QString GatewayClient::sent(const QString &highestTrn)
{
    return exchange(QStringLiteral("Sent"),
                    {{QStringLiteral("EventID"), QStringLiteral("0")}, {QStringLiteral("ID"), highestTrn}});
}

QString GatewayClient::replies(Expect expect)
{
    return exchange(QStringLiteral("replies"), {{QStringLiteral("ID"), QStringLiteral("0")}}, MessageScript, expect);
}

QString GatewayClient::reportPage(Expect expect)
{
    return exchange(QStringLiteral("SentID"), {{QStringLiteral("SentID"), QStringLiteral("0")}}, ReportPageScript,
                    expect);
}
