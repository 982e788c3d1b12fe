#include "outbox/Numbers.h"

#include <QTest>

using namespace Qt::StringLiterals;
using Verdict = PhoneNumbers::Verdict;

Q_DECLARE_METATYPE(PhoneNumbers::Verdict)

// The one judgement of a number, and the form the gateway is given.
class tst_numbers : public QObject
{
    Q_OBJECT

private slots:
    void onlySouthAfricanCellphonesGetAGatewayForm_data();
    void onlySouthAfricanCellphonesGetAGatewayForm();
};

void tst_numbers::onlySouthAfricanCellphonesGetAGatewayForm_data()
{
    QTest::addColumn<QString>("written");
    QTest::addColumn<Verdict>("verdict");
    QTest::addColumn<QString>("posted");
    QTest::addColumn<QString>("reason");
    const QString invalid = u"Not a valid number"_s, notMobile = u"Not a cellphone number"_s,
                  foreign = u"Not a South African number"_s;
    QTest::newRow("three digits") << u"123"_s << Verdict::Invalid << QString() << invalid;
    QTest::newRow("a network's name") << u"MTN"_s << Verdict::Invalid << QString() << invalid;
    QTest::newRow("toll-free") << u"0800 123 456"_s << Verdict::NotMobile << QString() << notMobile;
    QTest::newRow("shared cost") << u"0860 123 456"_s << Verdict::NotMobile << QString() << notMobile;
    QTest::newRow("Pretoria landline") << u"012 555 0100"_s << Verdict::NotMobile << QString() << notMobile;
    QTest::newRow("landline, international") << u"+27 21 123 4567"_s << Verdict::NotMobile << QString() << notMobile;
    QTest::newRow("eleven digits") << u"08211122223"_s << Verdict::Invalid << QString() << invalid;
    QTest::newRow("twelve digits") << u"082111222233"_s << Verdict::Invalid << QString() << invalid;
    QTest::newRow("eight digits") << u"08211122"_s << Verdict::Invalid << QString() << invalid;
    QTest::newRow("letters for the last digits") << u"082 111 ABCD"_s << Verdict::Invalid << QString() << invalid;
    QTest::newRow("New York") << u"+1 212 555 0100"_s << Verdict::Foreign << QString() << foreign;
    QTest::newRow("British cellphone") << u"0044 7911 123456"_s << Verdict::Foreign << QString() << foreign;

    QTest::newRow("national") << u"0821112222"_s << Verdict::Valid << u"0821112222"_s << QString();
    QTest::newRow("international") << u"+27 82 111 2222"_s << Verdict::Valid << u"0821112222"_s << QString();
    QTest::newRow("country code without +") << u"27 82 111 2222"_s << Verdict::Valid << u"0821112222"_s << QString();
    QTest::newRow("groups of digits") << u"083 123 4567"_s << Verdict::Valid << u"0831234567"_s << QString();
    QTest::newRow("international, together") << u"+27841234567"_s << Verdict::Valid << u"0841234567"_s << QString();
    QTest::newRow("00 and (0)") << u"0027 (0)72 555 0199"_s << Verdict::Valid << u"0725550199"_s << QString();
    QTest::newRow("with a remark") << u"061-234-5678 (cell)"_s << Verdict::Valid << u"0612345678"_s << QString();
    QTest::newRow("leading 0 left off") << u"821112222"_s << Verdict::Valid << u"0821112222"_s << QString();
}

void tst_numbers::onlySouthAfricanCellphonesGetAGatewayForm()
{
    QFETCH(QString, written);
    QFETCH(Verdict, verdict);
    QFETCH(QString, posted);
    QFETCH(QString, reason);
    const GatewayNumber number = NormaliseNumber(written);
    QCOMPARE(number.verdict, verdict);
    QCOMPARE(PhoneNumbers::judge(written), verdict);
    QCOMPARE(number.sendable(), verdict == Verdict::Valid);
    QCOMPARE(number.number, posted);
    QCOMPARE(number.failReason(), reason);
}

QTEST_GUILESS_MAIN(tst_numbers)
#include "tst_numbers.moc"
