#include "compose/MessageText.h"

namespace MessageText {

namespace {
bool isBreak(QChar c)
{
    return c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QChar::ParagraphSeparator
           || c == QChar::LineSeparator;
}

// Calls visit(piece) for every character and line break of text; a CR LF pair
// is one break.
template <typename Visit>
void forEachPiece(const QString &text, Visit visit)
{
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = text.at(i);
        if (isBreak(c)) {
            if (c == QLatin1Char('\r') && i + 1 < size && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
            visit(true, i, 1);
        } else if (c.isHighSurrogate() && i + 1 < size && text.at(i + 1).isLowSurrogate()) {
            visit(false, i, 2);
            ++i;
        } else {
            visit(false, i, 1);
        }
    }
}
} // namespace

QString toStored(const QString &text)
{
    QString result;
    result.reserve(text.size() + 8);
    forEachPiece(text, [&](bool lineBreak, qsizetype at, int count) {
        if (lineBreak)
            result += QStringLiteral("\r\n");
        else
            result += QStringView(text).mid(at, count);
    });
    return result;
}

QString toEditor(const QString &text)
{
    QString result;
    result.reserve(text.size());
    forEachPiece(text, [&](bool lineBreak, qsizetype at, int count) {
        if (lineBreak)
            result += QLatin1Char('\n');
        else
            result += QStringView(text).mid(at, count);
    });
    return result;
}

int storedLength(const QString &text)
{
    int length = 0;
    forEachPiece(text, [&](bool lineBreak, qsizetype, int count) { length += lineBreak ? 2 : count; });
    return length;
}

QString fitToRoom(const QString &text, int room)
{
    QString result;
    int used = 0;
    bool full = false;
    forEachPiece(text, [&](bool lineBreak, qsizetype at, int count) {
        if (full)
            return;
        const int cost = lineBreak ? 2 : count;
        if (used + cost > room) {
            full = true;
            return;
        }
        used += cost;
        if (lineBreak)
            result += QLatin1Char('\n');
        else
            result += QStringView(text).mid(at, count);
    });
    return result;
}

Spread spread(const QString &text, const QList<int> &rooms)
{
    Spread result;
    result.leftOver = toEditor(text);
    for (const int room : rooms) {
        const QString piece = fitToRoom(result.leftOver, room);
        result.pieces << piece;
        result.leftOver.remove(0, piece.size());
    }
    return result;
}

} // namespace MessageText
