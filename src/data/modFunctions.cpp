#include "data/modFunctions.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <string>
#include <system_error>

namespace modFunctions {

namespace {

constexpr char16_t Blank = u' ';

// Case changes go character by character (simple mappings), so a text keeps
// its length and every position stays where it was.
QString lowered(const QString &text)
{
    QString result(text.size(), Qt::Uninitialized);
    QChar *out = result.data();
    for (const QChar c : text)
        *out++ = c.toLower();
    return result;
}

// Length of the text without its trailing blanks.
qsizetype endOfNonBlank(const QString &text)
{
    qsizetype end = text.size();
    while (end > 0 && text.at(end - 1).unicode() == Blank)
        --end;
    return end;
}

// The shared scan of CleanString and StripLineBreaks: the characters before
// the trailing blanks, without the dropped ones.
template <typename Dropped>
QString keepUpToLastNonBlank(const QString &text, Dropped dropped)
{
    const qsizetype end = endOfNonBlank(text);
    QString result(end, Qt::Uninitialized);
    QChar *out = result.data();
    const QChar *in = text.constData();
    for (qsizetype i = 0; i < end; ++i) {
        if (!dropped(in[i].unicode()))
            *out++ = in[i];
    }
    result.truncate(out - result.constData());
    return result;
}

bool isLineBreakOrTab(char16_t c)
{
    return c == u'\t' || c == u'\r' || c == u'\n';
}

bool isSkippedInNumber(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\n';
}

bool isDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

} // namespace

QString ProperCase(const QString &text)
{
    if (text.isEmpty())
        return QString();
    const QString lower = lowered(text);
    const qsizetype length = lower.size();
    QString result(length, Qt::Uninitialized);
    QChar *out = result.data();
    *out++ = lower.at(0).toUpper();
    for (qsizetype i = 0; i + 1 < length; ++i) {
        const char16_t current = lower.at(i).unicode();
        const QChar next = lower.at(i + 1);
        *out++ = (current == Blank || current == u'.' || current == u'/') ? next.toUpper() : next;
    }
    static const QStringList smallWords = {QStringLiteral(" and "), QStringLiteral(" or "), QStringLiteral(" the "),
                                           QStringLiteral(" a "), QStringLiteral(" To ")};
    return LowerCaseWords(result, smallWords);
}

QString LowerCaseWords(const QString &text, const QStringList &words)
{
    QString result = text;
    for (const QString &word : words) {
        // An empty word would be found at the same place for ever.
        if (word.isEmpty())
            continue;
        const QString lowerWord = lowered(word);
        qsizetype from = 0;
        while (true) {
            const qsizetype found = result.indexOf(word, from, Qt::CaseInsensitive);
            if (found < 0)
                break;
            QChar *at = result.data() + found;
            for (qsizetype k = 0; k < lowerWord.size(); ++k)
                at[k] = lowerWord.at(k);
            from = found + word.size();
        }
    }
    return result;
}

QString CleanString(const QString &text)
{
    return keepUpToLastNonBlank(text, [](char16_t c) { return isLineBreakOrTab(c) || c == u'"' || c == u'\0'; });
}

QString StripLineBreaks(const QString &text)
{
    return keepUpToLastNonBlank(text, isLineBreakOrTab);
}

double LeadingNumber(const QString &text)
{
    const QChar *p = text.constData();
    const QChar *const end = p + text.size();
    // The next character that counts (blanks, tabs and line feeds are passed
    // over wherever they stand; a carriage return is not), or 0 at the end.
    const auto peek = [&]() -> char16_t {
        while (p < end && isSkippedInNumber(p->unicode()))
            ++p;
        return p < end ? p->unicode() : char16_t(0);
    };

    bool negative = false;
    char16_t c = peek();
    if (c == u'+' || c == u'-') {
        negative = c == u'-';
        ++p;
        c = peek();
    }

    std::string number;
    qsizetype integerDigits = 0;
    qsizetype leadingZeros = 0; // zeros before the first significant digit
    bool significant = false;
    qsizetype mantissaDigits = 0;
    while (isDigit(c)) {
        number.push_back(char(c));
        ++integerDigits;
        if (c != u'0')
            significant = true;
        else if (!significant)
            ++leadingZeros;
        ++mantissaDigits;
        ++p;
        c = peek();
    }
    qsizetype fractionZeros = 0; // zeros after the point before the first significant digit
    if (c == u'.') {
        number.push_back('.');
        ++p;
        c = peek();
        while (isDigit(c)) {
            number.push_back(char(c));
            if (c != u'0')
                significant = true;
            else if (!significant)
                ++fractionZeros;
            ++mantissaDigits;
            ++p;
            c = peek();
        }
    }
    if (mantissaDigits == 0)
        return 0.0;

    long long exponent = 0;
    if (c == u'E' || c == u'e' || c == u'D' || c == u'd') {
        ++p;
        c = peek();
        bool exponentNegative = false;
        if (c == u'+' || c == u'-') {
            exponentNegative = c == u'-';
            ++p;
            c = peek();
        }
        while (isDigit(c)) {
            // Saturates far beyond any double's range, so no exponent overflows.
            if (exponent < 1000000000000LL)
                exponent = exponent * 10 + (c - u'0');
            ++p;
            c = peek();
        }
        if (exponentNegative)
            exponent = -exponent;
    }
    if (!significant)
        return 0.0;
    if (exponent != 0) {
        number.push_back('e');
        number += std::to_string(exponent);
    }

    double value = 0.0;
    const std::errc error = std::from_chars(number.data(), number.data() + number.size(), value).ec;
    if (error == std::errc::result_out_of_range || std::isinf(value)) {
        // Too large for a double reads as the largest double (never infinity),
        // too small as 0; the decimal position of the first significant digit
        // tells which of the two it is.
        const long long magnitude =
            exponent + (integerDigits > leadingZeros ? integerDigits - leadingZeros : -fractionZeros);
        value = magnitude > 0 ? DBL_MAX : 0.0;
    } else if (error != std::errc()) {
        value = 0.0;
    }
    if (value == 0.0)
        return 0.0;
    return negative ? -value : value;
}

QString DecimalText(double value)
{
    if (!std::isfinite(value) || value == 0.0)
        return QStringLiteral("0");
    if (std::fabs(value) < 1e15 && value == std::trunc(value))
        return QString::number(static_cast<qint64>(value));

    // Shortest digits that read back to the same double, as d.ddde±x.
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    const std::string scientific(buffer, result.ptr);
    const std::size_t e = scientific.find('e');
    const bool negative = scientific.front() == '-';
    std::string digits;
    for (std::size_t i = negative ? 1 : 0; i < e; ++i) {
        if (scientific[i] != '.')
            digits.push_back(scientific[i]);
    }
    const int exponent = std::stoi(scientific.substr(e + 1));

    std::string text = negative ? "-" : "";
    if (exponent >= -6 && exponent < 15) {
        if (exponent < 0) {
            text += "0.";
            text.append(std::size_t(-exponent - 1), '0');
            text += digits;
        } else {
            const std::size_t integerLength = std::size_t(exponent) + 1;
            if (digits.size() <= integerLength) {
                text += digits;
                text.append(integerLength - digits.size(), '0');
            } else {
                text += digits.substr(0, integerLength);
                text += '.';
                text += digits.substr(integerLength);
            }
        }
    } else {
        text += digits.substr(0, 1);
        if (digits.size() > 1) {
            text += '.';
            text += digits.substr(1);
        }
        text += exponent < 0 ? "E-" : "E+";
        const std::string power = std::to_string(exponent < 0 ? -exponent : exponent);
        if (power.size() < 2)
            text += '0';
        text += power;
    }
    return QString::fromLatin1(text.data(), qsizetype(text.size()));
}

QString TrimBlanks(const QString &text)
{
    const qsizetype end = endOfNonBlank(text);
    qsizetype start = 0;
    while (start < end && text.at(start).unicode() == Blank)
        ++start;
    return text.mid(start, end - start);
}

} // namespace modFunctions
