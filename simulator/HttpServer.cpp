#include "HttpServer.h"

#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <chrono>

namespace {

constexpr qsizetype MaxHeaderBytes = 1 << 20;
constexpr qint64 MaxBodyBytes = qint64(64) << 20;

bool hasToken(const QByteArray &headerValue, const QByteArray &token)
{
    const QList<QByteArray> parts = headerValue.split(',');
    for (const QByteArray &part : parts) {
        if (part.trimmed().compare(token, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

// Length of a complete chunked body starting at 'from', -1 while incomplete,
// -2 when malformed.
qsizetype chunkedLength(const QByteArray &buffer, qsizetype from)
{
    qsizetype pos = from;
    for (;;) {
        const qsizetype lineEnd = buffer.indexOf('\n', pos);
        if (lineEnd < 0)
            return -1;
        QByteArray sizeText = buffer.mid(pos, lineEnd - pos).trimmed();
        const qsizetype extension = sizeText.indexOf(';');
        if (extension >= 0)
            sizeText.truncate(extension);
        bool ok = false;
        const qint64 size = sizeText.trimmed().toLongLong(&ok, 16);
        if (!ok || size < 0 || size > MaxBodyBytes)
            return -2;
        pos = lineEnd + 1;
        if (size == 0) {
            // Trailer lines up to an empty line.
            for (;;) {
                const qsizetype end = buffer.indexOf('\n', pos);
                if (end < 0)
                    return -1;
                const bool empty = buffer.mid(pos, end - pos).trimmed().isEmpty();
                pos = end + 1;
                if (empty)
                    return pos - from;
            }
        }
        if (buffer.size() - pos < size)
            return -1;
        pos += qsizetype(size);
        const qsizetype dataEnd = buffer.indexOf('\n', pos);
        if (dataEnd < 0)
            return buffer.size() - pos > 2 ? -2 : -1;
        if (!buffer.mid(pos, dataEnd - pos).trimmed().isEmpty())
            return -2;
        pos = dataEnd + 1;
    }
}

} // namespace

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 413:
        return "Payload Too Large";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    case 502:
        return "Bad Gateway";
    case 503:
        return "Service Unavailable";
    case 504:
        return "Gateway Timeout";
    default:
        return status >= 200 && status < 300 ? "OK" : "Status";
    }
}

HttpServer::HttpServer(Handler handler, QObject *parent) : QObject(parent), m_handler(std::move(handler))
{
    connect(&m_server, &QTcpServer::newConnection, this, &HttpServer::acceptConnections);
}

bool HttpServer::listen(const QHostAddress &address, quint16 port)
{
    m_server.setMaxPendingConnections(1000);
    // Qt asks the system for a queue of 50 connections not yet accepted; a
    // program opening 64 at once then has some of them refused, and its
    // system tries again only a second later. Servers keep a longer queue.
    m_server.setListenBacklogSize(1024);
    return m_server.listen(address, port);
}

void HttpServer::acceptConnections()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection())
        new HttpConnection(socket, m_handler, this);
}

HttpConnection::HttpConnection(QTcpSocket *socket, const HttpServer::Handler &handler, QObject *parent)
    : QObject(parent), m_socket(socket), m_handler(handler)
{
    static quint64 accepted = 0;
    m_number = ++accepted;
    socket->setParent(this);
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    connect(socket, &QTcpSocket::readyRead, this, &HttpConnection::readIncoming);
    connect(socket, &QTcpSocket::disconnected, this, &QObject::deleteLater);
    if (socket->state() != QAbstractSocket::ConnectedState)
        deleteLater();
    else if (socket->bytesAvailable() > 0)
        QTimer::singleShot(0, this, &HttpConnection::readIncoming);
}

void HttpConnection::readIncoming()
{
    if (m_closing) {
        m_socket->readAll();
        return;
    }
    m_readAt.start();
    if (m_buffer.isEmpty())
        m_buffer = m_socket->readAll();
    else
        m_buffer += m_socket->readAll();
    while (takeRequest()) {
    }
    if (m_offset > 0) {
        m_buffer.remove(0, m_offset);
        m_scanned = qMax<qsizetype>(0, m_scanned - m_offset);
        m_offset = 0;
    }
}

bool HttpConnection::findHeaderEnd(qsizetype &headerEnd, qsizetype &bodyStart)
{
    const qsizetype size = m_buffer.size();
    qsizetype from = qMax(m_scanned, m_offset);
    for (;;) {
        const qsizetype nl = m_buffer.indexOf('\n', from);
        if (nl < 0) {
            m_scanned = size;
            return false;
        }
        if (nl + 1 < size && m_buffer.at(nl + 1) == '\n') {
            headerEnd = nl;
            bodyStart = nl + 2;
            return true;
        }
        if (nl + 2 < size && m_buffer.at(nl + 1) == '\r' && m_buffer.at(nl + 2) == '\n') {
            headerEnd = nl;
            bodyStart = nl + 3;
            return true;
        }
        if (nl + 2 >= size) {
            m_scanned = nl; // look at this line end again when more arrives
            return false;
        }
        from = nl + 1;
    }
}

bool HttpConnection::readFraming(const QList<QByteArray> &lines, Framing &framing)
{
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray &line = lines.at(i);
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray name = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (name == "content-length") {
            bool ok = false;
            framing.contentLength = value.toLongLong(&ok);
            if (!ok || framing.contentLength < 0) {
                refuse(400, "The Content-Length header is not a number.");
                return false;
            }
            if (framing.contentLength > MaxBodyBytes) {
                refuse(413, "The request body is too large.");
                return false;
            }
        } else if (name == "transfer-encoding") {
            framing.chunked = hasToken(value.toLower(), "chunked");
        } else if (name == "expect") {
            framing.expectContinue = hasToken(value, "100-continue");
        } else if (name == "connection") {
            framing.connection = framing.connection.isEmpty() ? value : framing.connection + ',' + value;
        }
    }
    return true;
}

bool HttpConnection::takeRequest()
{
    if (m_closing)
        return false;
    const qsizetype size = m_buffer.size();
    // Blank lines before a request line are allowed and skipped.
    while (m_offset < size && (m_buffer.at(m_offset) == '\r' || m_buffer.at(m_offset) == '\n'))
        ++m_offset;
    if (m_offset >= size)
        return false;

    qsizetype headerEnd = -1;
    qsizetype bodyStart = -1;
    if (!findHeaderEnd(headerEnd, bodyStart)) {
        if (size - m_offset > MaxHeaderBytes)
            refuse(431, "The request headers are too large.");
        return false;
    }
    if (headerEnd - m_offset > MaxHeaderBytes) {
        refuse(431, "The request headers are too large.");
        return false;
    }

    const QList<QByteArray> lines = m_buffer.mid(m_offset, headerEnd - m_offset).split('\n');
    const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
    if (requestLine.size() != 3 || requestLine.at(0).isEmpty() || requestLine.at(1).isEmpty()
        || !requestLine.at(2).startsWith("HTTP/1.")) {
        refuse(400, "The request line is not understood.");
        return false;
    }
    HttpRequest request;
    request.method = requestLine.at(0);
    request.target = requestLine.at(1);
    request.version = requestLine.at(2);
    request.connection = m_number;

    Framing framing;
    if (!readFraming(lines, framing))
        return false;

    qsizetype end = bodyStart;
    const bool bodyExpected = framing.chunked || framing.contentLength > 0;
    // A client that waits for leave to send its body gets it, unless answers
    // to earlier requests are still to be written before.
    if (framing.expectContinue && bodyExpected && !m_continueSent && size == bodyStart && m_outgoing.empty()) {
        m_socket->write("HTTP/1.1 100 Continue\r\n\r\n");
        m_continueSent = true;
    }
    if (framing.chunked) {
        const qsizetype length = chunkedLength(m_buffer, bodyStart);
        if (length == -2) {
            refuse(400, "The chunked request body is malformed.");
            return false;
        }
        if (length < 0)
            return false;
        end += length;
    } else {
        if (size - bodyStart < framing.contentLength)
            return false;
        end += qsizetype(framing.contentLength);
    }
    m_offset = end;
    m_scanned = end;
    m_continueSent = false;

    const bool keepAlive = request.version == "HTTP/1.0" ? hasToken(framing.connection, "keep-alive")
                                                         : !hasToken(framing.connection, "close");
    answer(m_handler(request), keepAlive);
    return true;
}

void HttpConnection::answer(const HttpAnswer &answer, bool keepAlive)
{
    Outgoing out;
    out.serial = ++m_serial;
    out.delivery = answer.delivery;
    out.closeAfter = !keepAlive;

    if (answer.delivery == HttpAnswer::Delivery::Normal || answer.delivery == HttpAnswer::Delivery::Truncate) {
        const bool truncate = answer.delivery == HttpAnswer::Delivery::Truncate;
        const QByteArray body = truncate ? answer.body.left(answer.body.size() / 2) : answer.body;
        const qsizetype announced = truncate ? answer.body.size() + 512 : answer.body.size();
        QByteArray &bytes = out.bytes;
        bytes.reserve(160 + body.size());
        bytes += "HTTP/1.1 ";
        bytes += QByteArray::number(answer.status);
        bytes += ' ';
        bytes += reasonPhrase(answer.status);
        bytes += "\r\nServer: tellwave-gateway\r\nContent-Type: ";
        bytes += answer.contentType;
        bytes += "\r\nContent-Length: ";
        bytes += QByteArray::number(announced);
        bytes += keepAlive && !truncate ? "\r\nConnection: keep-alive\r\n\r\n" : "\r\nConnection: close\r\n\r\n";
        bytes += body;
    }
    if (!keepAlive || answer.delivery == HttpAnswer::Delivery::Truncate
        || answer.delivery == HttpAnswer::Delivery::Drop)
        m_closing = true;

    const bool delayed = answer.delayMs > 0 && answer.delivery != HttpAnswer::Delivery::Hang;
    out.ready = answer.delivery != HttpAnswer::Delivery::Hang && !delayed;
    const quint64 serial = out.serial;
    m_outgoing.push_back(std::move(out));
    if (delayed) {
        // The delay counts from when the request was read, not from when it
        // was handled: a gateway far away serves many requests at once, and
        // one waiting behind others here would otherwise be answered later
        // than asked. A precise timer never fires early and rarely a
        // millisecond late; nothing sleeps, so requests arriving meanwhile
        // are read at once.
        const qint64 left = std::max<qint64>(0, answer.delayMs - m_readAt.elapsed());
        QTimer::singleShot(std::chrono::milliseconds(left), Qt::PreciseTimer, this,
                           [this, serial] { markReady(serial); });
    }
    sendReady();
}

void HttpConnection::refuse(int status, const QByteArray &reason)
{
    HttpAnswer answer;
    answer.status = status;
    answer.contentType = "text/html; charset=utf-8";
    answer.body = "<html><head><title>" + QByteArray::number(status) + ' ' + reasonPhrase(status)
                  + "</title></head><body><h1>" + reasonPhrase(status) + "</h1><p>" + reason + "</p></body></html>";
    this->answer(answer, false);
}

void HttpConnection::markReady(quint64 serial)
{
    for (Outgoing &out : m_outgoing) {
        if (out.serial == serial) {
            out.ready = true;
            break;
        }
    }
    sendReady();
}

void HttpConnection::sendReady()
{
    while (!m_outgoing.empty() && m_outgoing.front().ready) {
        const Outgoing out = std::move(m_outgoing.front());
        m_outgoing.pop_front();
        if (!out.bytes.isEmpty())
            m_socket->write(out.bytes);
        if (out.closeAfter || out.delivery != HttpAnswer::Delivery::Normal) {
            m_outgoing.clear();
            m_socket->disconnectFromHost();
            return;
        }
    }
}
