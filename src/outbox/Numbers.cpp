#include "outbox/Numbers.h"

#include "outbox/FailReasons.h"

GatewayNumber NormaliseNumber(const QString &number)
{
    const PhoneNumbers::Reading reading = PhoneNumbers::read(number);
    GatewayNumber result{reading.verdict, {}};
    // A valid reading's key is "+27" and the nine national digits.
    if (result.sendable())
        result.number = QLatin1Char('0') + reading.key.mid(3);
    return result;
}

QString GatewayNumber::failReason() const
{
    switch (verdict) {
    case PhoneNumbers::Verdict::Valid:
        break;
    case PhoneNumbers::Verdict::Invalid:
        return FailReasons::InvalidNumber;
    case PhoneNumbers::Verdict::NotMobile:
        return FailReasons::NotCellphone;
    case PhoneNumbers::Verdict::Foreign:
        return FailReasons::ForeignNumber;
    }
    return {};
}
