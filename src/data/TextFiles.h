#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Text files from other programs: decoded as UTF-8 when the bytes are valid
// UTF-8, otherwise as Windows-1252; files we write are UTF-8.
namespace TextFiles {

QString decode(const QByteArray &bytes);

enum class Encoding { Utf8, Utf8WithBom, Windows1252 };
// The same, telling which of the three encodings the bytes were read in.
QString decode(const QByteArray &bytes, Encoding &found);
// "UTF-8", "UTF-8 with BOM", "Windows-1252".
QString nameOf(Encoding encoding);

// The file's bytes. Throws AppError when the file cannot be read.
QByteArray readBytes(const QString &path);

// The lines of a file, without their line ends (CR LF, LF or CR). Throws
// AppError when the file cannot be read.
QStringList readLines(const QString &path);

} // namespace TextFiles
