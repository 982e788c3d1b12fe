#pragma once

#include <QString>

#include <functional>

// Moving an office from one database to another (an SQLite file to a
// PostgreSQL server, or back): every table's rows with their keys.
namespace DatabaseCopy {

// Told as each table is copied: its name, the rows copied so far, its rows.
using Progress = std::function<void(const QString &table, qint64 done, qint64 total)>;

// Copies every table of `from` into `to`, a file that does not exist yet or an
// empty server database; keys are kept, and new rows afterwards get keys
// above them. All or nothing: a failure leaves `to` without any of the rows.
// Throws AppError.
void copy(const QString &from, const QString &to, const Progress &progress = {});

} // namespace DatabaseCopy
