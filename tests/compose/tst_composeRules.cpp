#include "ComposeTestSupport.h"
#include "TestSupport.h"

#include "app/modMain.h"
#include "compose/GroupQueue.h"
#include "compose/MessageText.h"
#include "compose/OutboxWriter.h"
#include "compose/SmsParts.h"
#include "data/AppError.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QTest>

using namespace ComposeTest;

class tst_composeRules : public QObject
{
    Q_OBJECT

private slots:
    void init() { home.freshDatabase(); }

    void lineBreaksCountTwoAndAreStoredAsCrLf();
    void fittingNeverSplitsABreakOrAPair();
    void smsParts_data();
    void smsParts();
    void extensionCharactersAndPairsStayInOnePart();

    void bodiesBecomeOneRowEach();
    void blankBodiesAreSkippedButBreaksAreKept();
    void rowsCarryTodaysDateAndTime();
    void writerWithoutDatabaseFails();

    void groupsAreOrderedByName();
    void membersWithoutNumberAreCountedAndLeftOut();
    void membersListKeepsItsColumnsWhenEmpty();

private:
    TestHome home;
};

void tst_composeRules::lineBreaksCountTwoAndAreStoredAsCrLf()
{
    QCOMPARE(MessageText::toStored(QStringLiteral("a\nb\r\nc\rd")), QStringLiteral("a\r\nb\r\nc\r\nd"));
    QCOMPARE(MessageText::toEditor(QStringLiteral("a\r\nb\rc")), QStringLiteral("a\nb\nc"));
    QCOMPARE(MessageText::storedLength(QStringLiteral("ab\ncd")), 6);
    QCOMPARE(MessageText::storedLength(QStringLiteral("ab\r\ncd")), 6);
    QCOMPARE(MessageText::storedLength(QString(QChar::ParagraphSeparator)), 2);
}

void tst_composeRules::fittingNeverSplitsABreakOrAPair()
{
    QCOMPARE(MessageText::fitToRoom(QStringLiteral("abc\r\ndef"), 4), QStringLiteral("abc"));
    QCOMPARE(MessageText::fitToRoom(QStringLiteral("abc\r\ndef"), 5), QStringLiteral("abc\n"));
    QCOMPARE(MessageText::fitToRoom(QStringLiteral("abc"), 0), QString());
    const QString face = QString::fromUtf8("\xF0\x9F\x98\x80"); // one character, two UTF-16 units
    QCOMPARE(MessageText::fitToRoom(QStringLiteral("a") + face, 2), QStringLiteral("a"));
    QCOMPARE(MessageText::fitToRoom(QStringLiteral("a") + face, 3), QStringLiteral("a") + face);
}

void tst_composeRules::smsParts_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("parts");
    QTest::addColumn<bool>("unicode");
    QTest::addColumn<int>("units");

    const QString zhe = QString(QChar(0x0436));
    QTest::newRow("empty") << QString() << 0 << false << 0;
    QTest::newRow("plain") << QStringLiteral("Hello") << 1 << false << 5;
    QTest::newRow("gsm 160") << QString(160, QLatin1Char('a')) << 1 << false << 160;
    QTest::newRow("gsm 161") << QString(161, QLatin1Char('a')) << 2 << false << 161;
    QTest::newRow("gsm 306") << QString(306, QLatin1Char('a')) << 2 << false << 306;
    QTest::newRow("gsm 307") << QString(307, QLatin1Char('a')) << 3 << false << 307;
    QTest::newRow("80 braces") << QString(80, QLatin1Char('{')) << 1 << false << 160;
    QTest::newRow("81 braces") << QString(81, QLatin1Char('{')) << 2 << false << 162;
    QTest::newRow("euro counts two") << QString::fromUtf8("\xE2\x82\xAC") << 1 << false << 2;
    QTest::newRow("every extension char")
        << QStringLiteral("{}[]~\\|^") + QString::fromUtf8("\xE2\x82\xAC") << 1 << false << 18;
    QTest::newRow("gsm accents and greek")
        << QString::fromUtf8("\xC3\xA9\xC3\xA8\xC3\x84\xC3\x9F\xCE\x94\xC2\xA3") << 1 << false << 6;
    QTest::newRow("line break") << QStringLiteral("a\r\nb") << 1 << false << 4;
    QTest::newRow("c cedilla small is not gsm") << QString::fromUtf8("\xC3\xA7") << 1 << true << 1;
    QTest::newRow("tab is not gsm") << QStringLiteral("a\tb") << 1 << true << 3;
    QTest::newRow("unicode 70") << zhe.repeated(70) << 1 << true << 70;
    QTest::newRow("unicode 71") << zhe.repeated(71) << 2 << true << 71;
    QTest::newRow("unicode 134") << zhe.repeated(134) << 2 << true << 134;
    QTest::newRow("unicode 135") << zhe.repeated(135) << 3 << true << 135;
    QTest::newRow("160 unicode") << zhe.repeated(160) << 3 << true << 160;
}

void tst_composeRules::smsParts()
{
    QFETCH(QString, message);
    QFETCH(int, parts);
    QFETCH(bool, unicode);
    QFETCH(int, units);
    const SmsParts result = ::smsParts(message);
    QCOMPARE(result.parts, parts);
    QCOMPARE(result.unicode, unicode);
    QCOMPARE(result.units, units);
}

void tst_composeRules::extensionCharactersAndPairsStayInOnePart()
{
    // 306 septets would fit two parts of 153, but the brace cannot be split
    // from its escape code at the end of the first part.
    const QString gsm = QString(152, QLatin1Char('a')) + QLatin1Char('{') + QString(152, QLatin1Char('a'));
    QCOMPARE(::smsParts(gsm).units, 306);
    QCOMPARE(::smsParts(gsm).parts, 3);

    const QString face = QString::fromUtf8("\xF0\x9F\x98\x80");
    const QString zhe = QString(QChar(0x0436));
    const QString unicode = zhe.repeated(66) + face + zhe.repeated(66);
    QCOMPARE(::smsParts(unicode).units, 134);
    QCOMPARE(::smsParts(unicode).parts, 3);

    QCOMPARE(partsText(::smsParts(QStringLiteral("Hi"))), QStringLiteral("1 SMS"));
    QCOMPARE(partsText(::smsParts(zhe.repeated(71))), QStringLiteral("2 SMS \u00B7 Unicode"));
}

void tst_composeRules::bodiesBecomeOneRowEach()
{
    OutboxWriter writer;
    QCOMPARE(writer.queueBodies({QString(), QStringLiteral("  Second  "), QStringLiteral("   "), QStringLiteral("Fourth")},
                                QStringLiteral("  082 555 1234  ")),
             2);
    QCOMPARE(writer.queueBodies({QStringLiteral("One"), QStringLiteral("Two"), QStringLiteral("Three"), QStringLiteral("Four")},
                                QStringLiteral("0831"), 42),
             4);

    const auto rows = outbox();
    QCOMPARE(rows.size(), 6);
    QCOMPARE(rows[0].value("Message").toString(), QStringLiteral("Second"));
    QCOMPARE(rows[1].value("Message").toString(), QStringLiteral("Fourth"));
    QCOMPARE(rows[0].value("Number").toString(), QStringLiteral("082 555 1234"));
    QVERIFY(rows[0].value("ClientID").isNull());
    for (int i = 2; i < 6; ++i) {
        QCOMPARE(rows[i].value("ClientID").toLongLong(), 42);
        QCOMPARE(rows[i].value("SMSSendID").toLongLong(), rows[2].value("SMSSendID").toLongLong() + (i - 2));
    }
    QCOMPARE(rows[5].value("Message").toString(), QStringLiteral("Four"));
    for (const auto &row : rows) {
        QCOMPARE(row.value("Send").toInt(), 0);
        QCOMPARE(row.value("Delivered").toInt(), 0);
        QVERIFY(row.value("EventID").isNull());
        QVERIFY(row.value("SentID").isNull());
    }
}

void tst_composeRules::blankBodiesAreSkippedButBreaksAreKept()
{
    OutboxWriter writer;
    QCOMPARE(writer.queueBodies({QStringLiteral("   "), QString(), QStringLiteral(" "), QString()}, QStringLiteral("0821")), 0);
    QCOMPARE(outboxCount(), 0);

    // Only blanks go: a body that is one line break, or a tab, is a message.
    QCOMPARE(writer.queueBodies({QStringLiteral("\r\n"), QStringLiteral("  \tx\t  "), QStringLiteral(" a\r\n ")},
                                QStringLiteral("0821")),
             3);
    const auto rows = outbox();
    QCOMPARE(rows[0].value("Message").toString(), QStringLiteral("\r\n"));
    QCOMPARE(rows[1].value("Message").toString(), QStringLiteral("\tx\t"));
    QCOMPARE(rows[2].value("Message").toString(), QStringLiteral("a\r\n"));
}

void tst_composeRules::rowsCarryTodaysDateAndTime()
{
    const QDateTime before = QDateTime::currentDateTime();
    OutboxWriter writer;
    writer.queueBodies({QStringLiteral("a"), QStringLiteral("b")}, QStringLiteral("0821"));
    const QDateTime after = QDateTime::currentDateTime();

    static const QRegularExpression dateShape(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
    static const QRegularExpression timeShape(QStringLiteral("^([01]\\d|2[0-3]):[0-5]\\d$"));
    for (const auto &row : outbox()) {
        const QString date = row.value("SendDate").toString();
        const QString time = row.value("SendTime").toString();
        QVERIFY2(dateShape.match(date).hasMatch(), qPrintable(date));
        QVERIFY2(timeShape.match(time).hasMatch(), qPrintable(time));
        const QDateTime stamp(QDate::fromString(date, QStringLiteral("yyyy-MM-dd")),
                              QTime::fromString(time, QStringLiteral("HH:mm")));
        QVERIFY(stamp.isValid());
        QVERIFY(stamp >= QDateTime(before.date(), QTime(before.time().hour(), before.time().minute())));
        QVERIFY(stamp <= after);
    }
}

void tst_composeRules::writerWithoutDatabaseFails()
{
    const QString saved = modMain::ConnectionString;
    modMain::ConnectionString = Database::connectionStringFor(home.path() + QStringLiteral("/missing/SMSData.db"));
    OutboxWriter writer;
    QVERIFY_THROWS_EXCEPTION(AppError, writer.queueBodies({QStringLiteral("Hi")}, QStringLiteral("0821")));
    // Nothing to write means nothing to fail.
    QCOMPARE(writer.queueBodies({QStringLiteral(" ")}, QStringLiteral("0821")), 0);
    modMain::ConnectionString = saved;
}

void tst_composeRules::groupsAreOrderedByName()
{
    const qint64 zulu = addGroup(QStringLiteral("Zulu"));
    const qint64 alpha = addGroup(QStringLiteral("O'Brien's"));
    const auto groups = GroupQueue::groups();
    QCOMPARE(groups.size(), 2);
    QCOMPARE(groups[0].name, QStringLiteral("O'Brien's"));
    QCOMPARE(groups[0].groupId, alpha);
    QCOMPARE(groups[1].groupId, zulu);
}

void tst_composeRules::membersWithoutNumberAreCountedAndLeftOut()
{
    const qint64 group = addGroup(QStringLiteral("Members"));
    const qint64 smith = addClient(QStringLiteral(" Smith "), QStringLiteral(" Ann "), QStringLiteral("  0821111111 "));
    const qint64 blank = addClient(QStringLiteral("Blank"), QStringLiteral("Bob"), QStringLiteral("    "));
    const qint64 none = addClient(QStringLiteral("None"), QStringLiteral("Cy"), QVariant());
    const qint64 empty = addClient(QStringLiteral("Empty"), QStringLiteral("Di"), QString(""));
    const qint64 jones = addClient(QStringLiteral("Jones"), QStringLiteral("Ed"), QStringLiteral("0822222222"));
    for (qint64 client : {smith, blank, none, empty, jones})
        link(group, client);

    QCOMPARE(GroupQueue::membersWithoutNumber(group), 3);

    QStringList started;
    const qint64 counter = GroupQueue::queue(group, {QStringLiteral("Hi"), QString(), QStringLiteral("Bye"), QString()},
                                             [&](const QString &last, const QString &first) {
                                                 started << last + QStringLiteral(", ") + first;
                                             });
    QCOMPARE(counter, 2);
    QCOMPARE(started, (QStringList{QStringLiteral("Smith, Ann"), QStringLiteral("Jones, Ed")}));
    const auto rows = outbox();
    QCOMPARE(rows.size(), 4);
    QCOMPARE(rows[0].value("ClientID").toLongLong(), smith);
    QCOMPARE(rows[0].value("Number").toString(), QStringLiteral("0821111111"));
    QCOMPARE(rows[0].value("Message").toString(), QStringLiteral("Hi"));
    QCOMPARE(rows[1].value("Message").toString(), QStringLiteral("Bye"));
    QCOMPARE(rows[3].value("ClientID").toLongLong(), jones);

    // A member counts even when every body is blank.
    QCOMPARE(GroupQueue::queue(group, {QStringLiteral(" "), QString(), QString(), QString()}), 2);
    QCOMPARE(outboxCount(), 4);

    const qint64 emptyGroup = addGroup(QStringLiteral("Nobody"));
    QCOMPARE(GroupQueue::membersWithoutNumber(emptyGroup), 0);
    QCOMPARE(GroupQueue::queue(emptyGroup, {QStringLiteral("Hi")}), 0);
}

void tst_composeRules::membersListKeepsItsColumnsWhenEmpty()
{
    const GroupQueue::Table none = GroupQueue::members(0);
    QVERIFY(none.rows.isEmpty());
    QCOMPARE(none.columns.value(0), QStringLiteral("GroupID"));
    QVERIFY(none.columns.contains(QStringLiteral("LastName")));
    QVERIFY(none.columns.contains(QStringLiteral("Mobile")));

    const qint64 group = addGroup(QStringLiteral("G"));
    for (const char *name : {"Young", "Adams", "Mills"})
        link(group, addClient(QString::fromLatin1(name), QStringLiteral("X"), QStringLiteral("0821")));
    const GroupQueue::Table table = GroupQueue::members(group);
    const int last = int(table.columns.indexOf(QStringLiteral("LastName")));
    QStringList names;
    for (const auto &row : table.rows)
        names << row.at(last).toString();
    QCOMPARE(names, (QStringList{QStringLiteral("Adams"), QStringLiteral("Mills"), QStringLiteral("Young")}));
}

QTEST_GUILESS_MAIN(tst_composeRules)
#include "tst_composeRules.moc"
