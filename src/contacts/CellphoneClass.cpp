#include "contacts/CellphoneClass.h"

#include "data/PhoneNumbers.h"
#include "data/modFunctions.h"

namespace CellphoneClass {

Shading classify(const QString &mobile)
{
    if (modFunctions::TrimBlanks(mobile).isEmpty())
        return Shading::None;
    const PhoneNumbers::Reading reading = PhoneNumbers::read(mobile);
    switch (reading.length) {
    case PhoneNumbers::Length::TooLong:
        return Shading::TooLong;
    case PhoneNumbers::Length::TooShort:
        return Shading::TooShort;
    case PhoneNumbers::Length::Fits:
        break;
    }
    switch (reading.verdict) {
    case PhoneNumbers::Verdict::Valid:
        return Shading::None;
    case PhoneNumbers::Verdict::Invalid:
    case PhoneNumbers::Verdict::NotMobile:
    case PhoneNumbers::Verdict::Foreign:
        break;
    }
    return Shading::Invalid;
}

} // namespace CellphoneClass
