#pragma once

#include <QString>

// How the contact list shades a contact by its cellphone number: too long,
// too short, or not a cellphone number at all. The one place this rule is
// stated; the number is read by libphonenumber (see PhoneNumbers).
namespace CellphoneClass {

enum class Shading { None, TooLong, TooShort, Invalid };

// Empty or all blanks: no shading (no number to judge). A number longer or
// shorter than a cellphone number: too long or too short. Otherwise one that
// is no telephone number, or not a cellphone's (a landline, toll-free or
// shared-cost number): invalid. A cellphone number however it is written
// ("082 123 4567", "+27821234567"), or a valid number of another country,
// is not shaded.
Shading classify(const QString &mobile);

} // namespace CellphoneClass
