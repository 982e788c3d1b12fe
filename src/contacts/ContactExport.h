#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

// The comma-delimited contact file: one line per contact, no header, sixteen
// fields each trimmed of blanks and enclosed in double quotes (a quote inside
// a value doubled, so the file is valid CSV), lines ended by CR LF, UTF-8. A
// value a spreadsheet would run as a formula (beginning with "=", "@", a tab,
// a carriage return, or "+" or "-" not followed by a digit) is written with a
// single quote before it.
namespace ContactExport {

// The columns, in the order of the fields.
const QStringList &columns();

// One line, CR LF included, from the sixteen values in column order.
QByteArray line(const QStringList &values);

// Called after every contact written, with the count so far.
using Progress = std::function<void(qint64 contacts)>;

// Writes every contact (groupId 0) or the members of one group, ordered by
// last name, to the file; gives the number of contacts written. The file is
// written whole or not at all: an existing file is replaced only once the new
// one is complete. When there is no contact to write no file is made, and an
// existing file at the path is removed. Throws AppError.
qint64 exportTo(const QString &path, qint64 groupId, const Progress &progress = {});

} // namespace ContactExport
