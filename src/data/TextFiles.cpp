#include "data/TextFiles.h"

#include "data/AppError.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QSysInfo>

#include <cerrno>
#include <cstring>
#include <iconv.h>

namespace TextFiles {

namespace {

// Error numbers for a file that cannot be read (as the platform's file
// routines number them): not found, and any other access failure.
constexpr qint64 ErrorFileNotFound = 53;
constexpr qint64 ErrorFileAccess = 75;

// Windows-1252 through iconv. The five bytes the code page leaves undefined
// (81, 8D, 8F, 90, 9D) become the control characters of the same value, as
// Windows itself decodes them.
QString fromWindows1252(const QByteArray &bytes)
{
    QString result(bytes.size(), Qt::Uninitialized);
    const char *target = QSysInfo::ByteOrder == QSysInfo::LittleEndian ? "UTF-16LE" : "UTF-16BE";
    iconv_t converter = iconv_open(target, "WINDOWS-1252");
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        // Without iconv's table the bytes read as Latin-1, which differs only
        // in the range 80 to 9F.
        return QString::fromLatin1(bytes);
    }
    char *in = const_cast<char *>(bytes.constData());
    size_t inLeft = size_t(bytes.size());
    auto *start = reinterpret_cast<char *>(result.data());
    char *out = start;
    size_t outLeft = size_t(result.size()) * sizeof(char16_t);
    while (inLeft > 0) {
        if (iconv(converter, &in, &inLeft, &out, &outLeft) != size_t(-1))
            break;
        if (errno != EILSEQ && errno != EINVAL)
            break;
        const char16_t code = static_cast<unsigned char>(*in);
        std::memcpy(out, &code, sizeof code);
        out += sizeof code;
        outLeft -= sizeof code;
        ++in;
        --inLeft;
    }
    iconv_close(converter);
    result.truncate(qsizetype((out - start) / qsizetype(sizeof(char16_t))));
    return result;
}

} // namespace

QString decode(const QByteArray &bytes)
{
    Encoding found;
    return decode(bytes, found);
}

QString decode(const QByteArray &bytes, Encoding &found)
{
    QByteArrayView content(bytes);
    const bool marked = content.startsWith("\xEF\xBB\xBF");
    if (marked)
        content = content.sliced(3);
    // Qt's decoder counts overlong forms, surrogates, code points above
    // U+10FFFF and a sequence cut off at the end as errors.
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8(content);
    if (utf8.hasError()) {
        found = Encoding::Windows1252;
        return fromWindows1252(bytes);
    }
    found = marked ? Encoding::Utf8WithBom : Encoding::Utf8;
    return text;
}

QString nameOf(Encoding encoding)
{
    switch (encoding) {
    case Encoding::Utf8:
        return QStringLiteral("UTF-8");
    case Encoding::Utf8WithBom:
        return QStringLiteral("UTF-8 with BOM");
    case Encoding::Windows1252:
        break;
    }
    return QStringLiteral("Windows-1252");
}

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        const qint64 number = QFileInfo::exists(path) ? ErrorFileAccess : ErrorFileNotFound;
        throw AppError(number, QStringLiteral("The file '%1' cannot be read: %2").arg(path, file.errorString()),
                       QStringLiteral("TextFiles"));
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw AppError(ErrorFileAccess,
                       QStringLiteral("The file '%1' cannot be read: %2").arg(path, file.errorString()),
                       QStringLiteral("TextFiles"));
    return bytes;
}

QStringList readLines(const QString &path)
{
    const QString text = decode(readBytes(path));
    QStringList lines;
    qsizetype begin = 0;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = text.at(i);
        if (c != QLatin1Char('\n') && c != QLatin1Char('\r'))
            continue;
        lines.append(text.mid(begin, i - begin));
        if (c == QLatin1Char('\r') && i + 1 < size && text.at(i + 1) == QLatin1Char('\n'))
            ++i;
        begin = i + 1;
    }
    // A final line break ends the last line; it does not start another.
    if (begin < size)
        lines.append(text.mid(begin));
    return lines;
}

} // namespace TextFiles
