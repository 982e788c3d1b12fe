#include "contacts/CellphoneClass.h"

#include "data/modFunctions.h"

namespace CellphoneClass {

bool readsAsNumber(const QString &text, const QLocale &locale)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return false;
    // QLocale also reads "inf" and "nan", and in some locales takes an
    // ordinary blank for its group separator; neither is a number here.
    const QString group = locale.groupSeparator();
    const QString decimal = locale.decimalPoint();
    const QString plus = locale.positiveSign();
    const QString minus = locale.negativeSign();
    const QString exponent = locale.exponential();
    for (qsizetype i = 0; i < trimmed.size(); ++i) {
        const QChar c = trimmed.at(i);
        if (c >= u'0' && c <= u'9')
            continue;
        const QString one(c);
        if (one == group || one == decimal || one == plus || one == minus
            || one.compare(exponent, Qt::CaseInsensitive) == 0 || c == u'e' || c == u'E')
            continue;
        return false;
    }
    bool ok = false;
    locale.toDouble(trimmed, &ok);
    return ok;
}

Shading classify(const QString &mobile, const QLocale &locale)
{
    const QString trimmed = modFunctions::TrimBlanks(mobile);
    Shading shading = Shading::None;
    if (mobile.size() > 10)
        shading = Shading::TooLong;
    if (!trimmed.isEmpty() && trimmed.size() < 10)
        shading = Shading::TooShort;
    if (!trimmed.isEmpty() && !readsAsNumber(mobile, locale))
        shading = Shading::Invalid;
    return shading;
}

} // namespace CellphoneClass
