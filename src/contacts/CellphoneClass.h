#pragma once

#include <QLocale>
#include <QString>

// How the contact list shades a contact by its cellphone number: too long,
// too short, or not a number. The one place this rule is stated.
namespace CellphoneClass {

enum class Shading { None, TooLong, TooShort, Invalid };

// Whether the text reads as a number in the locale: blanks around it are
// allowed, and so are one leading sign, one decimal separator, the locale's
// group separators and an exponent; an inner blank, a hyphen, a bracket, a
// letter or a slash is not.
bool readsAsNumber(const QString &text, const QLocale &locale = QLocale());

// The tests in order, a later one replacing an earlier one: longer than ten
// characters as stored (blanks included) is too long; one to nine characters
// once the blanks at both ends are gone is too short; anything not blank that
// does not read as a number is invalid. Empty or all blanks: no shading.
Shading classify(const QString &mobile, const QLocale &locale = QLocale());

} // namespace CellphoneClass
