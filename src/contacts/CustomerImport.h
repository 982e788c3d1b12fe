#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>

// The Pastel customer export file: one customer per line, items split at
// every comma (no quoting), each item cleaned of tabs, line breaks, double
// quotes and NULs and trimmed of blanks, then put into Clients by position.
namespace CustomerImport {

// A longer postal code is not stored.
inline constexpr int PostalCodeMaxLength = 10;

// One line's columns. An item the line does not have leaves its column
// absent (an invalid QVariant, stored as NULL).
struct Customer
{
    QVariant AssNo;
    QVariant FirstName;
    QVariant Company;
    QVariant Address1;
    QVariant Address2;
    QVariant Address3;
    QVariant PostalCode;
    QVariant TelWork;
    QVariant Fax;
    QVariant Mobile;
    QVariant EMail;
};

// Item 0 AssNo; item 1 Company when item 9 is not empty, else FirstName;
// items 2-4 Address1-3; item 6 PostalCode when at most 10 characters; items
// 7, 8 and 35 TelWork, Fax and Mobile without any "-"; item 9 FirstName when
// not empty; item 36 EMail. An empty line has no items at all.
Customer parseLine(const QString &line);

// How a refused line is listed: its AssNo, " - " and its FirstName.
QString refusedText(const Customer &customer);

struct Imported
{
    qint64 contacts = 0; // contacts stored
    QStringList refused; // lines the database refused, as refusedText()
};

// Called as lines are stored (after every few hundred, or every line where
// one was refused) with the number of contacts stored so far.
using Progress = std::function<void(qint64 contacts)>;
// Called for every line the database refuses, with its refusedText().
using Refused = std::function<void(const QString &text)>;

// Adds one contact per line and, when groupId is not 0, links each to that
// group. A line whose values the database refuses (a constraint, a value too
// big or of the wrong kind) adds nothing and is listed; the import goes on.
// Any other error stops it: the lines before it stay stored and the error
// (AppError) says how many contacts that is. All lines are written in one
// transaction whose commit is checked; a few hundred lines go in under one
// savepoint, and only where one of them fails are they written again under a
// savepoint per line.
Imported importLines(const QStringList &lines, qint64 groupId, const Progress &progress = {},
                     const Refused &refused = {});

// Reads the file (UTF-8 when valid, else Windows-1252) and imports its lines.
Imported importFile(const QString &path, qint64 groupId, const Progress &progress = {}, const Refused &refused = {});

} // namespace CustomerImport
