#pragma once

#include "gateway/GatewayClient.h"
#include "gateway/HttpAnswerParser.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <optional>

class QTcpSocket;

// Where a request goes and the request itself as it goes on the wire.
struct HttpTarget
{
    bool tls = false;
    QString host;
    quint16 port = 80;
    QByteArray request;      // the whole request as it goes on the wire
    QString key;             // which kept-alive connection may carry it
    QString where;           // host and port for messages
    QByteArray pathAndQuery; // the request line's target, encoded
    QByteArray hostHeader;   // the Host header's value

    static HttpTarget of(const QUrl &url);
    // The same target with encoded query pairs ("&a=1&b=2") after those of
    // its query: one message's request made from a run's, without building
    // and parsing a URL for each.
    HttpTarget withMoreQuery(const QByteArray &pairs) const;
    // A new, unconnected socket for the target (TLS when it asks for it).
    QTcpSocket *newSocket(QObject *owner) const;
};

// One request on one socket, driven by the socket's signals: connect (unless
// the socket is already connected), write the request once, read the answer
// until it is whole, the connection breaks or nothing arrives for the
// time-out. `finished` is called once, from the event loop; the caller then
// takes the outcome and decides what becomes of the socket.
class HttpExchange
{
public:
    struct Outcome
    {
        std::optional<HttpAnswerParser> answer;
        std::optional<GatewayError> error;
        // A kept-alive connection that closed before anything came back: the
        // gateway most likely closed it before the request arrived.
        bool staleConnection = false;
        // The connection may carry the next request.
        bool reusable = false;
    };

    HttpExchange(const HttpTarget &target, QTcpSocket *socket, int timeoutMs, std::function<void()> finished);
    ~HttpExchange();
    HttpExchange(const HttpExchange &) = delete;
    HttpExchange &operator=(const HttpExchange &) = delete;

    // Before the request is written, waitMs() says how long it must still
    // wait (0: it may go now), and wrote() hears that it went: a rate limit
    // paces the moment a request is written, which a fresh connection's
    // handshake can put well after the request was handed over.
    void setWriteGate(std::function<qint64()> waitMs, std::function<void()> wrote);

    void start();
    bool isDone() const { return m_done; }
    // The outcome once done; the socket's signals are no longer watched.
    Outcome take();

private:
    void restartTimer();
    void send();
    void write();
    void readAnswer();
    void closed();
    void socketError(int error);
    void timedOut();
    void fail(int code, const QString &description, bool mayHaveReached);
    void finish();

    const HttpTarget &m_target;
    const int m_timeoutMs;
    QTcpSocket *m_socket;
    const bool m_reused;
    std::function<void()> m_finished;
    HttpAnswerParser m_parser;
    QObject m_context; // the receiver of the socket's signals for this exchange
    QTimer m_idle;
    QTimer m_writeDue; // the rate limit's wait before writing
    std::function<qint64()> m_writeWait;
    std::function<void()> m_wrote;
    Outcome m_outcome;
    bool m_sent = false;
    bool m_done = false;
    qint64 m_received = 0;
};

// The body of an answer as text, in the character set it names (UTF-8 when none).
QString decodedBody(const HttpAnswerParser &answer);
