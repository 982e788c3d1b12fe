#include "gateway/HttpExchange.h"

#include <QHostAddress>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QSslSocket>
#include <QStringDecoder>
#include <QTcpSocket>

namespace {

bool isLoopback(const QString &host)
{
    if (host.compare(QStringLiteral("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

QByteArray postRequest(const QByteArray &pathAndQuery, const QByteArray &hostHeader)
{
    return "POST " + pathAndQuery + " HTTP/1.1\r\nHost: " + hostHeader + "\r\nContent-Length: 0\r\n\r\n";
}

} // namespace

HttpTarget HttpTarget::of(const QUrl &url)
{
    HttpTarget target;
    target.tls = url.scheme().compare(QStringLiteral("https"), Qt::CaseInsensitive) == 0;
    target.host = url.host();
    target.port = quint16(url.port(target.tls ? 443 : 80));
    target.where = url.port() < 0 ? target.host : QStringLiteral("%1:%2").arg(target.host).arg(url.port());
    target.hostHeader = url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveUserInfo | QUrl::RemovePath | QUrl::RemoveQuery
                                      | QUrl::RemoveFragment)
                            .mid(2); // drops the leading "//"
    target.pathAndQuery = url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment);
    target.request = postRequest(target.pathAndQuery, target.hostHeader);
    target.key = QStringLiteral("%1://%2:%3")
                     .arg(target.tls ? QStringLiteral("https") : QStringLiteral("http"), target.host.toLower())
                     .arg(target.port);
    return target;
}

HttpTarget HttpTarget::withMoreQuery(const QByteArray &pairs) const
{
    HttpTarget target = *this;
    target.pathAndQuery += pairs;
    target.request = postRequest(target.pathAndQuery, target.hostHeader);
    return target;
}

QTcpSocket *HttpTarget::newSocket(QObject *owner) const
{
    QTcpSocket *socket = tls ? new QSslSocket(owner) : new QTcpSocket(owner);
    if (isLoopback(host))
        socket->setProxy(QNetworkProxy::NoProxy);
    return socket;
}

HttpExchange::HttpExchange(const HttpTarget &target, QTcpSocket *socket, int timeoutMs, std::function<void()> finished)
    : m_target(target), m_timeoutMs(timeoutMs), m_socket(socket),
      m_reused(socket->state() == QAbstractSocket::ConnectedState), m_finished(std::move(finished))
{
    m_idle.setSingleShot(true);
    m_writeDue.setSingleShot(true);
    m_writeDue.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_writeDue, &QTimer::timeout, &m_context, [this] { send(); });
    QObject::connect(m_socket, &QIODevice::readyRead, &m_context, [this] { readAnswer(); });
    QObject::connect(m_socket, &QAbstractSocket::disconnected, &m_context, [this] { closed(); });
    QObject::connect(m_socket, &QAbstractSocket::errorOccurred, &m_context,
                     [this](QAbstractSocket::SocketError error) { socketError(int(error)); });
    QObject::connect(&m_idle, &QTimer::timeout, &m_context, [this] { timedOut(); });
}

// The connections to the socket end with m_context, whether or not the
// socket is still there.
HttpExchange::~HttpExchange() = default;

void HttpExchange::start()
{
    if (m_reused) {
        send();
    } else if (m_target.tls) {
        auto *tls = static_cast<QSslSocket *>(m_socket);
        QObject::connect(tls, &QSslSocket::encrypted, &m_context, [this] { send(); });
        tls->connectToHostEncrypted(m_target.host, m_target.port);
        restartTimer();
    } else {
        QObject::connect(m_socket, &QAbstractSocket::connected, &m_context, [this] { send(); });
        m_socket->connectToHost(m_target.host, m_target.port);
        restartTimer();
    }
}

void HttpExchange::setWriteGate(std::function<qint64()> waitMs, std::function<void()> wrote)
{
    m_writeWait = std::move(waitMs);
    m_wrote = std::move(wrote);
}

HttpExchange::Outcome HttpExchange::take()
{
    m_idle.stop();
    m_writeDue.stop();
    QObject::disconnect(m_socket, nullptr, &m_context, nullptr);
    if (!m_outcome.error && m_parser.state() == HttpAnswerParser::State::Complete) {
        m_outcome.reusable = m_parser.keepAlive() && m_socket->state() == QAbstractSocket::ConnectedState
                             && m_socket->bytesAvailable() == 0;
        m_outcome.answer = std::move(m_parser);
    }
    return std::move(m_outcome);
}

void HttpExchange::restartTimer()
{
    if (m_timeoutMs > 0)
        m_idle.start(m_timeoutMs);
}

void HttpExchange::send()
{
    // An exchange that already failed (a connect time-out reported as "not
    // reached") never writes: the caller has put its message back.
    if (m_done)
        return;
    const qint64 wait = m_writeWait ? m_writeWait() : 0;
    if (wait > 0) {
        m_idle.stop();
        m_writeDue.start(int(wait));
        return;
    }
    write();
}

void HttpExchange::write()
{
    m_sent = true;
    if (m_wrote)
        m_wrote();
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_socket->write(m_target.request);
    // Out at once, before the event loop gets to anything else (a window
    // repainting would otherwise hold the request back).
    m_socket->flush();
    restartTimer();
}

void HttpExchange::readAnswer()
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

void HttpExchange::closed()
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

void HttpExchange::socketError(int error)
{
    if (m_done)
        return;
    const QString detail = m_socket->errorString();
    if (!m_sent) {
        const auto code = error == QAbstractSocket::ConnectionRefusedError    ? QNetworkReply::ConnectionRefusedError
                          : error == QAbstractSocket::HostNotFoundError       ? QNetworkReply::HostNotFoundError
                          : error == QAbstractSocket::SslHandshakeFailedError ? QNetworkReply::SslHandshakeFailedError
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

void HttpExchange::timedOut()
{
    const QString seconds = QString::number(m_timeoutMs / 1000.0);
    if (!m_sent) {
        // No connection may complete after this: nothing is written on it.
        QObject::disconnect(m_socket, nullptr, &m_context, nullptr);
        m_socket->abort();
        fail(QNetworkReply::TimeoutError,
             QStringLiteral("The gateway at %1 could not be reached: no connection within %2 seconds.")
                 .arg(m_target.where, seconds),
             false);
    } else {
        fail(QNetworkReply::TimeoutError,
             QStringLiteral("The gateway at %1 did not answer within %2 seconds.").arg(m_target.where, seconds), true);
    }
}

void HttpExchange::fail(int code, const QString &description, bool mayHaveReached)
{
    if (m_done)
        return;
    m_outcome.error.emplace(code, description, mayHaveReached);
    finish();
}

void HttpExchange::finish()
{
    m_done = true;
    m_idle.stop();
    m_writeDue.stop();
    if (m_finished)
        m_finished();
}

QString decodedBody(const HttpAnswerParser &answer)
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
