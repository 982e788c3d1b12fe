#include "gateway/GatewayClient.h"

#include "data/ProcessSettings.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHash>
#include <QHostAddress>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QPointer>
#include <QSslSocket>
#include <QStringDecoder>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <optional>

// The exchange speaks HTTP/1.1 itself over a socket rather than through
// QNetworkAccessManager: Qt's HTTP layer silently sends a request again when
// the connection closes before the answer, so a message the gateway already
// took could go out twice. Here a request is sent once; only the read-only
// requests are repeated, and only when a kept-alive connection turns out to be
// closed before anything came back.

namespace {

const QString Script = QStringLiteral("/httppost4.aspx");
const QString SingleSmsType = QStringLiteral("SingleSMS");

// A kept-alive connection is used again only this soon after its last answer;
// older ones may have been closed by the gateway in the meantime.
constexpr qint64 ReuseWithinMs = 2000;

std::atomic<int> s_defaultTimeoutMs{GatewayClient::DefaultTimeoutMs};

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

// Reads one HTTP/1.x answer as it arrives.
class AnswerParser
{
public:
    enum class State { Incomplete, Complete, Broken };

    State feed(const QByteArray &data)
    {
        m_buffer += data;
        while (m_state == State::Incomplete) {
            if (!step())
                break;
        }
        return m_state;
    }

    // The connection closed: an answer whose body runs to the close is then whole.
    State closed()
    {
        if (m_state == State::Incomplete && m_phase == Phase::Body && m_untilClose) {
            m_body += m_buffer;
            m_buffer.clear();
            m_keepAlive = false;
            m_state = State::Complete;
        }
        return m_state;
    }

    State state() const { return m_state; }
    bool keepAlive() const { return m_keepAlive && m_buffer.isEmpty(); }
    const QByteArray &body() const { return m_body; }
    const QByteArray &contentType() const { return m_contentType; }

private:
    enum class Phase { StatusLine, Headers, Body, ChunkSize, ChunkData, ChunkEnd, Trailers };

    std::optional<QByteArray> takeLine()
    {
        const qsizetype end = m_buffer.indexOf('\n');
        if (end < 0)
            return std::nullopt;
        QByteArray line = m_buffer.left(end);
        m_buffer.remove(0, end + 1);
        if (line.endsWith('\r'))
            line.chop(1);
        return line;
    }

    bool broken()
    {
        m_state = State::Broken;
        return false;
    }

    void complete()
    {
        m_state = State::Complete;
    }

    // One step of the parse; false when more data is needed or the parse ended.
    bool step()
    {
        switch (m_phase) {
        case Phase::StatusLine: {
            const auto line = takeLine();
            if (!line)
                return false;
            if (line->isEmpty())
                return true; // tolerated before a status line
            const QList<QByteArray> parts = line->split(' ');
            if (parts.size() < 2 || !parts[0].startsWith("HTTP/1."))
                return broken();
            bool ok = false;
            m_status = parts[1].toInt(&ok);
            if (!ok)
                return broken();
            m_http11 = parts[0] != "HTTP/1.0";
            m_keepAlive = m_http11;
            m_length = -1;
            m_chunked = false;
            m_contentType.clear();
            m_phase = Phase::Headers;
            return true;
        }
        case Phase::Headers: {
            const auto line = takeLine();
            if (!line)
                return false;
            if (!line->isEmpty()) {
                const qsizetype colon = line->indexOf(':');
                if (colon <= 0)
                    return broken();
                const QByteArray name = line->left(colon).trimmed().toLower();
                const QByteArray value = line->mid(colon + 1).trimmed();
                if (name == "content-length") {
                    bool ok = false;
                    m_length = value.toLongLong(&ok);
                    if (!ok || m_length < 0)
                        return broken();
                } else if (name == "transfer-encoding") {
                    m_chunked = value.toLower().contains("chunked");
                } else if (name == "connection") {
                    const QByteArray token = value.toLower();
                    if (token.contains("close"))
                        m_keepAlive = false;
                    else if (token.contains("keep-alive"))
                        m_keepAlive = true;
                } else if (name == "content-type") {
                    m_contentType = value;
                }
                return true;
            }
            if (m_status >= 100 && m_status < 200) {
                if (m_status == 101)
                    return broken();
                m_phase = Phase::StatusLine; // an interim answer; the real one follows
                return true;
            }
            if (m_status == 204 || m_status == 304 || (!m_chunked && m_length == 0)) {
                complete();
                return false;
            }
            m_untilClose = !m_chunked && m_length < 0;
            m_phase = m_chunked ? Phase::ChunkSize : Phase::Body;
            return true;
        }
        case Phase::Body: {
            if (m_untilClose) {
                m_body += m_buffer;
                m_buffer.clear();
                return false;
            }
            const qsizetype take = qsizetype(qMin<qint64>(m_length - m_body.size(), m_buffer.size()));
            m_body += m_buffer.left(take);
            m_buffer.remove(0, take);
            if (m_body.size() == m_length)
                complete();
            return false;
        }
        case Phase::ChunkSize: {
            const auto line = takeLine();
            if (!line)
                return false;
            bool ok = false;
            m_chunkLeft = line->split(';').first().trimmed().toLongLong(&ok, 16);
            if (!ok || m_chunkLeft < 0)
                return broken();
            m_phase = m_chunkLeft == 0 ? Phase::Trailers : Phase::ChunkData;
            return true;
        }
        case Phase::ChunkData: {
            const qsizetype take = qsizetype(qMin<qint64>(m_chunkLeft, m_buffer.size()));
            m_body += m_buffer.left(take);
            m_buffer.remove(0, take);
            m_chunkLeft -= take;
            if (m_chunkLeft > 0)
                return false;
            m_phase = Phase::ChunkEnd;
            return true;
        }
        case Phase::ChunkEnd: {
            const auto line = takeLine();
            if (!line)
                return false;
            if (!line->isEmpty())
                return broken();
            m_phase = Phase::ChunkSize;
            return true;
        }
        case Phase::Trailers: {
            const auto line = takeLine();
            if (!line)
                return false;
            if (line->isEmpty()) {
                complete();
                return false;
            }
            return true;
        }
        }
        return false;
    }

    QByteArray m_buffer;
    QByteArray m_body;
    QByteArray m_contentType;
    State m_state = State::Incomplete;
    Phase m_phase = Phase::StatusLine;
    int m_status = 0;
    bool m_http11 = true;
    bool m_keepAlive = false;
    bool m_chunked = false;
    bool m_untilClose = false;
    qint64 m_length = -1;
    qint64 m_chunkLeft = 0;
};

// The kept-alive connections of one thread, by scheme, host and port.
class ConnectionPool : public QObject
{
public:
    static ConnectionPool &forThread()
    {
        thread_local QPointer<ConnectionPool> pool;
        if (!pool) {
            auto *created = new ConnectionPool;
            QThread *thread = QThread::currentThread();
            QCoreApplication *app = QCoreApplication::instance();
            if (app && thread == app->thread())
                created->setParent(app);
            else
                QObject::connect(thread, &QThread::finished, created, &QObject::deleteLater);
            pool = created;
        }
        return *pool;
    }

    // A connection that is still open and recently used, or nullptr.
    QTcpSocket *take(const QString &key)
    {
        const auto found = m_idle.find(key);
        if (found == m_idle.end())
            return nullptr;
        Idle idle = *found;
        m_idle.erase(found);
        QObject::disconnect(idle.socket, nullptr, this, nullptr);
        // Notices a close that arrived while nobody was listening.
        if (idle.socket->state() == QAbstractSocket::ConnectedState && idle.socket->bytesAvailable() == 0)
            idle.socket->waitForReadyRead(0);
        if (idle.since.elapsed() > ReuseWithinMs || idle.socket->state() != QAbstractSocket::ConnectedState
            || idle.socket->bytesAvailable() > 0) {
            discard(idle.socket);
            return nullptr;
        }
        return idle.socket;
    }

    void give(const QString &key, QTcpSocket *socket)
    {
        if (const auto old = m_idle.find(key); old != m_idle.end()) {
            QObject::disconnect(old->socket, nullptr, this, nullptr);
            discard(old->socket);
            m_idle.erase(old);
        }
        Idle idle{socket, {}};
        idle.since.start();
        m_idle.insert(key, idle);
        QObject::connect(socket, &QAbstractSocket::disconnected, this, [this, key, socket] {
            const auto found = m_idle.find(key);
            if (found != m_idle.end() && found->socket == socket)
                m_idle.erase(found);
            socket->deleteLater();
        });
    }

    QTcpSocket *open(const Target &target)
    {
        QTcpSocket *socket = target.tls ? new QSslSocket(this) : new QTcpSocket(this);
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
    struct Idle
    {
        QTcpSocket *socket = nullptr;
        QElapsedTimer since;
    };
    QHash<QString, Idle> m_idle;
};

struct Attempt
{
    std::optional<AnswerParser> answer;
    std::optional<GatewayError> error;
    // A kept-alive connection that closed before anything came back: the
    // gateway most likely closed it before the request arrived.
    bool staleConnection = false;
};

// One request on one connection.
Attempt attempt(const Target &target, int timeoutMs)
{
    ConnectionPool &pool = ConnectionPool::forThread();
    QTcpSocket *socket = pool.take(target.key);
    const bool reused = socket != nullptr;
    if (!socket)
        socket = pool.open(target);

    Attempt result;
    AnswerParser parser;
    bool sent = false;
    bool done = false;
    qint64 received = 0;
    QEventLoop loop;
    QTimer idle;
    idle.setSingleShot(true);

    const auto finish = [&] {
        done = true;
        loop.quit();
    };
    const auto fail = [&](QNetworkReply::NetworkError code, const QString &description, bool mayHaveReached) {
        if (done)
            return;
        result.error.emplace(code, description, mayHaveReached);
        finish();
    };
    const auto closedEarly = [&](const QString &detail) {
        if (reused && received == 0)
            result.staleConnection = true;
        fail(QNetworkReply::RemoteHostClosedError,
             QStringLiteral("The gateway at %1 broke off the exchange before the whole answer arrived: %2")
                 .arg(target.where, detail),
             true);
    };
    const auto send = [&] {
        sent = true;
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        socket->write(target.request);
        // Out at once, before the event loop gets to anything else (a window
        // repainting would otherwise hold the request back).
        socket->flush();
        if (timeoutMs > 0)
            idle.start(timeoutMs);
    };
    const auto readAnswer = [&] {
        if (done)
            return;
        const QByteArray data = socket->readAll();
        if (data.isEmpty())
            return;
        received += data.size();
        if (timeoutMs > 0)
            idle.start(timeoutMs);
        switch (parser.feed(data)) {
        case AnswerParser::State::Complete:
            finish();
            break;
        case AnswerParser::State::Broken:
            fail(QNetworkReply::ProtocolFailure,
                 QStringLiteral("The gateway at %1 gave an answer that is not HTTP.").arg(target.where), true);
            break;
        case AnswerParser::State::Incomplete:
            break;
        }
    };
    const auto closed = [&] {
        if (done)
            return;
        readAnswer();
        if (done)
            return;
        if (parser.closed() == AnswerParser::State::Complete)
            finish();
        else
            closedEarly(QStringLiteral("Connection closed"));
    };

    QObject::connect(socket, &QIODevice::readyRead, &loop, readAnswer);
    QObject::connect(socket, &QAbstractSocket::disconnected, &loop, closed);
    QObject::connect(socket, &QAbstractSocket::errorOccurred, &loop, [&](QAbstractSocket::SocketError error) {
        if (done)
            return;
        const QString detail = socket->errorString();
        if (!sent) {
            const auto code = error == QAbstractSocket::ConnectionRefusedError ? QNetworkReply::ConnectionRefusedError
                              : error == QAbstractSocket::HostNotFoundError    ? QNetworkReply::HostNotFoundError
                              : error == QAbstractSocket::SslHandshakeFailedError
                                  ? QNetworkReply::SslHandshakeFailedError
                                  : QNetworkReply::UnknownNetworkError;
            fail(code, QStringLiteral("The gateway at %1 could not be reached: %2").arg(target.where, detail), false);
        } else if (error == QAbstractSocket::RemoteHostClosedError) {
            closed();
        } else {
            if (reused && received == 0)
                result.staleConnection = true;
            fail(QNetworkReply::UnknownNetworkError,
                 QStringLiteral("The exchange with the gateway at %1 failed: %2").arg(target.where, detail), true);
        }
    });
    QObject::connect(&idle, &QTimer::timeout, &loop, [&] {
        const QString seconds = QString::number(timeoutMs / 1000.0);
        if (!sent)
            fail(QNetworkReply::TimeoutError,
                 QStringLiteral("The gateway at %1 could not be reached: no connection within %2 seconds.")
                     .arg(target.where, seconds),
                 false);
        else
            fail(QNetworkReply::TimeoutError,
                 QStringLiteral("The gateway at %1 did not answer within %2 seconds.").arg(target.where, seconds),
                 true);
    });

    if (reused) {
        send();
    } else {
        if (target.tls) {
            auto *tls = static_cast<QSslSocket *>(socket);
            QObject::connect(tls, &QSslSocket::encrypted, &loop, send);
            tls->connectToHostEncrypted(target.host, target.port);
        } else {
            QObject::connect(socket, &QAbstractSocket::connected, &loop, send);
            socket->connectToHost(target.host, target.port);
        }
        if (timeoutMs > 0)
            idle.start(timeoutMs);
    }
    if (!done)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    idle.stop();
    QObject::disconnect(socket, nullptr, &loop, nullptr);

    if (!result.error && parser.state() == AnswerParser::State::Complete) {
        if (parser.keepAlive() && socket->state() == QAbstractSocket::ConnectedState && socket->bytesAvailable() == 0)
            pool.give(target.key, socket);
        else
            ConnectionPool::discard(socket);
        result.answer = std::move(parser);
    } else {
        ConnectionPool::discard(socket);
    }
    return result;
}

QString decoded(const AnswerParser &answer)
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

GatewayClient::GatewayClient() : m_timeoutMs(s_defaultTimeoutMs.load()) {}

int GatewayClient::defaultTimeout()
{
    return s_defaultTimeoutMs.load();
}

void GatewayClient::setDefaultTimeout(int milliseconds)
{
    s_defaultTimeoutMs = milliseconds;
}

QUrl GatewayClient::requestUrl(const QString &type, const Parameters &parameters)
{
    QByteArray query = "Type=" + encoded(type) + "&Username=" + encoded(modMain::GatewayUsername)
                       + "&Password=" + encoded(modMain::GatewayPassword);
    for (const auto &[name, value] : parameters)
        query += '&' + encoded(name) + '=' + encoded(value);
    QUrl url(baseOf(modMain::GatewayHost) + Script);
    // Every value is already encoded: the query is taken as it stands.
    url.setQuery(QString::fromLatin1(query), QUrl::StrictMode);
    return url;
}

QString GatewayClient::exchange(const QString &type, const Parameters &parameters)
{
    const QUrl url = requestUrl(type, parameters);
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
        Attempt result = attempt(target, m_timeoutMs);
        if (result.answer)
            return decoded(*result.answer);
        if (!(repeatable && result.staleConnection && round == 0))
            throw *result.error;
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
