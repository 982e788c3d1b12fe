#pragma once

#include <QString>
#include <QStringList>

// Small text routines shared by the windows and the gateway exchange. All are
// pure: they return a new text and keep no state. "Blank" means the space
// character (code 32) only.
namespace modFunctions {

// Title case: lower-case everything, capitalise the first character and every
// character that follows a blank, "." or "/", then lower the small words
// " and ", " or ", " the ", " a ", " To " where they stand between blanks.
QString ProperCase(const QString &text);

// Every occurrence (case-insensitive) of each listed word, in list order,
// replaced by the word in lower case; the search resumes after the whole
// occurrence.
QString LowerCaseWords(const QString &text, const QStringList &words);

// Drops tabs, carriage returns, line feeds, double quotes and NULs; cut after
// the last non-blank character.
QString CleanString(const QString &text);

// Drops tabs, carriage returns and line feeds; cut after the last non-blank
// character.
QString StripLineBreaks(const QString &text);

// The leading number of a text: blanks, tabs and line feeds are dropped
// wherever they stand, then the longest beginning that forms a decimal number
// (optional sign, digits, at most one ".", optional exponent introduced by E or
// D) gives the value; 0 when the text does not begin with a number.
double LeadingNumber(const QString &text);

// A number in its shortest decimal form: 150, not 150.0; 0.5; -3.25.
QString DecimalText(double value);

// Blanks (code 32 only) removed at both ends; tabs and line breaks stay.
QString TrimBlanks(const QString &text);

} // namespace modFunctions
