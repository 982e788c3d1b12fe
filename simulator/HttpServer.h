#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTcpServer>

#include <deque>
#include <functional>

class QTcpSocket;

struct HttpRequest
{
    QByteArray method;
    QByteArray target; // path and query exactly as on the wire
    QByteArray version;
    quint64 connection = 0; // which connection carried it, numbered from 1 as they are accepted
};

struct HttpAnswer
{
    // What goes on the wire: the answer as built, the answer cut short (a
    // Content-Length larger than the body, then the connection closes), no
    // answer and the connection closed, or no answer ever.
    enum class Delivery { Normal, Truncate, Drop, Hang };

    int status = 200;
    QByteArray contentType = "text/plain; charset=utf-8";
    QByteArray body;
    Delivery delivery = Delivery::Normal;
    int delayMs = 0;
};

// A small HTTP/1.1 server: keep-alive, pipelined requests answered in order,
// each answer written with one write call on a socket without Nagle delay.
class HttpServer : public QObject
{
    Q_OBJECT
public:
    using Handler = std::function<HttpAnswer(const HttpRequest &)>;

    explicit HttpServer(Handler handler, QObject *parent = nullptr);

    bool listen(const QHostAddress &address, quint16 port);
    QString errorString() const { return m_server.errorString(); }
    QHostAddress serverAddress() const { return m_server.serverAddress(); }
    quint16 serverPort() const { return m_server.serverPort(); }

private:
    void acceptConnections();

    Handler m_handler;
    QTcpServer m_server;
};

class HttpConnection : public QObject
{
    Q_OBJECT
public:
    HttpConnection(QTcpSocket *socket, const HttpServer::Handler &handler, QObject *parent);

private:
    struct Outgoing
    {
        quint64 serial = 0;
        QByteArray bytes;
        HttpAnswer::Delivery delivery = HttpAnswer::Delivery::Normal;
        bool closeAfter = false;
        bool ready = false;
    };

    // What the headers say of the body and of the connection.
    struct Framing
    {
        qint64 contentLength = 0;
        bool chunked = false;
        bool expectContinue = false;
        QByteArray connection;
    };

    void readIncoming();
    // Parses one request from the buffer; false when more bytes are needed or
    // the connection is closing.
    bool takeRequest();
    // Where the first unparsed request's headers end (at its blank line) and
    // its body starts; false while the blank line has not arrived.
    bool findHeaderEnd(qsizetype &headerEnd, qsizetype &bodyStart);
    // False once a header made the request refused.
    bool readFraming(const QList<QByteArray> &lines, Framing &framing);
    void answer(const HttpAnswer &answer, bool keepAlive);
    void refuse(int status, const QByteArray &reason);
    void markReady(quint64 serial);
    void sendReady();

    QTcpSocket *m_socket;
    const HttpServer::Handler &m_handler;
    QByteArray m_buffer;
    qsizetype m_offset = 0;  // start of the first unparsed request
    qsizetype m_scanned = 0; // how far the header end was searched for
    bool m_closing = false;
    bool m_continueSent = false;
    quint64 m_serial = 0;
    quint64 m_number = 0;
    QElapsedTimer m_readAt; // when the requests being handled were read
    std::deque<Outgoing> m_outgoing;
};

QByteArray reasonPhrase(int status);
