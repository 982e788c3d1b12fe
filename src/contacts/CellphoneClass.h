#pragma once

#include <QString>

// How the contact list shades a contact by its cellphone number: too long,
// too short, or not a cellphone number at all. The one place this rule is
// stated; the number is read by libphonenumber (see PhoneNumbers).
namespace CellphoneClass {

enum class Shading { None, TooLong, TooShort, Invalid };

// Empty or all blanks: no shading (no number to judge). A number longer or
// shorter than a cellphone number, by its digits: too long or too short.
// Otherwise one that no message can be sent to (PhoneNumbers' judgement: no
// telephone number, not a cellphone's such as a landline, toll-free or
// shared-cost number, or another country's): invalid. A South African
// cellphone number however it is written ("082 123 4567", "+27821234567") is
// not shaded.
Shading classify(const QString &mobile);

} // namespace CellphoneClass
