#include "gateway/GatewayClient.h"

#include "data/ProcessSettings.h"
#include "gateway/HttpAnswerParser.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHostAddress>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QPointer>
#include <QSslSocket>
#include <QStringDecoder>
#include <QTcpSocket>
#include <QTimer>

#include <optional>

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

bool isLoopback(const QString &host)
{
    if (host.compare(QStringLiteral("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

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

struct Target
{
    bool tls = false;
    QString host;
    quint16 port = 80;
    QByteArray request; // the whole request as it goes on the wire
    QString key;        // which kept-alive connection may carry it
    QString where;      // host and port for messages
};

Target targetOf(const QUrl &url)
{
    Target target;
    target.tls = url.scheme().compare(QStringLiteral("https"), Qt::CaseInsensitive) == 0;
    target.host = url.host();
    target.port = quint16(url.port(target.tls ? 443 : 80));
    target.where = url.port() < 0 ? target.host : QStringLiteral("%1:%2").arg(target.host).arg(url.port());
    const QByteArray hostHeader =
        url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveUserInfo | QUrl::RemovePath | QUrl::RemoveQuery
                      | QUrl::RemoveFragment)
            .mid(2); // drops the leading "//"
    const QByteArray pathAndQuery =
        url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment);
    target.request = "POST " + pathAndQuery + " HTTP/1.1\r\nHost: " + hostHeader + "\r\nContent-Length: 0\r\n\r\n";
    target.key = QStringLiteral("%1://%2:%3").arg(target.tls ? QStringLiteral("https") : QStringLiteral("http"),
                                                  target.host.toLower())
                     .arg(target.port);
    return target;
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

    static QTcpSocket *open(const Target &target)
    {
        // Owned by the application, so a kept connection ends with it.
        QObject *owner = QCoreApplication::instance();
        QTcpSocket *socket = target.tls ? new QSslSocket(owner) : new QTcpSocket(owner);
        if (isLoopback(target.host))
            socket->setProxy(QNetworkProxy::NoProxy);
        return socket;
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

// One request on one connection, waited for in a local event loop: connect
// (unless a kept connection carries it), write the request once, read the
// answer until it is whole, the connection breaks or nothing arrives for the
// time-out.
class Exchange
{
public:
    struct Outcome
    {
        std::optional<HttpAnswerParser> answer;
        std::optional<GatewayError> error;
        // A kept-alive connection that closed before anything came back: the
        // gateway most likely closed it before the request arrived.
        bool staleConnection = false;
    };

    Exchange(const Target &target, int timeoutMs)
        : m_target(target), m_timeoutMs(timeoutMs), m_socket(KeptConnection::take(target.key)),
          m_reused(m_socket != nullptr)
    {
        if (!m_socket)
            m_socket = KeptConnection::open(target);
        m_idle.setSingleShot(true);
        QObject::connect(m_socket, &QIODevice::readyRead, &m_loop, [this] { readAnswer(); });
        QObject::connect(m_socket, &QAbstractSocket::disconnected, &m_loop, [this] { closed(); });
        QObject::connect(m_socket, &QAbstractSocket::errorOccurred, &m_loop,
                         [this](QAbstractSocket::SocketError error) { socketError(error); });
        QObject::connect(&m_idle, &QTimer::timeout, &m_loop, [this] { timedOut(); });
    }
    Exchange(const Exchange &) = delete;
    Exchange &operator=(const Exchange &) = delete;

    Outcome run()
    {
        if (m_reused) {
            send();
        } else if (m_target.tls) {
            auto *tls = static_cast<QSslSocket *>(m_socket);
            QObject::connect(tls, &QSslSocket::encrypted, &m_loop, [this] { send(); });
            tls->connectToHostEncrypted(m_target.host, m_target.port);
            restartTimer();
        } else {
            QObject::connect(m_socket, &QAbstractSocket::connected, &m_loop, [this] { send(); });
            m_socket->connectToHost(m_target.host, m_target.port);
            restartTimer();
        }
        if (!m_done)
            m_loop.exec(QEventLoop::ExcludeUserInputEvents);
        m_idle.stop();
        QObject::disconnect(m_socket, nullptr, &m_loop, nullptr);

        if (!m_outcome.error && m_parser.state() == HttpAnswerParser::State::Complete) {
            if (m_parser.keepAlive() && m_socket->state() == QAbstractSocket::ConnectedState
                && m_socket->bytesAvailable() == 0)
                KeptConnection::keep(m_target.key, m_socket);
            else
                KeptConnection::discard(m_socket);
            m_outcome.answer = std::move(m_parser);
        } else {
            KeptConnection::discard(m_socket);
        }
        return std::move(m_outcome);
    }

private:
    void restartTimer()
    {
        if (m_timeoutMs > 0)
            m_idle.start(m_timeoutMs);
    }

    void send()
    {
        m_sent = true;
        m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        m_socket->write(m_target.request);
        // Out at once, before the event loop gets to anything else (a window
        // repainting would otherwise hold the request back).
        m_socket->flush();
        restartTimer();
    }

    void readAnswer()
    {
        if (m_done)
            return;
        const QByteArray data = m_socket->readAll();
        if (data.isEmpty())
            return;
        m_received += data.size();
        restartTimer();
        switch (m_parser.feed(data)) {
        case HttpAnswerParser::State::Complete:
            finish();
            break;
        case HttpAnswerParser::State::Broken:
            fail(QNetworkReply::ProtocolFailure,
                 QStringLiteral("The gateway at %1 gave an answer that is not HTTP.").arg(m_target.where), true);
            break;
        case HttpAnswerParser::State::Incomplete:
            break;
        }
    }

    void closed()
    {
        readAnswer();
        if (m_done)
            return;
        if (m_parser.closed() == HttpAnswerParser::State::Complete) {
            finish();
            return;
        }
        m_outcome.staleConnection = m_reused && m_received == 0;
        fail(QNetworkReply::RemoteHostClosedError,
             QStringLiteral("The gateway at %1 broke off the exchange before the whole answer arrived: "
                            "Connection closed")
                 .arg(m_target.where),
             true);
    }

    void socketError(QAbstractSocket::SocketError error)
    {
        if (m_done)
            return;
        const QString detail = m_socket->errorString();
        if (!m_sent) {
            const auto code = error == QAbstractSocket::ConnectionRefusedError ? QNetworkReply::ConnectionRefusedError
                              : error == QAbstractSocket::HostNotFoundError    ? QNetworkReply::HostNotFoundError
                              : error == QAbstractSocket::SslHandshakeFailedError
                                  ? QNetworkReply::SslHandshakeFailedError
                                  : QNetworkReply::UnknownNetworkError;
            fail(code, QStringLiteral("The gateway at %1 could not be reached: %2").arg(m_target.where, detail), false);
        } else if (error == QAbstractSocket::RemoteHostClosedError) {
            closed();
        } else {
            m_outcome.staleConnection = m_reused && m_received == 0;
            fail(QNetworkReply::UnknownNetworkError,
                 QStringLiteral("The exchange with the gateway at %1 failed: %2").arg(m_target.where, detail), true);
        }
    }

    void timedOut()
    {
        const QString seconds = QString::number(m_timeoutMs / 1000.0);
        if (!m_sent)
            fail(QNetworkReply::TimeoutError,
                 QStringLiteral("The gateway at %1 could not be reached: no connection within %2 seconds.")
                     .arg(m_target.where, seconds),
                 false);
        else
            fail(QNetworkReply::TimeoutError,
                 QStringLiteral("The gateway at %1 did not answer within %2 seconds.").arg(m_target.where, seconds),
                 true);
    }

    void fail(QNetworkReply::NetworkError code, const QString &description, bool mayHaveReached)
    {
        if (m_done)
            return;
        m_outcome.error.emplace(code, description, mayHaveReached);
        finish();
    }

    void finish()
    {
        m_done = true;
        m_loop.quit();
    }

    const Target &m_target;
    const int m_timeoutMs;
    QTcpSocket *m_socket;
    const bool m_reused;
    HttpAnswerParser m_parser;
    QEventLoop m_loop;
    QTimer m_idle;
    Outcome m_outcome;
    bool m_sent = false;
    bool m_done = false;
    qint64 m_received = 0;
};

QString decoded(const HttpAnswerParser &answer)
{
    const QString contentType = QString::fromLatin1(answer.contentType());
    const qsizetype at = contentType.indexOf(QStringLiteral("charset="), 0, Qt::CaseInsensitive);
    if (at >= 0) {
        QString charset = contentType.mid(at + 8).section(QLatin1Char(';'), 0, 0).trimmed();
        charset.remove(QLatin1Char('"'));
        QStringDecoder decoder(charset.toLatin1().constData());
        if (decoder.isValid())
            return decoder.decode(answer.body());
    }
    return QString::fromUtf8(answer.body());
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

QString GatewayClient::exchange(const QString &type, const Parameters &parameters, const QString &script)
{
    const QUrl url = requestUrl(type, parameters, script);
    if (!url.isValid() || url.host().isEmpty()
        || (url.scheme() != QStringLiteral("http") && url.scheme() != QStringLiteral("https")))
        throw GatewayError(QNetworkReply::ProtocolUnknownError,
                           QStringLiteral("The gateway host \"%1\" is not a valid address.").arg(modMain::GatewayHost),
                           false);
    const Target target = targetOf(url);
    if (target.tls && !QSslSocket::supportsSsl())
        throw GatewayError(QNetworkReply::SslHandshakeFailedError,
                           QStringLiteral("The gateway at %1 could not be reached: TLS is not available.")
                               .arg(target.where),
                           false);

    // Only the read-only requests may be sent again, once, when a kept-alive
    // connection turned out to be closed already.
    const bool repeatable = type.compare(SingleSmsType, Qt::CaseInsensitive) != 0;
    for (int round = 0;; ++round) {
        Exchange::Outcome outcome = Exchange(target, m_timeoutMs).run();
        if (outcome.answer)
            return decoded(*outcome.answer);
        if (!(repeatable && outcome.staleConnection && round == 0))
            throw *outcome.error;
    }
}

QString GatewayClient::credits()
{
    return exchange(QStringLiteral("Credits"));
}

QString GatewayClient::singleSms(const QString &number, const QString &message, const QString &customerId)
{
    return exchange(SingleSmsType, {{QStringLiteral("Number"), number},
                                    {QStringLiteral("Message"), message},
                                    {QStringLiteral("CustomerID"), customerId}});
}

QString GatewayClient::sent(const QString &highestTrn)
{
    return exchange(QStringLiteral("Sent"), {{QStringLiteral("EventID"), QStringLiteral("0")},
                                             {QStringLiteral("ID"), highestTrn}});
}

QString GatewayClient::replies()
{
    return exchange(QStringLiteral("replies"), {{QStringLiteral("ID"), QStringLiteral("0")}});
}

QString GatewayClient::reportPage()
{
    return exchange(QStringLiteral("SentID"), {{QStringLiteral("SentID"), QStringLiteral("0")}}, ReportPageScript);
}
