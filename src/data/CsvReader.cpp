#include "data/CsvReader.h"

#include <array>

namespace {

// Lines looked at to find the delimiter.
constexpr int SampleLines = 20;

bool lineEnd(QChar c)
{
    return c == u'\n' || c == u'\r';
}

} // namespace

CsvReader::CsvReader(const QByteArray &bytes, const KnownHeading &known) : m_text(TextFiles::decode(bytes, m_encoding))
{
    detectDelimiter();
    Record first;
    while (readRecord(first)) {
        if (!first.error.isEmpty())
            break;
        bool text = false;
        bool data = false;
        bool knownCell = false;
        for (const QString &cell : std::as_const(first.cells)) {
            const QString trimmed = cell.trimmed();
            if (trimmed.isEmpty())
                continue;
            if (known && known(trimmed))
                knownCell = true;
            bool letters = false;
            for (const QChar c : trimmed)
                letters = letters || c.isLetter();
            if (!letters || looksLikeNumber(trimmed) || looksLikeEmail(trimmed))
                data = true;
            else
                text = true;
        }
        m_hasHeading = knownCell || (text && !data);
        if (m_hasHeading) {
            m_firstRow = first.cells;
            m_start = m_at;
            m_startLine = m_line;
        }
        break;
    }
    rewind();
}

CsvReader CsvReader::fromFile(const QString &path, const KnownHeading &known)
{
    return CsvReader(TextFiles::readBytes(path), known);
}

void CsvReader::setHasHeading(bool heading)
{
    if (heading == m_hasHeading)
        return;
    m_start = 0;
    m_startLine = 1;
    m_hasHeading = false;
    m_firstRow.clear();
    rewind();
    if (heading) {
        Record first;
        if (readRecord(first) && first.error.isEmpty()) {
            m_hasHeading = true;
            m_firstRow = first.cells;
            m_start = m_at;
            m_startLine = m_line;
        }
    }
    rewind();
}

void CsvReader::rewind()
{
    m_at = m_start;
    m_line = m_startLine;
}

// The delimiter that splits the first lines most evenly: for each candidate,
// how many lines have the same count of it (outside quotes) as the first
// line, then how many it splits the first line at. A file with none of them
// has one column.
void CsvReader::detectDelimiter()
{
    constexpr std::array<char16_t, 3> candidates{u',', u';', u'\t'};
    std::array<QList<int>, 3> counts;
    std::array<int, 3> current{};
    bool quoted = false;
    bool any = false;
    int lines = 0;
    for (qsizetype i = 0; i < m_text.size() && lines < SampleLines; ++i) {
        const char16_t c = m_text.at(i).unicode();
        if (c == u'"') {
            quoted = !quoted;
        } else if (!quoted && lineEnd(c)) {
            if (any) {
                for (size_t k = 0; k < candidates.size(); ++k)
                    counts[k].append(current[k]);
                ++lines;
            }
            current.fill(0);
            any = false;
            continue;
        } else if (!quoted) {
            for (size_t k = 0; k < candidates.size(); ++k)
                current[k] += c == candidates[k] ? 1 : 0;
        }
        any = true;
    }
    if (any && lines < SampleLines) {
        for (size_t k = 0; k < candidates.size(); ++k)
            counts[k].append(current[k]);
    }

    int bestEven = 0;
    int bestFirst = 0;
    for (size_t k = 0; k < candidates.size(); ++k) {
        if (counts[k].isEmpty() || counts[k].first() == 0)
            continue;
        const int first = counts[k].first();
        const int even = int(counts[k].count(first));
        if (even > bestEven || (even == bestEven && first > bestFirst)) {
            bestEven = even;
            bestFirst = first;
            m_delimiter = QChar(candidates[k]);
        }
    }
}

bool CsvReader::next(Record &record)
{
    return readRecord(record);
}

bool CsvReader::readRecord(Record &record)
{
    const qsizetype size = m_text.size();
    const QChar *const text = m_text.constData();
    const QChar delimiter = m_delimiter;
    // Empty lines are no rows.
    while (m_at < size && lineEnd(text[m_at])) {
        if (text[m_at] == u'\r' && m_at + 1 < size && text[m_at + 1] == u'\n')
            ++m_at;
        ++m_at;
        ++m_line;
    }
    if (m_at >= size)
        return false;

    record.line = m_line;
    record.cells.clear();
    record.error.clear();
    QString cell;
    for (;;) {
        cell.clear();
        if (text[m_at] == u'"') {
            const qint64 opened = m_line;
            ++m_at;
            for (;;) {
                const qsizetype quote = m_text.indexOf(u'"', m_at);
                if (quote < 0) {
                    record.cells.clear();
                    record.error = QStringLiteral("A quote opened on line %1 is never closed.").arg(opened);
                    m_at = size;
                    return true;
                }
                for (qsizetype i = m_at; i < quote; ++i) {
                    if (text[i] == u'\n' || (text[i] == u'\r' && (i + 1 == quote || text[i + 1] != u'\n')))
                        ++m_line;
                }
                cell.append(QStringView(text + m_at, quote - m_at));
                m_at = quote + 1;
                if (m_at < size && text[m_at] == u'"') {
                    cell.append(u'"');
                    ++m_at;
                    continue;
                }
                break;
            }
        }
        // Unquoted text, or what follows a closing quote before the
        // delimiter (kept as it stands rather than lost).
        const qsizetype begin = m_at;
        while (m_at < size && text[m_at] != delimiter && !lineEnd(text[m_at]))
            ++m_at;
        if (m_at > begin)
            cell.append(QStringView(text + begin, m_at - begin));
        record.cells.append(cell);
        if (m_at >= size)
            return true;
        if (text[m_at] == delimiter) {
            ++m_at;
            if (m_at >= size) {
                record.cells.append(QString());
                return true;
            }
            continue;
        }
        if (text[m_at] == u'\r' && m_at + 1 < size && text[m_at + 1] == u'\n')
            ++m_at;
        ++m_at;
        ++m_line;
        return true;
    }
}

bool CsvReader::looksLikeNumber(const QString &cell)
{
    int digits = 0;
    for (const QChar c : cell) {
        if (c.isDigit())
            ++digits;
        else if (!(c == u' ' || c == u'+' || c == u'-' || c == u'(' || c == u')' || c == u'.' || c == u'/'))
            return false;
    }
    return digits >= 7;
}

bool CsvReader::looksLikeEmail(const QString &cell)
{
    const qsizetype at = cell.indexOf(u'@');
    return at > 0 && cell.indexOf(u'.', at) > at + 1 && !cell.contains(u' ');
}
