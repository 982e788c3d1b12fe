#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// A file's whole content, as a test compares it; "<unreadable>" when there is no file to read.
inline QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArrayLiteral("<unreadable>");
}
