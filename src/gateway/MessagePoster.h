#pragma once

#include "gateway/GatewayClient.h"
#include "gateway/SendPace.h"

#include <QElapsedTimer>
#include <QList>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

class HttpExchange;
struct HttpTarget;
class QEventLoop;
class QTcpSocket;

// Keeps up to `connections` SingleSMS requests open at once, each on a
// kept-alive connection of its own, on the calling thread: the sockets are
// driven by the event loop, which wait() runs until an answer is in. A request
// is written once and never sent again, and never more than `perSecond` are
// written in any one second (0: no limit). The limit is this poster's: two
// programs sending on one account each keep their own.
class MessagePoster
{
public:
    struct Answer
    {
        qint64 key = 0;
        QString text;                      // the answer, when one came back
        std::optional<GatewayError> error; // when none did
    };

    MessagePoster(int connections, int timeoutMs, int perSecond = 0);
    ~MessagePoster();
    MessagePoster(const MessagePoster &) = delete;
    MessagePoster &operator=(const MessagePoster &) = delete;

    int connections() const { return int(m_slots.size()); }
    int inFlight() const;
    bool hasFreeConnection() const;

    // Posts the message of outbox row `key` on a free connection. Throws
    // GatewayError (nothing sent) when the gateway's address is unusable.
    // The gateway's address and account are read at the first post and kept
    // for the poster's life: one run's.
    void post(qint64 key, const QString &number, const QString &message);

    // The answers in since the last call. When there are none yet, runs the
    // event loop until one is in, or for at most wakeInMs (-1: no limit; with
    // nothing in flight it returns at once).
    QList<Answer> wait(qint64 wakeInMs);

private:
    struct Slot;
    void discardSocket(Slot &slot);
    QList<Answer> collect();

    int m_timeoutMs;
    SendPace m_pace;
    QElapsedTimer m_clock;
    std::unique_ptr<HttpTarget> m_run; // the address and account every message's request starts from
    std::vector<std::unique_ptr<Slot>> m_slots;
    QList<int> m_finished; // slots whose exchange is over, in the order they ended
    QEventLoop *m_waiting = nullptr;
};
