#include "outbox/Numbers.h"

#include "data/modFunctions.h"

std::optional<QString> NormaliseNumber(const QString &number)
{
    QString value = modFunctions::TrimBlanks(number);
    if (value.startsWith(QLatin1Char('+')))
        value.remove(0, 1);
    value.remove(QLatin1Char(' '));
    if (value.startsWith(QLatin1Char('0')))
        return value;
    if (value.size() < 2)
        return std::nullopt;
    return QLatin1Char('0') + value.mid(2);
}
