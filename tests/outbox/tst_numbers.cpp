#include "TestSupport.h"

#include "outbox/NumberScreen.h"
#include "outbox/Numbers.h"
#include "outbox/OptOutList.h"

#include <QTest>

using namespace Qt::StringLiterals;
using Verdict = PhoneNumbers::Verdict;

Q_DECLARE_METATYPE(PhoneNumbers::Verdict)

// The one judgement of a number, the form the gateway is given, and the screen every queueing runs its numbers
// through before anything is written.
class tst_numbers : public QObject
{
    Q_OBJECT

private slots:
    void init() { home.freshDatabase(); }

    void onlySouthAfricanCellphonesGetAGatewayForm_data()
    {
        QTest::addColumn<QString>("written");
        QTest::addColumn<Verdict>("verdict");
        QTest::addColumn<QString>("posted");
        QTest::addColumn<QString>("reason");
        const QString invalid = u"Not a valid number"_s, notMobile = u"Not a cellphone number"_s,
                      foreign = u"Not a South African number"_s;
        // Every verdict is PhoneNumbers' (tst_phoneNumbers): one number of each here, for its reason.
        QTest::newRow("three digits") << u"123"_s << Verdict::Invalid << QString() << invalid;
        QTest::newRow("toll-free") << u"0800 123 456"_s << Verdict::NotMobile << QString() << notMobile;
        QTest::newRow("British cellphone") << u"0044 7911 123456"_s << Verdict::Foreign << QString() << foreign;
        QTest::newRow("national") << u"0821112222"_s << Verdict::Valid << u"0821112222"_s << QString();
        QTest::newRow("international") << u"+27 82 111 2222"_s << Verdict::Valid << u"0821112222"_s << QString();
        QTest::newRow("country code without +")
            << u"27 82 111 2222"_s << Verdict::Valid << u"0821112222"_s << QString();
        QTest::newRow("groups of digits") << u"083 123 4567"_s << Verdict::Valid << u"0831234567"_s << QString();
        QTest::newRow("international, together") << u"+27841234567"_s << Verdict::Valid << u"0841234567"_s << QString();
        QTest::newRow("00 and (0)") << u"0027 (0)72 555 0199"_s << Verdict::Valid << u"0725550199"_s << QString();
        QTest::newRow("with a remark") << u"061-234-5678 (cell)"_s << Verdict::Valid << u"0612345678"_s << QString();
        QTest::newRow("leading 0 left off") << u"821112222"_s << Verdict::Valid << u"0821112222"_s << QString();
    }

    void onlySouthAfricanCellphonesGetAGatewayForm()
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

    void screenLeavesOutAndAsksOnce_data()
    {
        QTest::addColumn<QString>("where");
        QTest::addColumn<QStringList>("numbers");
        QTest::addColumn<QStringList>("admitted");
        QTest::addColumn<QString>("question");
        const QString end = u"\n\nSkip leaves them out and queues the rest; Cancel queues nothing."_s;
        const QString list = u"list"_s;
        QTest::newRow("none left out") << list << QStringList{"0821112222", "+27 83 123 4567"}
                                       << QStringList{"0821112222", "+27 83 123 4567"} << QString();
        QTest::newRow("typed list")
            << list << QStringList{"0821112222", "123", "0821112222"} << QStringList{"0821112222"}
            << u"2 numbers will be skipped: 123 (not a valid number), 0821112222 (twice in this "
               u"list)"_s
                   + end;
        QTest::newRow("one number written two ways, three times")
            << u"group"_s << QStringList{"082 111 2222", "+27821112222", " 27 82 111 2222 ", "0831234567"}
            << QStringList{"082 111 2222", "0831234567"}
            << u"2 numbers will be skipped: +27821112222 (3 times in this group)"_s + end;
        QTest::newRow("every reason, opted out in another form")
            << u"file"_s
            << QStringList{"", "0800 123 456", "+1 212 555 0100", "MTN", "084 444 4444", "0821112222", "0844444444"}
            << QStringList{"0821112222"}
            << u"6 numbers will be skipped: (no number), 0800 123 456 (not a cellphone number), +1 212 555 0100 (not a "
               u"South African number), MTN (not a valid number), 084 444 4444 (opted out) and 1 more"_s
                   + end;
        QTest::newRow("one") << list << QStringList{"012 555 0100"} << QStringList{}
                             << u"1 number will be skipped: 012 555 0100 (not a cellphone number)"_s + end;
        QTest::newRow("long list")
            << list << QStringList{"1", "2", "3", "4", "0821112222", "0821112222", "5", "6", "0821112222"}
            << QStringList{"0821112222"}
            << u"8 numbers will be skipped: 1 (not a valid number), 2 (not a valid number), 3 (not a "
               u"valid number), 4 (not a valid number), 0821112222 (3 times in this list) and 2 more"_s
                   + end;
    }

    void screenLeavesOutAndAsksOnce()
    {
        QFETCH(QString, where);
        QFETCH(QStringList, numbers);
        QFETCH(QStringList, admitted);
        QFETCH(QString, question);
        QVERIFY(OptOutList::add(u"+27 84 444 4444"_s, OptOutList::FromOperator));
        NumberScreen screen(where);
        QStringList through;
        for (const QString &number : numbers)
            if (screen.admit(number))
                through << number;
        QCOMPARE(through, admitted);
        QCOMPARE(screen.skipped().count, numbers.size() - admitted.size());
        QCOMPARE(screen.skipped().question(), question);
    }

    void accountsOfOneNumberAreToldApartByTheirText()
    {
        NumberScreen screen(u"file"_s);
        QVERIFY(screen.admit(u"0821112222"_s, {}, u"Account 1 returned"_s));
        QVERIFY(screen.admit(u"0821112222"_s, {}, u"Account 2 returned"_s));
        QVERIFY(!screen.admit(u"+27 82 111 2222"_s, {}, u"Account 1 returned"_s));
        QVERIFY(!screen.admit(u"123"_s, u"Botha, Bob"_s));
        QVERIFY(!screen.admit(u"  "_s, u"Dube, Thandi"_s));
        const SkippedNumbers &skipped = screen.skipped();
        QCOMPARE(skipped.countOf(SkippedNumbers::Reason::Twice), 1);
        QCOMPARE(skipped.countOf(SkippedNumbers::Reason::NoNumber), 1);
        QVERIFY2(skipped.question().startsWith(u"3 numbers will be skipped: +27 82 111 2222 (twice in this file), "
                                               u"Botha, Bob 123 (not a valid number), Dube, Thandi (no number)\n"_s),
                 qPrintable(skipped.question()));
    }

private:
    TestHome home;
};

QTEST_GUILESS_MAIN(tst_numbers)
#include "tst_numbers.moc"
