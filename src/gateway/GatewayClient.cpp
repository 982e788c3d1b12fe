#include "gateway/GatewayClient.h"

#include "gateway/GatewayAnswers.h"
#include "gateway/HttpExchange.h"
#include "settings/RunningSetup.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkReply>
#include <QPointer>
#include <QSslSocket>
#include <QTcpSocket>

#include <algorithm>
#include <memory>
#include <vector>

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

// Requests made together, each on a connection of its own (the kept one
// carries the first), waited for in one local event loop.
QList<HttpExchange::Outcome> exchangeOnce(const QList<HttpTarget> &targets, int timeoutMs)
{
    QEventLoop loop;
    qsizetype open = targets.size();
    QList<QTcpSocket *> sockets;
    std::vector<std::unique_ptr<HttpExchange>> exchanges;
    for (const HttpTarget &target : targets) {
        QTcpSocket *socket = KeptConnection::take(target.key);
        if (!socket)
            socket = KeptConnection::open(target);
        sockets.append(socket);
        exchanges.push_back(std::make_unique<HttpExchange>(target, socket, timeoutMs, [&loop, &open] {
            if (--open == 0)
                loop.quit();
        }));
    }
    for (const auto &exchange : exchanges)
        exchange->start();
    if (std::any_of(exchanges.cbegin(), exchanges.cend(), [](const auto &exchange) { return !exchange->isDone(); }))
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    QList<HttpExchange::Outcome> outcomes;
    for (std::size_t i = 0; i < exchanges.size(); ++i) {
        outcomes.append(exchanges[i]->take());
        if (outcomes.constLast().reusable)
            KeptConnection::keep(targets[qsizetype(i)].key, sockets[qsizetype(i)]);
        else
            KeptConnection::discard(sockets[qsizetype(i)]);
    }
    return outcomes;
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
    const QByteArray query = "Type=" + encoded(type) + "&Username=" + encoded(RunningSetup::gatewayUsername())
                             + "&Password=" + encoded(RunningSetup::gatewayPassword()) + queryPairs(parameters);
    QUrl url(baseOf(RunningSetup::gatewayHost()) + script);
    // Every value is already encoded: the query is taken as it stands.
    url.setQuery(QString::fromLatin1(query), QUrl::StrictMode);
    return url;
}

QByteArray GatewayClient::queryPairs(const Parameters &parameters)
{
    QByteArray pairs;
    for (const auto &[name, value] : parameters)
        pairs += '&' + encoded(name) + '=' + encoded(value);
    return pairs;
}

HttpTarget GatewayClient::targetOf(const Request &request)
{
    const QUrl url = requestUrl(request.type, request.parameters, request.script);
    if (!url.isValid() || url.host().isEmpty()
        || (url.scheme() != QStringLiteral("http") && url.scheme() != QStringLiteral("https")))
        throw GatewayError(
            QNetworkReply::ProtocolUnknownError,
            QStringLiteral("The gateway host \"%1\" is not a valid address.").arg(RunningSetup::gatewayHost()), false);
    const HttpTarget target = HttpTarget::of(url);
    if (target.tls && !QSslSocket::supportsSsl())
        throw GatewayError(
            QNetworkReply::SslHandshakeFailedError,
            QStringLiteral("The gateway at %1 could not be reached: TLS is not available.").arg(target.where), false);
    return target;
}

QString GatewayClient::Answer::take() const
{
    if (error)
        throw *error;
    return text;
}

QString GatewayClient::exchange(const QString &type, const Parameters &parameters, const QString &script, Expect expect)
{
    return exchangeTogether({Request{type, parameters, script, expect}}).constFirst().take();
}

QList<GatewayClient::Answer> GatewayClient::exchangeTogether(const QList<Request> &requests)
{
    QList<Answer> answers(requests.size());
    QList<HttpTarget> targets;
    QList<qsizetype> waiting; // which request each target carries
    for (qsizetype i = 0; i < requests.size(); ++i) {
        try {
            targets.append(targetOf(requests[i]));
            waiting.append(i);
        } catch (const GatewayError &error) {
            answers[i].error = error;
        }
    }
    for (int round = 0; !targets.isEmpty(); ++round) {
        const QList<HttpExchange::Outcome> outcomes = exchangeOnce(targets, m_timeoutMs);
        QList<HttpTarget> again;
        QList<qsizetype> againFor;
        for (qsizetype k = 0; k < outcomes.size(); ++k) {
            const Request &request = requests[waiting[k]];
            Answer &answer = answers[waiting[k]];
            const HttpExchange::Outcome &outcome = outcomes[k];
            if (outcome.answer) {
                const int status = outcome.answer->status();
                answer.text = decodedBody(*outcome.answer);
                if (request.expect == Expect::Success && (status < 200 || status > 299)) {
                    const QString words = GatewayAnswers::shortWords(answer.text);
                    answer.error =
                        GatewayError(status,
                                     QStringLiteral("The gateway at %1 answered with HTTP status %2%3")
                                         .arg(targets[k].where)
                                         .arg(status)
                                         .arg(words.isEmpty() ? QStringLiteral(".") : QStringLiteral(": ") + words),
                                     true);
                }
                continue;
            }
            // Only the read-only requests may be sent again, once, when a
            // kept-alive connection turned out to be closed already.
            const bool repeatable = request.type.compare(SingleSmsType, Qt::CaseInsensitive) != 0;
            if (repeatable && outcome.staleConnection && round == 0) {
                again.append(targets[k]);
                againFor.append(waiting[k]);
            } else {
                answer.error = *outcome.error;
            }
        }
        targets = again;
        waiting = againFor;
    }
    return answers;
}

GatewayClient::Request GatewayClient::creditsRequest()
{
    return {QStringLiteral("Credits"), {}, MessageScript, Expect::Success};
}

GatewayClient::Request GatewayClient::repliesRequest(Expect expect)
{
    return {QStringLiteral("replies"), {{QStringLiteral("ID"), QStringLiteral("0")}}, MessageScript, expect};
}

QString GatewayClient::credits()
{
    return exchangeTogether({creditsRequest()}).constFirst().take();
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
    return exchangeTogether({repliesRequest(expect)}).constFirst().take();
}

QString GatewayClient::reportPage(Expect expect)
{
    return exchange(QStringLiteral("SentID"), {{QStringLiteral("SentID"), QStringLiteral("0")}}, ReportPageScript,
                    expect);
}
