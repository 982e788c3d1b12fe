#include "data/SmsParts.h"

#include <array>

namespace {

constexpr int GsmSingle = 160;
constexpr int GsmSplit = 153;
constexpr int UnicodeSingle = 70;
constexpr int UnicodeSplit = 67;

// The basic character set of the GSM 7-bit default alphabet (without the
// escape code) and its extension table.
constexpr char16_t GsmBasic[] = u"@\u00A3$\u00A5\u00E8\u00E9\u00F9\u00EC\u00F2\u00C7\n\u00D8\u00F8\r\u00C5\u00E5"
                                u"\u0394_\u03A6\u0393\u039B\u03A9\u03A0\u03A8\u03A3\u0398\u039E\u00C6\u00E6\u00DF\u00C9"
                                u" !\"#\u00A4%&'()*+,-./0123456789:;<=>?"
                                u"\u00A1ABCDEFGHIJKLMNOPQRSTUVWXYZ\u00C4\u00D6\u00D1\u00DC\u00A7"
                                u"\u00BFabcdefghijklmnopqrstuvwxyz\u00E4\u00F6\u00F1\u00FC\u00E0";
constexpr char16_t GsmExtension[] = u"\f^{}\\[~]|\u20AC";

struct Table
{
    std::array<unsigned char, 0x400> latinAndGreek{}; // code points below 0x400
};

const Table &table()
{
    static const Table built = [] {
        Table t;
        for (char16_t c : GsmBasic)
            if (c && c < 0x400)
                t.latinAndGreek[c] = 1;
        for (char16_t c : GsmExtension)
            if (c && c < 0x400)
                t.latinAndGreek[c] = 2;
        return t;
    }();
    return built;
}

// Parts needed when each piece (a character, or the pieces that must stay
// together) is packed greedily into parts of perPart units.
template <typename Cost>
int packedParts(const QString &message, int perPart, Cost cost)
{
    int parts = 1;
    int used = 0;
    const qsizetype size = message.size();
    for (qsizetype i = 0; i < size;) {
        int step = 1;
        const int units = cost(i, step);
        if (used + units > perPart) {
            ++parts;
            used = 0;
        }
        used += units;
        i += step;
    }
    return parts;
}

} // namespace

int gsmSeptets(QChar c)
{
    const char16_t code = c.unicode();
    if (code < 0x400)
        return table().latinAndGreek[code];
    return code == 0x20AC ? 2 : 0;
}

SmsParts smsParts(const QString &message)
{
    SmsParts result;
    if (message.isEmpty())
        return result;

    int septets = 0;
    for (QChar c : message) {
        const int units = gsmSeptets(c);
        if (units == 0) {
            result.unicode = true;
            break;
        }
        septets += units;
    }

    if (!result.unicode) {
        result.units = septets;
        result.parts = septets <= GsmSingle ? 1 : packedParts(message, GsmSplit, [&](qsizetype i, int &) {
            return gsmSeptets(message.at(i));
        });
        return result;
    }

    result.units = int(message.size());
    result.parts = result.units <= UnicodeSingle ? 1 : packedParts(message, UnicodeSplit, [&](qsizetype i, int &step) {
        if (message.at(i).isHighSurrogate() && i + 1 < message.size() && message.at(i + 1).isLowSurrogate())
            step = 2;
        return step;
    });
    return result;
}

QString partsText(const SmsParts &parts)
{
    QString text = QStringLiteral("%1 SMS").arg(parts.parts);
    if (parts.unicode)
        text += QStringLiteral(" \u00B7 Unicode");
    return text;
}
