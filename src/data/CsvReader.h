#pragma once

#include "data/TextFiles.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

// A delimited text file from a spreadsheet or an address book, as RFC 4180
// has it: fields in double quotes may hold the delimiter, line breaks and
// doubled quotes; lines end in CR LF or LF. The encoding (UTF-8, with or
// without its byte order mark, else Windows-1252), the delimiter (comma,
// semicolon or tab) and whether the first row holds headings are found from
// the file itself. The file is decoded once and its rows are read one at a
// time, so a long file never becomes a list of rows.
class CsvReader
{
public:
    // Whether a cell's text is a heading the caller knows.
    using KnownHeading = std::function<bool(const QString &cell)>;

    explicit CsvReader(const QByteArray &bytes, const KnownHeading &known = {});
    // Reads the whole file; throws AppError when it cannot be read.
    static CsvReader fromFile(const QString &path, const KnownHeading &known = {});

    TextFiles::Encoding encoding() const { return m_encoding; }
    QChar delimiter() const { return m_delimiter; }

    // The first row is a heading row when a cell is a known heading, or when
    // it has text and none of its cells looks like a number, a telephone
    // number or an e-mail address.
    bool hasHeading() const { return m_hasHeading; }
    // For the operator who knows better; rewinds.
    void setHasHeading(bool heading);
    // The first row's cells when it is a heading row, else empty.
    const QStringList &heading() const { return m_hasHeading ? m_firstRow : m_none; }

    struct Record
    {
        qint64 line = 0; // the line of the file the row begins on, from 1
        QStringList cells;
        QString error; // why the row cannot be read (its cells are then empty)
    };
    // The next data row (the heading row is passed over); false at the end.
    // Empty lines are passed over. A quote that is never closed makes the
    // rest of the file one unreadable row, given with the line it opened on.
    bool next(Record &record);
    // Back to the first data row.
    void rewind();

    // Whether a text looks like a telephone number (seven digits or more and
    // nothing but the signs numbers are written with) or an e-mail address.
    static bool looksLikeNumber(const QString &cell);
    static bool looksLikeEmail(const QString &cell);

private:
    void detectDelimiter();
    bool readRecord(Record &record);

    TextFiles::Encoding m_encoding = TextFiles::Encoding::Utf8; // set while m_text is decoded
    QString m_text;
    QChar m_delimiter = u',';
    bool m_hasHeading = false;
    QStringList m_firstRow;
    QStringList m_none;
    qsizetype m_start = 0; // where the first data row begins
    qint64 m_startLine = 1;
    qsizetype m_at = 0;
    qint64 m_line = 1;
};
