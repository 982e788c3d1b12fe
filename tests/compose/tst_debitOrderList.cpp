#include "ComposeTestSupport.h"
#include "TestSupport.h"

#include "compose/DebitOrderList.h"
#include "data/AppError.h"

#include <QTest>

using namespace ComposeTest;
using DebitOrderList::Row;
using DebitOrderList::Style;

class tst_debitOrderList : public QObject
{
    Q_OBJECT

private slots:
    void init() { home.freshDatabase(); }

    void everyLineIsCountedAndOnlyAccountsLoaded();
    void reasonCodes_data();
    void reasonCodes();
    void messageIsFollowedByTheReason();
    void shortLinesAreReportedNotLoaded();
    void checks_data();
    void checks();
    void importQueuesEveryRowAndTheClosingRow();
    void importKeepsRowsBeforeAnError();

private:
    TestHome home;
};

void tst_debitOrderList::everyLineIsCountedAndOnlyAccountsLoaded()
{
    const QStringList lines = {QStringLiteral("ID, Number"), QStringLiteral("1001, 0821111111"), QString(),
                               QStringLiteral("  1002 ,  0822222222  "), QStringLiteral("   "),
                               QStringLiteral("1003,0823333333,extra,fields")};
    const auto loaded = DebitOrderList::parse(lines, QStringLiteral("Pay up"), false);
    QCOMPARE(loaded.linesRead, 6);
    QCOMPARE(loaded.rows.size(), 3);
    QCOMPARE(loaded.rows[1].id, QStringLiteral("1002"));
    QCOMPARE(loaded.rows[1].cellphone, QStringLiteral("0822222222"));
    QCOMPARE(loaded.rows[2].message, QStringLiteral("Pay up"));
    QVERIFY(loaded.shortLines.isEmpty());

    const auto rejected = DebitOrderList::parse({QStringLiteral("0,0821"), QStringLiteral("-5,0821"), QStringLiteral("abc,0821"),
                                                 QStringLiteral("0.5,0821"), QStringLiteral("7x,0821")},
                                                QString(), false);
    QCOMPARE(rejected.linesRead, 5);
    QCOMPARE(rejected.rows.size(), 2); // 0.5 and 7x begin with a number above 0
    QCOMPARE(rejected.rows[0].id, QStringLiteral("0.5"));
}

void tst_debitOrderList::reasonCodes_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::newRow("2") << "2" << "Insufficient funds";
    QTest::newRow("02") << "02" << "Insufficient funds";
    QTest::newRow("2.0") << "2.0" << "Insufficient funds";
    QTest::newRow("2.5") << "2.5" << "2.5";
    QTest::newRow("99") << "99" << "99";
    QTest::newRow("words") << "Card expired" << "Card expired";
    QTest::newRow("empty") << "" << "";
    QTest::newRow("0") << "0" << "0";
    QTest::newRow("28") << "28" << "Recall/Withdrawel";
    QTest::newRow("14") << "14" << "Account transfered";
    QTest::newRow("82506") << "82506" << "Invalid Homing Acc";
    QTest::newRow("73") << "73" << "Homing Account Failed";
}

void tst_debitOrderList::reasonCodes()
{
    QFETCH(QString, field);
    QFETCH(QString, text);
    QCOMPARE(DebitOrderList::reasonText(field), text);
}

void tst_debitOrderList::messageIsFollowedByTheReason()
{
    const QStringList lines = {QStringLiteral("1,0821111111, 2 "), QStringLiteral("2,0822222222,99"),
                               QStringLiteral("3,0823333333, Card expired ")};
    const auto withReason = DebitOrderList::parse(lines, QStringLiteral("  Your debit failed: "), true);
    QCOMPARE(withReason.rows.size(), 3);
    QCOMPARE(withReason.rows[0].message, QStringLiteral("Your debit failed:Insufficient funds"));
    QCOMPARE(withReason.rows[1].message, QStringLiteral("Your debit failed:99"));
    QCOMPARE(withReason.rows[2].message, QStringLiteral("Your debit failed:Card expired"));

    const auto without = DebitOrderList::parse(lines, QStringLiteral("Same text "), false);
    for (const Row &row : without.rows)
        QCOMPARE(row.message, QStringLiteral("Same text"));
}

void tst_debitOrderList::shortLinesAreReportedNotLoaded()
{
    const QStringList lines = {QStringLiteral("1,0821,2"), QStringLiteral("2,0822"), QStringLiteral("no commas"),
                               QString(), QStringLiteral("3,0823,4")};
    const auto withReason = DebitOrderList::parse(lines, QStringLiteral("M"), true);
    QCOMPARE(withReason.rows.size(), 2);
    QCOMPARE(withReason.shortLines, (QList<qint64>{2, 3}));
    QCOMPARE(DebitOrderList::shortLinesNotice(withReason),
             QStringLiteral("2 lines were not loaded because they have fewer than 3 fields: lines 2, 3."));

    const auto without = DebitOrderList::parse(lines, QStringLiteral("M"), false);
    QCOMPARE(without.rows.size(), 3);
    QCOMPARE(without.shortLines, (QList<qint64>{3}));
    QCOMPARE(DebitOrderList::shortLinesNotice(without),
             QStringLiteral("1 line was not loaded because it has fewer than 2 fields: line 3."));

    QStringList many;
    for (int i = 0; i < 25; ++i)
        many << QStringLiteral("lonely");
    const QString notice = DebitOrderList::shortLinesNotice(DebitOrderList::parse(many, {}, false));
    QVERIFY2(notice.startsWith(QStringLiteral("25 lines were not loaded")), qPrintable(notice));
    QVERIFY2(notice.endsWith(QStringLiteral("lines 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, ...")), qPrintable(notice));

    QVERIFY(DebitOrderList::shortLinesNotice(DebitOrderList::parse({QStringLiteral("1,2")}, {}, false)).isEmpty());
}

void tst_debitOrderList::checks_data()
{
    QTest::addColumn<QString>("cellphone");
    QTest::addColumn<int>("messageLength");
    QTest::addColumn<int>("style");

    QTest::newRow("fine") << "0821234567" << 158 << int(Style::None);
    QTest::newRow("message 159") << "0821234567" << 159 << int(Style::MessageTooLong);
    QTest::newRow("message 200") << "0821234567" << 200 << int(Style::MessageTooLong);
    QTest::newRow("cell 9") << "082123456" << 20 << int(Style::CellTooShort);
    QTest::newRow("cell 1") << "0" << 20 << int(Style::CellTooShort);
    QTest::newRow("cell empty") << "" << 20 << int(Style::LineInvalid);
    QTest::newRow("message empty") << "0821234567" << 0 << int(Style::LineInvalid);
    QTest::newRow("short cell wins over long message") << "082" << 170 << int(Style::CellTooShort);
    QTest::newRow("long message wins over empty cell") << "" << 170 << int(Style::MessageTooLong);
}

void tst_debitOrderList::checks()
{
    QFETCH(QString, cellphone);
    QFETCH(int, messageLength);
    QFETCH(int, style);
    const Row row{QStringLiteral("1"), cellphone, QString(messageLength, QLatin1Char('m'))};
    QCOMPARE(int(DebitOrderList::styleOf(row)), style);
    const QStringList names = {QString(), QStringLiteral("LINEINVALID"), QStringLiteral("MESSAGETOLONG"),
                               QStringLiteral("CELLTOSHORT")};
    QCOMPARE(DebitOrderList::styleName(Style(style)), names.at(style));
}

void tst_debitOrderList::importQueuesEveryRowAndTheClosingRow()
{
    const QList<Row> rows = {{QStringLiteral("1"), QStringLiteral(" 0821111111 "), QStringLiteral(" Hello ")},
                             {QStringLiteral("2"), QString(), QStringLiteral("No number")}};
    const auto imported = DebitOrderList::import(rows, QStringLiteral("  082  "));
    QCOMPARE(imported.rows, 2);
    QVERIFY(imported.toSelf);
    QCOMPARE(DebitOrderList::importedText(imported), QStringLiteral("Done Importing 2 records and 1 to yourself"));

    const auto stored = outbox();
    QCOMPARE(stored.size(), 3);
    QCOMPARE(stored[0].value("Number").toString(), QStringLiteral("0821111111"));
    QCOMPARE(stored[0].value("Message").toString(), QStringLiteral("Hello"));
    QCOMPARE(stored[1].value("Number").toString(), QString());
    QCOMPARE(stored[2].value("Number").toString(), QStringLiteral("082"));
    QCOMPARE(stored[2].value("Message").toString(), QStringLiteral("Finished Sending."));
    for (const auto &row : stored) {
        QVERIFY(row.value("ClientID").isNull());
        QVERIFY(row.value("SendDate").isNull());
        QVERIFY(row.value("SendTime").isNull());
        QCOMPARE(row.value("Send").toInt(), 0);
    }

    const auto none = DebitOrderList::import({}, QStringLiteral("   "));
    QCOMPARE(DebitOrderList::importedText(none), QStringLiteral("Done Importing 0 records"));
    QCOMPARE(outboxCount(), 3);
}

void tst_debitOrderList::importKeepsRowsBeforeAnError()
{
    refuseNumber(QStringLiteral("0999"));
    const QList<Row> rows = {{QStringLiteral("1"), QStringLiteral("0821"), QStringLiteral("a")},
                             {QStringLiteral("2"), QStringLiteral("0822"), QStringLiteral("b")},
                             {QStringLiteral("3"), QStringLiteral("0999"), QStringLiteral("c")},
                             {QStringLiteral("4"), QStringLiteral("0824"), QStringLiteral("d")}};
    QVERIFY_THROWS_EXCEPTION(AppError, DebitOrderList::import(rows, QStringLiteral("082")));
    Database::close();
    const auto stored = outbox();
    QCOMPARE(stored.size(), 2);
    QCOMPARE(stored[1].value("Number").toString(), QStringLiteral("0822"));
}

QTEST_GUILESS_MAIN(tst_debitOrderList)
#include "tst_debitOrderList.moc"
