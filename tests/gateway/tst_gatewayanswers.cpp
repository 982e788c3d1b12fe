#include "gateway/GatewayAnswers.h"
#include "gateway/OutboxSender.h"

#include <QTest>

using namespace GatewayAnswers;

// The answer readers and the number normalisation, without a network.
class TestGatewayAnswers : public QObject
{
    Q_OBJECT

private slots:
    void creditsAnswer_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<double>("balance");
        QTest::newRow("plain") << "1000" << 1000.0;
        QTest::newRow("decimal and line break") << "150.0\r\n" << 150.0;
        QTest::newRow("refusal") << "FALSE: Invalid username or password" << 0.0;
        QTest::newRow("empty") << "" << 0.0;
        QTest::newRow("error page") << "<html><body>Server Error</body></html>" << 0.0;
    }
    void creditsAnswer()
    {
        QFETCH(QString, answer);
        QFETCH(double, balance);
        QCOMPARE(credits(answer), balance);
    }

    void singleSmsAnswer_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("batch");
        QTest::addColumn<QString>("cleaned");
        QTest::newRow("batch number") << "5000001" << true << "5000001" << "5000001";
        QTest::newRow("batch and line break") << "5000001\r\n" << true << "5000001" << "5000001";
        QTest::newRow("lower-case false") << "false: Not enough credits" << false << "0"
                                          << "false: Not enough credits";
        QTest::newRow("FALSE with line breaks") << "FALSE:\r\n No number given \n" << false << "0"
                                                << "FALSE: No number given";
        QTest::newRow("mixed case") << "FaLsE" << false << "0" << "FaLsE";
        QTest::newRow("line break before FALSE") << "\r\nFALSE: busy" << true << "0" << "FALSE: busy";
        QTest::newRow("blank before FALSE") << " FALSE" << true << "0" << "FALSE";
        QTest::newRow("error page") << "<html><body>500</body></html>" << true << "0"
                                    << "<html><body>500</body></html>";
        QTest::newRow("empty") << "" << true << "0" << "";
    }
    void singleSmsAnswer()
    {
        QFETCH(QString, answer);
        QFETCH(bool, accepted);
        QFETCH(QString, batch);
        QFETCH(QString, cleaned);
        const SingleSmsAnswer read = singleSms(answer);
        QCOMPARE(read.accepted, accepted);
        QCOMPARE(read.batch, batch);
        QCOMPARE(read.cleaned, cleaned);
    }

    // Children are read by position among element children: names do not
    // matter, whitespace and comments are not children.
    void statusReportByPosition()
    {
        const QString answer = QStringLiteral(R"(<?xml version="1.0"?>
<sent>
  <msg>
    <a> 7 </a><b/><c>x</c>
    <!-- a comment is not a child -->
    <d/><e/><f>true</f>
    <g>12</g>
  </msg>
  <msg><trn>9</trn><x/><x/><x/><x/><flag>FALSE</flag><cust>13</cust></msg>
  <msg><trn>11</trn><x/><x/><x/><x/><flag>TRUE</flag></msg>
  <msg><trn>8</trn><x/><x/><x/><x/><flag><b>TR</b>UE</flag><cust>14<i>.0</i></cust><extra/></msg>
  <other><trn>99</trn></other>
</sent>)");
        const StatusReport report = statusReport(answer);
        QVERIFY(report.wellFormed);
        QCOMPARE(report.entries.size(), 4);
        QVERIFY(report.entries[0].has_value());
        QCOMPARE(report.entries[0]->trn, 7.0);
        QCOMPARE(report.entries[0]->trnText, QStringLiteral("7"));
        QCOMPARE(report.entries[0]->customerId, 12.0);
        QVERIFY(report.entries[0]->delivered());
        QVERIFY(!report.entries[1]->delivered());
        QCOMPARE(report.entries[1]->customerId, 13.0);
        // lacks child 6: passed over, but its transaction number still counts
        QVERIFY(!report.entries[2].has_value());
        QCOMPARE(report.highestTrn, 11.0);
        // whole text content, nested elements included
        QVERIFY(report.entries[3]->delivered());
        QCOMPARE(report.entries[3]->customerId, 14.0);
    }

    void statusReportShapes()
    {
        QVERIFY(!statusReport(QString()).wellFormed);
        QVERIFY(!statusReport(QStringLiteral("<html><body>Service Unavailable")).wellFormed);
        const StatusReport empty = statusReport(QStringLiteral("<sent></sent>"));
        QVERIFY(empty.wellFormed);
        QVERIFY(empty.entries.isEmpty());
        QCOMPARE(empty.highestTrn, 0.0);
        // another root selects nothing
        QVERIFY(statusReport(QStringLiteral("<replies><msg><a>1</a></msg></replies>")).entries.isEmpty());
        // an entry without child 0 adds nothing to the resume point
        const StatusReport noTrn = statusReport(QStringLiteral("<sent><msg/></sent>"));
        QCOMPARE(noTrn.entries.size(), 1);
        QVERIFY(!noTrn.entries[0].has_value());
        QCOMPARE(noTrn.highestTrn, 0.0);
    }

    void repliesByPosition()
    {
        const QString answer = QStringLiteral(R"(<replies>
  <reply><id> R1 </id><seq>1</seq><from>0821234567</from><text>Yes &amp; thanks</text>
    <received>2024-03-14 14:05:07</received><sm>Pay &lt;now&gt;</sm><sdt>14/03/2024 09:00</sdt><c>42</c></reply>
  <reply><id>R2</id><seq/><from>1</from><text>t</text><received/><sm/><sdt/></reply>
  <reply><id>R3</id><seq/><from/><text/><received/><sm/><sdt/><c>abc</c></reply>
  <reply><id>R4</id><seq/><from/><text/><received/><sm/><sdt/><c>17.9xyz</c></reply>
</replies>)");
        const RepliesList list = replies(answer);
        QVERIFY(list.wellFormed);
        QCOMPARE(list.total, 4);
        QCOMPARE(list.replies.size(), 3); // R2 lacks position 7
        const Reply &first = list.replies[0];
        QCOMPARE(first.incomingId, QStringLiteral(" R1 "));
        QCOMPARE(first.phoneNumber, QStringLiteral("0821234567"));
        QCOMPARE(first.message, QStringLiteral("Yes & thanks"));
        QCOMPARE(first.received, QStringLiteral("2024-03-14 14:05:07"));
        QCOMPARE(first.sentMessage, QStringLiteral("Pay <now>"));
        QCOMPARE(first.sentDateTime, QStringLiteral("14/03/2024 09:00"));
        QCOMPARE(first.smsSendId, 42);
        QCOMPARE(list.replies[1].incomingId, QStringLiteral("R3"));
        QCOMPARE(list.replies[1].smsSendId, 0);
        QCOMPARE(list.replies[2].smsSendId, 17);

        QVERIFY(!replies(QStringLiteral("not xml at all")).wellFormed);
        QVERIFY(replies(QStringLiteral("<sent><reply/></sent>")).replies.isEmpty());
    }

    void dateTimeTexts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("stored"); // empty: no date
        QTest::newRow("database form") << "2024-03-14 14:05:07" << "2024-03-14 14:05:07";
        QTest::newRow("without seconds") << "2024-03-14 14:05" << "2024-03-14 14:05:00";
        QTest::newRow("ISO") << "2024-03-14T14:05:07" << "2024-03-14 14:05:07";
        QTest::newRow("ISO fraction") << "2024-03-14T14:05:07.1234567" << "2024-03-14 14:05:07";
        QTest::newRow("year first slashes") << "2024/03/14 14:05" << "2024-03-14 14:05:00";
        QTest::newRow("day first") << "03/04/2024 14:05:07" << "2024-04-03 14:05:07";
        QTest::newRow("day first short") << "3/4/2024 9:05" << "2024-04-03 09:05:00";
        QTest::newRow("month first when day first cannot be") << "3/14/2024 2:05:07 PM"
                                                              << "2024-03-14 14:05:07";
        QTest::newRow("date only") << "2024-03-14" << "2024-03-14 00:00:00";
        QTest::newRow("date only day first") << "14/03/2024" << "2024-03-14 00:00:00";
        QTest::newRow("AM") << "2024-03-14 12:30 AM" << "2024-03-14 00:30:00";
        QTest::newRow("PM lower case") << "14/03/2024 12:30:01 pm" << "2024-03-14 12:30:01";
        QTest::newRow("surrounding blanks") << "  2024-03-14   14:05:07 " << "2024-03-14 14:05:07";
        QTest::newRow("empty") << "" << "";
        QTest::newRow("words") << "yesterday" << "";
        QTest::newRow("no such day") << "2024-02-30 10:00" << "";
        QTest::newRow("no such hour") << "2024-03-14 25:00" << "";
        QTest::newRow("13 PM") << "2024-03-14 13:00 PM" << "";
        QTest::newRow("trailing junk") << "2024-03-14 10:00 tomorrow" << "";
    }
    void dateTimeTexts()
    {
        QFETCH(QString, text);
        QFETCH(QString, stored);
        const QVariant value = storedDateTime(text);
        if (stored.isEmpty()) {
            QVERIFY(value.isNull());
        } else {
            QCOMPARE(value.toString(), stored);
        }
    }

    void dateTimeWithOffset()
    {
        const auto value = dateTime(QStringLiteral("2024-03-14T12:00:00Z"));
        QVERIFY(value.has_value());
        QCOMPARE(value->toUTC(), QDateTime(QDate(2024, 3, 14), QTime(12, 0), Qt::UTC));
        const auto offset = dateTime(QStringLiteral("2024-03-14T14:00:00+02:00"));
        QVERIFY(offset.has_value());
        QCOMPARE(offset->toUTC(), QDateTime(QDate(2024, 3, 14), QTime(12, 0), Qt::UTC));
    }

    void normalisation_data()
    {
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("normalised"); // "-" for none
        QTest::newRow("international with blanks") << "+27 82 123 4567" << "0821234567";
        QTest::newRow("international") << "27821234567" << "0821234567";
        QTest::newRow("plus") << "+27821234567" << "0821234567";
        QTest::newRow("local") << "0821234567" << "0821234567";
        QTest::newRow("local with blanks") << " 082 123 4567 " << "0821234567";
        QTest::newRow("without trunk digit") << "821234567" << "01234567";
        QTest::newRow("plus alone") << "+" << "-";
        QTest::newRow("one digit") << "7" << "-";
        QTest::newRow("plus and one digit") << "+ 7" << "-";
        QTest::newRow("empty") << "" << "-";
        QTest::newRow("blanks") << "   " << "-";
        QTest::newRow("zero") << "0" << "0";
    }
    void normalisation()
    {
        QFETCH(QString, number);
        QFETCH(QString, normalised);
        const auto result = NormaliseNumber(number);
        if (normalised == QStringLiteral("-"))
            QVERIFY2(!result.has_value(), qPrintable(result.value_or(QString())));
        else
            QCOMPARE(result.value_or(QStringLiteral("<none>")), normalised);
    }
};

QTEST_GUILESS_MAIN(TestGatewayAnswers)
#include "tst_gatewayanswers.moc"
