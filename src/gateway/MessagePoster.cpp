#include "gateway/MessagePoster.h"

#include "gateway/HttpExchange.h"

#include <QEventLoop>
#include <QTcpSocket>
#include <QTimer>

namespace {

// A kept-alive connection carries the next request only this soon after its
// last answer; an older one may have been closed by the gateway meanwhile.
constexpr qint64 ReuseWithinMs = 2000;

} // namespace

struct MessagePoster::Slot
{
    std::optional<HttpTarget> target;       // of the request in flight
    std::unique_ptr<HttpExchange> exchange; // the request in flight
    qint64 key = 0;
    QTcpSocket *socket = nullptr;
    QElapsedTimer idleSince;
};

MessagePoster::MessagePoster(int connections, int timeoutMs, int perSecond) : m_timeoutMs(timeoutMs), m_pace(perSecond)
{
    m_clock.start();
    for (int i = 0; i < std::max(1, connections); ++i)
        m_slots.push_back(std::make_unique<Slot>());
}

MessagePoster::~MessagePoster()
{
    for (auto &slot : m_slots) {
        slot->exchange.reset();
        discardSocket(*slot);
    }
}

int MessagePoster::inFlight() const
{
    return int(
        std::count_if(m_slots.begin(), m_slots.end(), [](const auto &slot) { return slot->exchange != nullptr; }));
}

bool MessagePoster::hasFreeConnection() const
{
    return inFlight() < connections();
}

void MessagePoster::discardSocket(Slot &slot)
{
    if (!slot.socket)
        return;
    slot.socket->abort();
    delete slot.socket;
    slot.socket = nullptr;
}

void MessagePoster::post(qint64 key, const QString &number, const QString &message)
{
    const auto free = std::find_if(m_slots.begin(), m_slots.end(), [](const auto &slot) { return !slot->exchange; });
    Q_ASSERT(free != m_slots.end());
    Slot &slot = **free;
    const int index = int(free - m_slots.begin());

    if (!m_run)
        m_run = std::make_unique<HttpTarget>(GatewayClient::targetOf({QStringLiteral("SingleSMS"), {}}));
    slot.target =
        m_run->withMoreQuery(GatewayClient::queryPairs({{QStringLiteral("Number"), number},
                                                        {QStringLiteral("Message"), message},
                                                        {QStringLiteral("CustomerID"), QString::number(key)}}));

    if (slot.socket) {
        // Notices a close that arrived while the connection was idle.
        if (slot.socket->state() == QAbstractSocket::ConnectedState && slot.socket->bytesAvailable() == 0)
            slot.socket->waitForReadyRead(0);
        if (slot.socket->state() != QAbstractSocket::ConnectedState || slot.socket->bytesAvailable() > 0
            || slot.idleSince.elapsed() > ReuseWithinMs)
            discardSocket(slot);
    }
    if (!slot.socket)
        slot.socket = slot.target->newSocket(nullptr);
    slot.key = key;
    slot.exchange = std::make_unique<HttpExchange>(*slot.target, slot.socket, m_timeoutMs, [this, index] {
        m_finished.append(index);
        if (m_waiting)
            m_waiting->quit();
    });
    if (m_pace.perSecond() > 0)
        slot.exchange->setWriteGate([this] { return m_pace.waitMs(m_clock.elapsed()); },
                                    [this] { m_pace.sent(m_clock.elapsed()); });
    slot.exchange->start();
}

QList<MessagePoster::Answer> MessagePoster::wait(qint64 wakeInMs)
{
    if (m_finished.isEmpty() && (inFlight() > 0 || wakeInMs >= 0)) {
        QEventLoop loop;
        QTimer wake;
        if (wakeInMs >= 0) {
            wake.setSingleShot(true);
            wake.setTimerType(Qt::PreciseTimer);
            QObject::connect(&wake, &QTimer::timeout, &loop, &QEventLoop::quit);
            wake.start(int(wakeInMs));
        }
        m_waiting = &loop;
        loop.exec(QEventLoop::ExcludeUserInputEvents);
        m_waiting = nullptr;
    }
    return collect();
}

QList<MessagePoster::Answer> MessagePoster::collect()
{
    QList<Answer> answers;
    for (const int index : std::exchange(m_finished, {})) {
        Slot &slot = *m_slots[size_t(index)];
        HttpExchange::Outcome outcome = slot.exchange->take();
        slot.exchange.reset();
        Answer answer;
        answer.key = slot.key;
        if (outcome.answer)
            answer.text = decodedBody(*outcome.answer);
        else
            answer.error = outcome.error;
        if (outcome.reusable)
            slot.idleSince.start();
        else
            discardSocket(slot);
        answers.append(std::move(answer));
    }
    return answers;
}
