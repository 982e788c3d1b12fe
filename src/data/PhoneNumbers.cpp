#include "data/PhoneNumbers.h"

#include <phonenumbers/phonenumber.pb.h>
#include <phonenumbers/phonenumberutil.h>

#include <QRegularExpression>

#include <algorithm>
#include <cstdint>

#include <string>

using i18n::phonenumbers::PhoneNumber;
using i18n::phonenumbers::PhoneNumberUtil;

namespace {

const PhoneNumberUtil &util()
{
    return *PhoneNumberUtil::GetInstance();
}

// libphonenumber turns letters into keypad digits ("0821234567 cell" would
// gain four digits): a trailing remark in words, bracketed or not, is not
// part of the number.
QString withoutRemark(const QString &text)
{
    static const QRegularExpression remark(QStringLiteral("[\\s(\\[]*\\p{L}[\\p{L}\\s.:'-]*[)\\]]?\\s*$"));
    static const QRegularExpression digit(QStringLiteral("\\d"));
    const QRegularExpressionMatch match = remark.match(text);
    if (!match.hasMatch() || !digit.match(text.left(match.capturedStart())).hasMatch())
        return text;
    return text.left(match.capturedStart());
}

// The length of the default region's cellphone numbers (national digits).
// libphonenumber also calls shorter 08x numbers mobile; they are service
// codes that a message to a person never goes to.
std::size_t mobileLength()
{
    static const std::size_t length = [] {
        PhoneNumber example;
        std::string national;
        if (util().GetExampleNumberForType(PhoneNumbers::DefaultRegion.toStdString(), PhoneNumberUtil::MOBILE,
                                           &example))
            util().GetNationalSignificantNumber(example, &national);
        return national.size();
    }();
    return length;
}

// What a number of the default region with these national digits is; the
// digits are those of a cellphone number.
PhoneNumbers::Verdict verdictOf(uint64_t national)
{
    static const int countryCode = util().GetCountryCodeForRegion(PhoneNumbers::DefaultRegion.toStdString());
    PhoneNumber number;
    number.set_country_code(countryCode);
    number.set_national_number(national);
    switch (util().GetNumberType(number)) {
    case PhoneNumberUtil::MOBILE:
        return PhoneNumbers::Verdict::Valid;
    case PhoneNumberUtil::UNKNOWN:
        return PhoneNumbers::Verdict::Invalid;
    default:
        return PhoneNumbers::Verdict::NotMobile;
    }
}

} // namespace

PhoneNumbers::Reading PhoneNumbers::read(const QString &number)
{
    Reading reading;
    const QString plain = plainKey(number);
    if (!plain.isEmpty()) {
        reading.key = plain;
        reading.verdict = verdictOf(plain.mid(3).toULongLong());
        return reading;
    }
    PhoneNumber parsed;
    switch (util().Parse(withoutRemark(number).toStdString(), DefaultRegion.toStdString(), &parsed)) {
    case PhoneNumberUtil::NO_PARSING_ERROR:
        break;
    case PhoneNumberUtil::TOO_SHORT_AFTER_IDD:
    case PhoneNumberUtil::TOO_SHORT_NSN:
        reading.length = Length::TooShort;
        return reading;
    case PhoneNumberUtil::TOO_LONG_NSN:
        reading.length = Length::TooLong;
        return reading;
    default:
        return reading;
    }
    std::string e164;
    util().Format(parsed, PhoneNumberUtil::E164, &e164);
    reading.key = QString::fromStdString(e164);

    if (parsed.country_code() != util().GetCountryCodeForRegion(DefaultRegion.toStdString())) {
        if (util().IsValidNumber(parsed)) {
            reading.verdict = Verdict::Foreign;
            return reading;
        }
        const PhoneNumberUtil::ValidationResult possible = util().IsPossibleNumberWithReason(parsed);
        // A number possible only within its own area lacks digits for a message.
        reading.length = possible == PhoneNumberUtil::TOO_SHORT || possible == PhoneNumberUtil::IS_POSSIBLE_LOCAL_ONLY
                             ? Length::TooShort
                         : possible == PhoneNumberUtil::TOO_LONG ? Length::TooLong
                                                                 : Length::Fits;
        return reading;
    }

    std::string national;
    util().GetNationalSignificantNumber(parsed, &national);
    if (national.size() != mobileLength()) {
        reading.length = national.size() < mobileLength() ? Length::TooShort : Length::TooLong;
        return reading;
    }
    reading.verdict = verdictOf(parsed.national_number());
    return reading;
}

QString PhoneNumbers::plainKey(const QString &number)
{
    // The forms numbers are kept in most ("082 123 4567", "27821234567",
    // "+27 82 123 4567", blanks and hyphens aside) are read without the library's parser: it takes tens of
    // microseconds a number, and every message of a send run is checked.
    QString plain = number;
    plain.remove(QLatin1Char(' ')).remove(QLatin1Char('-'));
    const qsizetype start = plain.startsWith(QLatin1Char('+')) ? 1 : 0;
    const bool allDigits =
        plain.size() > start && std::all_of(plain.begin() + start, plain.end(), [](QChar c) { return c.isDigit(); });
    if (allDigits) {
        const QStringView digits = QStringView(plain).mid(start);
        if (start == 0 && digits.size() == 10 && digits.front() == QLatin1Char('0') && digits.at(1) != QLatin1Char('0'))
            return QStringLiteral("+27") + digits.mid(1).toString();
        if (digits.size() == 11 && digits.startsWith(QLatin1String("27")) && digits.at(2) != QLatin1Char('0'))
            return QLatin1Char('+') + digits.toString();
    }
    return {};
}

QString PhoneNumbers::personKey(const QString &number)
{
    const QString plain = plainKey(number);
    if (!plain.isEmpty())
        return plain;
    static const QRegularExpression remark(QStringLiteral("\\([^()]*\\p{L}[^()]*\\)\\s*$"));
    const QString text = QString(number).remove(remark);
    int digits = 0;
    for (QChar c : text) {
        if (c.isLetter())
            return {};
        digits += c.isDigit() ? 1 : 0;
    }
    return digits >= 3 ? e164Key(number) : QString();
}

QString PhoneNumbers::storedKey(const QString &number)
{
    const QString key = personKey(number);
    if (!key.isEmpty())
        return key;
    const QString text = number.trimmed();
    return text.isEmpty() ? QString() : text;
}
