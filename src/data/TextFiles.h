#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Text files from other programs: decoded as UTF-8 when the bytes are valid
// UTF-8, otherwise as Windows-1252; files we write are UTF-8.
namespace TextFiles {

QString decode(const QByteArray &bytes);

// The lines of a file, without their line ends (CR LF, LF or CR). Throws
// AppError when the file cannot be read.
QStringList readLines(const QString &path);

} // namespace TextFiles
