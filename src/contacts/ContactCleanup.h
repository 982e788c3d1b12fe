#pragma once

#include <QString>

#include <optional>

// The contact list's two clean-up commands and the rules behind them.
namespace ContactCleanup {

struct Names
{
    QString lastName;
    QString firstName;
};

// A last name holding a comma splits at the first one: the text before it is
// the last name, everything after it the first names, both without blanks at
// their ends. No comma: nothing to split.
std::optional<Names> splitName(const QString &lastName);

// Every blank, "-", "(" and ")" removed; nothing else changes.
QString withoutPhoneSpaces(const QString &number);

// Splits the last name of every contact whose last name holds a comma (the old
// first name is replaced). Gives the number of contacts changed. Throws
// AppError; contacts changed before an error stay changed.
qint64 splitNames();

// Cleans Mobile, TelWork, TelHome and Fax of every contact; an absent number
// is stored as the empty text. Gives the number of contacts changed. Throws
// AppError; contacts changed before an error stay changed.
qint64 removePhoneSpaces();

} // namespace ContactCleanup
