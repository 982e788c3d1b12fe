#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

// Reads one HTTP/1.x answer as its bytes arrive, in pieces of any size:
// interim 1xx answers are passed over; the body is framed by Content-Length,
// chunked transfer coding (trailers read and dropped) or the connection's
// close. A line of the head longer than MaxLine makes the answer broken, so a
// peer that never ends a line cannot make it grow without end.
class HttpAnswerParser
{
public:
    enum class State { Incomplete, Complete, Broken };

    static constexpr qsizetype MaxLine = 8192;

    State feed(QByteArrayView data);
    // The connection closed: an answer whose body runs to the close is then whole.
    State closed();

    State state() const { return m_state; }
    int status() const { return m_status; }
    // The connection may carry another request: the answer said so and
    // nothing came after it.
    bool keepAlive() const { return m_state == State::Complete && m_keepAlive && m_buffer.isEmpty(); }
    const QByteArray &body() const { return m_body; }
    const QByteArray &contentType() const { return m_contentType; }

private:
    enum class Phase { StatusLine, Headers, Body, ChunkSize, ChunkData, ChunkEnd, Trailers };

    std::optional<QByteArray> takeLine();
    bool step();
    bool statusLine(const QByteArray &line);
    bool header(const QByteArray &line);
    bool endOfHead();
    bool takeBody();
    bool broken();
    bool complete();

    QByteArray m_buffer;
    QByteArray m_body;
    QByteArray m_contentType;
    State m_state = State::Incomplete;
    Phase m_phase = Phase::StatusLine;
    int m_status = 0;
    bool m_keepAlive = false;
    bool m_chunked = false;
    bool m_untilClose = false;
    qint64 m_length = -1;
    qint64 m_chunkLeft = 0;
};
