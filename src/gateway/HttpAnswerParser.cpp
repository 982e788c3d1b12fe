#include "gateway/HttpAnswerParser.h"

#include <QList>

HttpAnswerParser::State HttpAnswerParser::feed(QByteArrayView data)
{
    m_buffer += data; // also after the answer, so keepAlive() sees bytes that should not be there
    while (m_state == State::Incomplete && step()) {
    }
    return m_state;
}

HttpAnswerParser::State HttpAnswerParser::closed()
{
    if (m_state == State::Incomplete && m_phase == Phase::Body && m_untilClose) {
        m_body += m_buffer;
        m_buffer.clear();
        m_keepAlive = false;
        m_state = State::Complete;
    }
    return m_state;
}

// The next line without its CR LF; nothing while it is not whole (or when it
// is too long, which breaks the answer).
std::optional<QByteArray> HttpAnswerParser::takeLine()
{
    const qsizetype end = m_buffer.indexOf('\n');
    if (end < 0 ? m_buffer.size() > MaxLine : end > MaxLine) {
        broken();
        return std::nullopt;
    }
    if (end < 0)
        return std::nullopt;
    QByteArray line = m_buffer.left(end);
    m_buffer.remove(0, end + 1);
    if (line.endsWith('\r'))
        line.chop(1);
    return line;
}

bool HttpAnswerParser::broken()
{
    m_state = State::Broken;
    return false;
}

bool HttpAnswerParser::complete()
{
    m_state = State::Complete;
    return false;
}

// One step of the parse; false when more data is needed or the parse ended.
bool HttpAnswerParser::step()
{
    if (m_phase == Phase::Body || m_phase == Phase::ChunkData)
        return takeBody();

    const auto line = takeLine();
    if (!line)
        return false;
    switch (m_phase) {
    case Phase::StatusLine:
        return line->isEmpty() || statusLine(*line); // an empty line before it is tolerated
    case Phase::Headers:
        return line->isEmpty() ? endOfHead() : header(*line);
    case Phase::ChunkSize: {
        bool ok = false;
        m_chunkLeft = line->split(';').first().trimmed().toLongLong(&ok, 16);
        if (!ok || m_chunkLeft < 0)
            return broken();
        m_phase = m_chunkLeft == 0 ? Phase::Trailers : Phase::ChunkData;
        return true;
    }
    case Phase::ChunkEnd:
        if (!line->isEmpty())
            return broken();
        m_phase = Phase::ChunkSize;
        return true;
    case Phase::Trailers:
        return line->isEmpty() ? complete() : true;
    case Phase::Body:
    case Phase::ChunkData:
        break;
    }
    return false;
}

bool HttpAnswerParser::statusLine(const QByteArray &line)
{
    const QList<QByteArray> parts = line.split(' ');
    if (parts.size() < 2 || !parts[0].startsWith("HTTP/1."))
        return broken();
    bool ok = false;
    m_status = parts[1].toInt(&ok);
    if (!ok || m_status < 100 || m_status > 999)
        return broken();
    m_keepAlive = parts[0] != "HTTP/1.0";
    m_length = -1;
    m_chunked = false;
    m_contentType.clear();
    m_phase = Phase::Headers;
    return true;
}

bool HttpAnswerParser::header(const QByteArray &line)
{
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0)
        return broken();
    const QByteArray name = line.left(colon).trimmed().toLower();
    const QByteArray value = line.mid(colon + 1).trimmed();
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

bool HttpAnswerParser::endOfHead()
{
    if (m_status < 200) {
        if (m_status == 101)
            return broken();         // a switch of protocol is no answer
        m_phase = Phase::StatusLine; // an interim answer; the real one follows
        return true;
    }
    if (m_status == 204 || m_status == 304 || (!m_chunked && m_length == 0))
        return complete();
    m_untilClose = !m_chunked && m_length < 0;
    m_phase = m_chunked ? Phase::ChunkSize : Phase::Body;
    return true;
}

// Moves body bytes from the buffer: all of them when the body runs to the
// close, otherwise at most what is left of the body or chunk.
bool HttpAnswerParser::takeBody()
{
    if (m_untilClose) {
        m_body += m_buffer;
        m_buffer.clear();
        return false;
    }
    const bool chunk = m_phase == Phase::ChunkData;
    const qint64 wanted = chunk ? m_chunkLeft : m_length - m_body.size();
    const qsizetype take = qsizetype(qMin<qint64>(wanted, m_buffer.size()));
    m_body.append(m_buffer.constData(), take);
    m_buffer.remove(0, take);
    if (!chunk)
        return m_body.size() == m_length ? complete() : false;
    m_chunkLeft -= take;
    if (m_chunkLeft > 0)
        return false;
    m_phase = Phase::ChunkEnd;
    return true;
}
