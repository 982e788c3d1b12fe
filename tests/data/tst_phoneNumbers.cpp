#include "data/PhoneNumbers.h"

#include <phonenumbers/phonenumber.pb.h>
#include <phonenumbers/phonenumberutil.h>

#include <QtTest>

#include <functional>

using namespace Qt::StringLiterals;
using Verdict = PhoneNumbers::Verdict;
using Length = PhoneNumbers::Length;

Q_DECLARE_METATYPE(PhoneNumbers::Verdict)
Q_DECLARE_METATYPE(PhoneNumbers::Length)

// Numbers read by libphonenumber: one key for every way people write a number, and what kind of number it is.
class tst_phoneNumbers : public QObject
{
    Q_OBJECT

private slots:
    void everyWayOfWritingANumberGivesOneKey_data()
    {
        QTest::addColumn<QString>("written");
        QTest::addColumn<QString>("key");
        // Each cellphone number as its area part, then the two groups of its subscriber part.
        const QList<std::array<QString, 3>> numbers = {{u"82"_s, u"123"_s, u"4567"_s}, {u"83"_s, u"987"_s, u"6543"_s},
                                                       {u"72"_s, u"555"_s, u"0199"_s}, {u"61"_s, u"234"_s, u"5678"_s},
                                                       {u"84"_s, u"000"_s, u"1111"_s}, {u"76"_s, u"321"_s, u"0000"_s}};
        using Form = std::function<QString(const QString &grouped)>;
        // `grouped` is the number without its leading 0, its groups joined by the separator.
        const QList<std::pair<const char *, Form>> forms = {
            {"national", [](const QString &g) { return u"0"_s + g; }},
            {"international", [](const QString &g) { return u"+27 "_s + g; }},
            {"00 and country code", [](const QString &g) { return u"0027"_s + g; }},
            {"international with (0)", [](const QString &g) { return u"+27 (0)"_s + g; }},
            {"country code without +", [](const QString &g) { return u"27"_s + g; }},
            {"with a remark", [](const QString &g) { return u"0"_s + g + u" (cell)"_s; }},
            {"international with 0", [](const QString &g) { return u"+270"_s + g; }},
            {"bracketed area code", [](const QString &g) { return u"(0"_s + g.left(2) + u")"_s + g.mid(2); }},
            {"blanks around", [](const QString &g) { return u"  0"_s + g + u" "_s; }},
            {"labelled", [](const QString &g) { return u"Cell: 0"_s + g; }},
        };
        const QList<std::pair<const char *, QString>> separators = {{"together", QString()},
                                                                    {"blanks", u" "_s},
                                                                    {"hyphens", u"-"_s},
                                                                    {"dots", u"."_s},
                                                                    {"two blanks", u"  "_s}};
        for (const auto &number : numbers) {
            const QString key = u"+27"_s + number[0] + number[1] + number[2];
            for (const auto &[form, write] : forms) {
                for (const auto &[separator, between] : separators) {
                    const QString grouped = number[0] + between + number[1] + between + number[2];
                    QTest::addRow("%s, %s, %s", qPrintable(key), form, separator) << write(grouped) << key;
                }
            }
        }
    }

    void everyWayOfWritingANumberGivesOneKey()
    {
        QFETCH(QString, written);
        QFETCH(QString, key);
        const PhoneNumbers::Reading reading = PhoneNumbers::read(written);
        QCOMPARE(reading.key, key);
        QCOMPARE(PhoneNumbers::e164Key(written), key);
        // The opt-out key reads the plain forms itself and leaves the rest to the library; a label's
        // letters make the text a sender name, which has no key.
        QCOMPARE(PhoneNumbers::personKey(written), written.contains(u"Cell:"_s) ? QString() : key);
        QCOMPARE(reading.verdict, Verdict::Valid);
        QCOMPARE(reading.length, Length::Fits);
    }

    void kindsOfNumber_data()
    {
        QTest::addColumn<QString>("written");
        QTest::addColumn<QString>("key");
        QTest::addColumn<Verdict>("verdict");
        QTest::addColumn<Length>("length");
        QTest::newRow("Johannesburg landline")
            << u"011 123 4567"_s << u"+27111234567"_s << Verdict::NotMobile << Length::Fits;
        QTest::newRow("Cape Town landline")
            << u"+27 21 123 4567"_s << u"+27211234567"_s << Verdict::NotMobile << Length::Fits;
        QTest::newRow("toll-free") << u"0800 123 456"_s << u"+27800123456"_s << Verdict::NotMobile << Length::Fits;
        QTest::newRow("shared cost") << u"0860 123 456"_s << u"+27860123456"_s << Verdict::NotMobile << Length::Fits;
        QTest::newRow("three digits") << u"123"_s << u"+27123"_s << Verdict::Invalid << Length::TooShort;
        QTest::newRow("a network's name") << u"MTN"_s << QString() << Verdict::Invalid << Length::Fits;
        QTest::newRow("empty") << QString() << QString() << Verdict::Invalid << Length::Fits;
        QTest::newRow("two digits missing") << u"08212345"_s << u"+278212345"_s << Verdict::Invalid << Length::TooShort;
        QTest::newRow("one digit too many")
            << u"082 123 45678"_s << u"+278212345678"_s << Verdict::Invalid << Length::TooLong;
        QTest::newRow("letter at the end")
            << u"082123456x"_s << u"+2782123456"_s << Verdict::Invalid << Length::TooShort;
        QTest::newRow("far too long") << u"082123456789012345678"_s << QString() << Verdict::Invalid << Length::TooLong;
        QTest::newRow("New York") << u"+1 212 555 0100"_s << u"+12125550100"_s << Verdict::Foreign << Length::Fits;
        QTest::newRow("British cellphone")
            << u"0044 7911 123456"_s << u"+447911123456"_s << Verdict::Foreign << Length::Fits;
        QTest::newRow("British, too short")
            << u"+44 7911 12"_s << u"+44791112"_s << Verdict::Invalid << Length::TooShort;
        QTest::newRow("extension dropped")
            << u"082 123 4567 ext 12"_s << u"+27821234567"_s << Verdict::Valid << Length::Fits;
    }

    void kindsOfNumber()
    {
        QFETCH(QString, written);
        QFETCH(QString, key);
        QFETCH(Verdict, verdict);
        QFETCH(Length, length);
        const PhoneNumbers::Reading reading = PhoneNumbers::read(written);
        QCOMPARE(reading.key, key);
        QCOMPARE(PhoneNumbers::judge(written), verdict);
        QCOMPARE(reading.length, length);
    }

    // What kind a nine-digit number is, as libphonenumber's GetNumberType tells it: one number for every
    // five-digit beginning, so that each kind's patterns, their order and where two kinds overlap are met.
    void kindsAsTheLibraryTellsThem()
    {
        using i18n::phonenumbers::PhoneNumberUtil;
        const PhoneNumberUtil &util = *PhoneNumberUtil::GetInstance();
        QRandomGenerator random(20261208);
        QStringList disagreements;
        QHash<Verdict, int> seen;
        for (quint64 start = 10000; start < 100000; ++start) {
            const quint64 national = start * 10000 + random.bounded(10000);
            i18n::phonenumbers::PhoneNumber number;
            number.set_country_code(27);
            number.set_national_number(national);
            const PhoneNumberUtil::PhoneNumberType type = util.GetNumberType(number);
            const Verdict expected = type == PhoneNumberUtil::MOBILE    ? Verdict::Valid
                                     : type == PhoneNumberUtil::UNKNOWN ? Verdict::Invalid
                                                                        : Verdict::NotMobile;
            const Verdict verdict = PhoneNumbers::judge(u"+27"_s + QString::number(national));
            ++seen[expected];
            if (verdict != expected)
                disagreements.append(QString::number(national));
        }
        QCOMPARE(disagreements.mid(0, 5), QStringList());
        QVERIFY(seen.value(Verdict::Valid) > 1000 && seen.value(Verdict::NotMobile) > 1000);
    }
};

QTEST_GUILESS_MAIN(tst_phoneNumbers)
#include "tst_phoneNumbers.moc"
