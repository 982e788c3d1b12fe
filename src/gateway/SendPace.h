#pragma once

#include <QtGlobal>

#include <deque>

// Spaces requests so that no window of one second ever holds more than
// `perSecond` of them (0: no limit). Times are milliseconds on one steady
// clock.
class SendPace
{
public:
    // A little over a second: a request that meets a delay of its own on the
    // way must not arrive in the same second as the ones sent after it.
    static constexpr qint64 WindowMs = 1025;

    explicit SendPace(int perSecond) : m_perSecond(perSecond) {}

    int perSecond() const { return m_perSecond; }
    // How long from `now` until the next request may go; 0 when it may go now.
    qint64 waitMs(qint64 now) const;
    // A request went at `now`.
    void sent(qint64 now);

private:
    int m_perSecond;
    std::deque<qint64> m_sent; // the last perSecond requests' times, oldest first
};
