#include "data/PhoneNumbers.h"

#include <phonenumbers/phonemetadata.pb.h>
#include <phonenumbers/phonenumber.pb.h>
#include <phonenumbers/phonenumberutil.h>

#include <QRegularExpression>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>

// The metadata every PhoneNumberUtil is built from, as the library keeps it
// (its own metadata.h, which Debian does not install, declares them).
namespace i18n::phonenumbers {
int metadata_size();
const void *metadata_get();
} // namespace i18n::phonenumbers

using i18n::phonenumbers::PhoneMetadata;
using i18n::phonenumbers::PhoneMetadataCollection;
using i18n::phonenumbers::PhoneNumber;
using i18n::phonenumbers::PhoneNumberDesc;
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

// The kinds of number of the default region, told from the library's own
// metadata for it in the order PhoneNumberUtil::GetNumberType tells them.
// GetNumberType makes a new ICU matcher for each pattern it tries, under the
// library's lock: about 5 microseconds a number, most of a file import's time.
// The same patterns compiled once by PCRE take a fifth of that.
class RegionKinds
{
public:
    enum class Kind { Unknown, Mobile, Other };

    explicit RegionKinds(const PhoneMetadata &region)
        : m_general(region.general_desc()),
          m_special{Desc(region.premium_rate()), Desc(region.toll_free()),       Desc(region.shared_cost()),
                    Desc(region.voip()),         Desc(region.personal_number()), Desc(region.pager()),
                    Desc(region.uan()),          Desc(region.voicemail())},
          m_fixedLine(region.fixed_line()), m_mobile(region.mobile()),
          m_sameMobileAndFixedLine(region.same_mobile_and_fixed_line_pattern())
    {}

    // Empty when the library's metadata cannot be read; GetNumberType is then
    // asked.
    static const std::optional<RegionKinds> &ofDefaultRegion()
    {
        static const std::optional<RegionKinds> kinds = [] {
            std::optional<RegionKinds> found;
            PhoneMetadataCollection collection;
            if (!collection.ParseFromArray(i18n::phonenumbers::metadata_get(), i18n::phonenumbers::metadata_size()))
                return found;
            for (const PhoneMetadata &region : collection.metadata())
                if (region.id() == PhoneNumbers::DefaultRegion.toStdString())
                    found.emplace(region);
            return found;
        }();
        return kinds;
    }

    Kind of(const QString &national) const
    {
        if (!m_general.matches(national))
            return Kind::Unknown;
        if (std::any_of(m_special.begin(), m_special.end(), [&](const Desc &desc) { return desc.matches(national); })
            || m_fixedLine.matches(national))
            return Kind::Other;
        return !m_sameMobileAndFixedLine && m_mobile.matches(national) ? Kind::Mobile : Kind::Unknown;
    }

private:
    // One kind's pattern and the lengths its numbers have (none listed: any
    // length the region's numbers have). An empty pattern matches nothing.
    struct Desc
    {
        QRegularExpression pattern;
        QList<int> lengths;

        explicit Desc(const PhoneNumberDesc &desc)
        {
            if (!desc.national_number_pattern().empty())
                pattern.setPattern(
                    QRegularExpression::anchoredPattern(QString::fromStdString(desc.national_number_pattern())));
            pattern.optimize();
            lengths = QList<int>(desc.possible_length().begin(), desc.possible_length().end());
        }

        bool matches(const QString &national) const
        {
            if (pattern.pattern().isEmpty() || (!lengths.isEmpty() && !lengths.contains(int(national.size()))))
                return false;
            return pattern.match(national).hasMatch();
        }
    };

    Desc m_general;
    QList<Desc> m_special; // the kinds told before a fixed line, in the library's order
    Desc m_fixedLine;
    Desc m_mobile;
    bool m_sameMobileAndFixedLine;
};

// What a number of the default region with these national digits is; the
// digits are those of a cellphone number.
PhoneNumbers::Verdict verdictOf(uint64_t national)
{
    if (const std::optional<RegionKinds> &kinds = RegionKinds::ofDefaultRegion()) {
        switch (kinds->of(QString::number(national))) {
        case RegionKinds::Kind::Mobile:
            return PhoneNumbers::Verdict::Valid;
        case RegionKinds::Kind::Unknown:
            return PhoneNumbers::Verdict::Invalid;
        case RegionKinds::Kind::Other:
            return PhoneNumbers::Verdict::NotMobile;
        }
    }
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
