#include "FailingWrites.h"
#include "OutboxColumn.h"
#include "QueryRows.h"
#include "TestSupport.h"

#include "compose/DebitOrderList.h"
#include "compose/MessageText.h"
#include "compose/TemplateBook.h"
#include "data/AppError.h"
#include "data/OperatorTime.h"
#include "data/SmsParts.h"
#include "data/TextFiles.h"
#include "outbox/OutboxWriter.h"

#include <QDateTime>
#include <QDir>
#include <QRegularExpression>
#include <QTest>

#include <algorithm>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

TemplateText text(const QString &body1, bool marketing = false)
{
    return {{body1, {}, {}, {}}, marketing};
}

QStringList names()
{
    QStringList result;
    for (const MessageTemplate &item : TemplateBook::list())
        result << item.name;
    return result;
}

// What the action threw: a refused name's title, another error's description; "" when it threw none.
QString refusal(const std::function<void()> &action)
{
    try {
        action();
    } catch (const TemplateNameRefused &refused) {
        return refused.title();
    } catch (const AppError &error) {
        return error.description();
    }
    return {};
}

} // namespace

class tst_composeRules : public QObject
{
    Q_OBJECT

private slots:
    void init() { home.freshDatabase(); }

    // Each file as readLines gives it: decoded as UTF-8 when it is valid UTF-8, else as Windows-1252, and cut into
    // lines at every kind of line end.
    void readsLinesOfEitherEncoding_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("utf-8") << QByteArray("Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80")
                               << QStringList{u"Caf\u00E9 \u20AC "_s + QString::fromUtf8("\xF0\x9F\x98\x80")};
        QTest::newRow("byte order mark dropped") << QByteArray("\xEF\xBB\xBFwith mark") << QStringList{"with mark"};
        QTest::newRow("windows-1252") << QByteArray("Caf\xE9 \x80 \x93x\x94")
                                      << QStringList{u"Caf\u00E9 \u20AC \u201Cx\u201D"_s};
        QTest::newRow("undefined bytes keep their value") << QByteArray("a\x81z") << QStringList{u"a\u0081z"_s};
        QTest::newRow("overlong slash") << QByteArray("\xC0\xAF") << QStringList{u"\u00C0\u00AF"_s};
        QTest::newRow("sequence cut off at the end") << QByteArray("ok\xE2\x82") << QStringList{u"ok\u00E2\u201A"_s};
        QTest::newRow("empty file") << QByteArray() << QStringList();
        QTest::newRow("mixed, no final break") << QByteArray("a\rb\nc\r\nd") << QStringList{"a", "b", "c", "d"};
        QTest::newRow("blank lines kept") << QByteArray("a\r\n\r\n  \r\nb\n\n") << QStringList{"a", "", "  ", "b", ""};
        QTest::newRow("cr cr lf") << QByteArray("a\r\r\nb") << QStringList{"a", "", "b"};
    }

    void readsLinesOfEitherEncoding()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, lines);
        QCOMPARE(TextFiles::readLines(home.file(u"lines.txt"_s, bytes)), lines);
    }

    void unreadableFileIsReportedWithItsPath()
    {
        const QString missing = home.path() + u"/not there.txt"_s;
        const QString error = refusal([&] { TextFiles::readLines(missing); });
        QVERIFY2(error.contains(missing), qPrintable(error));
        QVERIFY(QDir().mkpath(home.path() + u"/a folder.txt"_s));
        QVERIFY_THROWS_EXCEPTION(AppError, TextFiles::readLines(home.path() + u"/a folder.txt"_s));
    }

    void lineBreaksCountTwoAndAreStoredAsCrLf()
    {
        QCOMPARE(MessageText::toStored(u"a\nb\r\nc\rd"_s), u"a\r\nb\r\nc\r\nd"_s);
        QCOMPARE(MessageText::toEditor(u"a\r\nb\rc"_s), u"a\nb\nc"_s);
        QCOMPARE(MessageText::storedLength(u"ab\ncd"_s), 6);
        QCOMPARE(MessageText::storedLength(QString(QChar::ParagraphSeparator)), 2);
    }

    // What did not fit into one body goes on into the later ones in order: each
    // takes the longest beginning that fits its room, never half a line break or
    // half a character, and nothing that would put text out of order.
    void spreadTakesWhatFitsBodyByBody_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<int>>("rooms");
        QTest::addColumn<QStringList>("pieces");
        QTest::addColumn<QString>("leftOver");
        const QString smile = QString::fromUtf8("\xF0\x9F\x98\x80");
        QTest::newRow("filled in order, the rest left over")
            << u"abcdefghij"_s << QList<int>{4, 3, 2} << QStringList{u"abcd"_s, u"efg"_s, u"hi"_s} << u"j"_s;
        QTest::newRow("a line break does not fit into one place")
            << u"ab\r\ncd"_s << QList<int>{3, 10} << QStringList{u"ab"_s, u"\ncd"_s} << u""_s;
        QTest::newRow("a later body never takes text before an earlier one has")
            << u"\nab"_s << QList<int>{1, 1, 3} << QStringList{u""_s, u""_s, u"\na"_s} << u"b"_s;
        QTest::newRow("a two-unit character stays whole")
            << u"a"_s + smile + u"b"_s << QList<int>{2, 2} << QStringList{u"a"_s, smile} << u"b"_s;
    }

    void spreadTakesWhatFitsBodyByBody()
    {
        QFETCH(QString, text);
        QFETCH(QList<int>, rooms);
        QFETCH(QStringList, pieces);
        QFETCH(QString, leftOver);
        const MessageText::Spread spread = MessageText::spread(text, rooms);
        QCOMPARE(spread.pieces, pieces);
        QCOMPARE(spread.leftOver, leftOver);
    }

    void smsParts_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("units");
        QTest::addColumn<QString>("text");
        const QString zhe(QChar(0x0436));
        const QString face = QString::fromUtf8("\xF0\x9F\x98\x80");
        QTest::newRow("empty") << QString() << 0 << u"0 SMS"_s;
        QTest::newRow("gsm 160") << QString(160, u'a') << 160 << u"1 SMS"_s;
        QTest::newRow("gsm 161") << QString(161, u'a') << 161 << u"2 SMS"_s;
        QTest::newRow("80 braces count two each") << QString(80, u'{') << 160 << u"1 SMS"_s;
        QTest::newRow("81 braces") << QString(81, u'{') << 162 << u"2 SMS"_s;
        QTest::newRow("every extension character") << u"{}[]~\\|^\u20AC"_s << 18 << u"1 SMS"_s;
        QTest::newRow("gsm accents and greek") << u"\u00E9\u00E8\u00C4\u00DF\u0394\u00A3"_s << 6 << u"1 SMS"_s;
        QTest::newRow("brace kept with its escape")
            << QString(152, u'a') + u'{' + QString(152, u'a') << 306 << u"3 SMS"_s;
        QTest::newRow("c cedilla small is not gsm") << u"\u00E7"_s << 1 << u"1 SMS \u00B7 Unicode"_s;
        QTest::newRow("tab is not gsm") << u"a\tb"_s << 3 << u"1 SMS \u00B7 Unicode"_s;
        QTest::newRow("unicode 70") << zhe.repeated(70) << 70 << u"1 SMS \u00B7 Unicode"_s;
        QTest::newRow("unicode 71") << zhe.repeated(71) << 71 << u"2 SMS \u00B7 Unicode"_s;
        QTest::newRow("pair kept in one part")
            << zhe.repeated(66) + face + zhe.repeated(66) << 134 << u"3 SMS \u00B7 Unicode"_s;
    }

    void smsParts()
    {
        QFETCH(QString, message);
        QFETCH(int, units);
        QFETCH(QString, text);
        const SmsParts parts = ::smsParts(message);
        QCOMPARE(parts.units, units);
        QCOMPARE(partsText(parts), text);
    }

    void blankBodiesAreSkippedAndTheRestQueuedTrimmed()
    {
        const QDateTime before = QDateTime::currentDateTime();
        OutboxWriter writer;
        QCOMPARE(writer.queueBodies({QString(), u"  Second  "_s, u"   "_s, u"Fourth"_s}, u"  082 555 1234  "_s), 2);
        QCOMPARE(writer.queueBodies({u" "_s, QString(), u" "_s, QString()}, u"0821"_s), 0);
        // Only blanks go: a body that is one line break, or a tab, is a message.
        QCOMPARE(writer.queueBodies({u"\r\n"_s, u" \tx\r\n "_s}, u"0821"_s, 42), 2);
        const QDateTime after = QDateTime::currentDateTime();

        QCOMPARE(
            queryValues(u"SELECT Message || '|' || Number || '|' || coalesce(CAST(ClientID AS TEXT), 'NULL') "
                        "FROM SMSSend ORDER BY SMSSendID"_s),
            (QStringList{"Second|082 555 1234|NULL", "Fourth|082 555 1234|NULL", "\r\n|0821|42", "\tx\r\n|0821|42"}));
        static const QRegularExpression shape(u"^\\d{4}-\\d{2}-\\d{2} ([01]\\d|2[0-3]):[0-5]\\d$"_s);
        for (const auto &row : OutboxRows::all()) {
            const QString stamp = row.value("SendDate").toString() + u' ' + row.value("SendTime").toString();
            QVERIFY2(shape.match(stamp).hasMatch(), qPrintable(stamp));
            // The office's date and time, whatever the machine's zone.
            QDateTime sent = QDateTime::fromString(stamp, u"yyyy-MM-dd HH:mm"_s);
            sent.setTimeZone(QTimeZone(OperatorTime::DefaultZoneId));
            QVERIFY2(sent >= before.addSecs(-60) && sent <= after, qPrintable(stamp));
            QCOMPARE(row.value("Send").toInt(), 0);
        }
    }

    // Debit-order rows are written dozens to a statement; a refused row still
    // keeps every row before it, and only those, as row by row.
    void debitRowsGoInOrderAndThoseBeforeARefusedOneStay()
    {
        const auto rows = [](int count, int refusedAt) {
            QList<DebitOrderList::Row> list;
            for (int i = 0; i < count; ++i)
                list.append({QString::number(1000 + i),
                             i == refusedAt ? u"0999"_s : u"08255%1"_s.arg(i, 5, 10, QChar(u'0')),
                             u"Returned %1"_s.arg(i)});
            return list;
        };

        FailingWrites::refuseWhere(u"Refuse"_s, u"INSERT"_s, u"SMSSend"_s, u"NEW.Number = '0999'"_s);
        const QList<DebitOrderList::Row> refusedAmong = rows(200, 130);
        const QString error = refusal([&] { DebitOrderList::import(refusedAmong); });
        QVERIFY2(error.contains(u"refused by test"_s), qPrintable(error));
        QVERIFY2(error.endsWith(u"\n130 messages were queued before the error."_s), qPrintable(error));
        QStringList before;
        for (int i = 0; i < 130; ++i)
            before << refusedAmong.at(i).cellphone;
        QCOMPARE(outboxColumn(u"Number"_s), before);

        home.freshDatabase();
        const QList<DebitOrderList::Row> all = rows(150, -1);
        const DebitOrderList::Imported imported = DebitOrderList::import(all, u" 0821112222 "_s);
        QCOMPARE(imported.rows, 150);
        QVERIFY(imported.toSelf);
        QStringList expected;
        for (const auto &row : all)
            expected << row.cellphone;
        expected << u"0821112222"_s;
        QCOMPARE(outboxColumn(u"Number"_s), expected);
        QCOMPARE(outboxColumn(u"Message"_s).mid(149), (QStringList{u"Returned 149"_s, u"Finished Sending."_s}));
    }

    // Many addressees' rows go in together; a refused addressee keeps the rows
    // of those before it, and only those, and is named by its place.
    void addresseesBeforeARefusedOneStayAndItIsNamed()
    {
        QList<OutboxWriter::Addressee> addressees;
        for (int i = 0; i < 40; ++i)
            addressees.append(
                {i == 21 ? u"0999"_s : u" 08211%1 "_s.arg(i, 5, 10, QChar(u'0')), QVariant(qint64(100 + i))});
        const QStringList bodies{u"One"_s, u"  "_s, u" Two"_s};
        const QString stored = u"SELECT ClientID || '|' || Number || '|' || Message FROM SMSSend ORDER BY SMSSendID"_s;
        const auto expected = [&](qsizetype count) {
            QStringList rows;
            for (qsizetype i = 0; i < count; ++i)
                for (const QString &message : {u"One"_s, u"Two"_s})
                    rows << QString::number(100 + i) + u'|' + addressees.at(i).number.trimmed() + u'|' + message;
            return rows;
        };

        FailingWrites::refuseWhere(u"Refuse"_s, u"INSERT"_s, u"SMSSend"_s, u"NEW.Number = '0999'"_s);
        qsizetype failedAt = -1;
        {
            OutboxWriter writer;
            const QString error = refusal([&] { writer.queueBodiesToEach(bodies, addressees, failedAt); });
            QVERIFY2(error.contains(u"refused by test"_s), qPrintable(error));
            QCOMPARE(failedAt, 21);
            QCOMPARE(writer.written(), 42);
        }
        QCOMPARE(queryValues(stored), expected(21));

        home.freshDatabase();
        OutboxWriter writer;
        QCOMPARE(writer.queueBodiesToEach(bodies, addressees, failedAt), 80);
        QCOMPARE(failedAt, -1);
        QCOMPARE(queryValues(stored), expected(40));
    }

    // Names match whatever their case, accents too; only blanks around them are trimmed, not tabs.
    void templateNamesAreUniqueTrimmedInAnyCase_data()
    {
        QTest::addColumn<QString>("stored"); // a null text: none
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("refused"); // the refusal's title; empty when the template is added
        QTest::newRow("blanks and case") << u"Debit order"_s << u"  DEBIT ORDER "_s << u"EXIST"_s;
        QTest::newRow("a longer name") << u"Debit order"_s << u"Debit order reminder"_s << QString();
        QTest::newRow("stored with a blank") << u"Meeting "_s << u"meeting"_s << u"EXIST"_s;
        QTest::newRow("accent in capitals") << u"Émile"_s << u"ÉMILE"_s << u"EXIST"_s;
        QTest::newRow("a quote") << QString() << u"Mary's thanks"_s << QString();
        QTest::newRow("a quote, taken") << u"Mary's thanks"_s << u" MARY'S THANKS"_s << u"EXIST"_s;
        QTest::newRow("a quote after a taken name") << u"Mary"_s << u"Mary's"_s << QString();
        QTest::newRow("only blanks") << QString() << u"   "_s << u"NAME"_s;
        QTest::newRow("a tab is kept") << u"\tPayment"_s << u"Payment"_s << QString();
    }

    void templateNamesAreUniqueTrimmedInAnyCase()
    {
        QFETCH(QString, stored);
        QFETCH(QString, typed);
        QFETCH(QString, refused);
        QStringList expected; // each name exactly as typed
        if (!stored.isNull()) {
            TemplateBook::add(stored, text(u"stored"_s));
            expected << stored;
        }
        QCOMPARE(refusal([&] { TemplateBook::add(typed, text(u"new"_s)); }), refused);
        if (refused.isEmpty())
            expected << typed;
        QStringList listed = names();
        std::sort(expected.begin(), expected.end());
        std::sort(listed.begin(), listed.end());
        QCOMPARE(listed, expected);
    }

    void renamingATemplateOntoATakenNameIsRefused()
    {
        const qint64 thanks = TemplateBook::add(u"Payment thanks"_s, text(u"Thank you"_s));
        const qint64 meeting = TemplateBook::add(u"Meeting"_s, text(u"AGM on Friday"_s));
        QCOMPARE(refusal([&] { TemplateBook::rename(meeting, u" payment THANKS"_s); }), u"EXIST"_s);
        QCOMPARE(refusal([&] { TemplateBook::rename(meeting, u""_s); }), u"NAME"_s);
        QCOMPARE(names(), (QStringList{u"Meeting"_s, u"Payment thanks"_s}));
        // Its own name in another case is no clash; a quote is a name like any other.
        TemplateBook::rename(thanks, u"PAYMENT THANKS"_s);
        TemplateBook::rename(meeting, u"Members' meeting"_s);
        QCOMPARE(names(), (QStringList{u"Members' meeting"_s, u"PAYMENT THANKS"_s}));
        // Saving name and text is both or neither.
        QCOMPARE(refusal([&] { TemplateBook::save(meeting, u"payment thanks"_s, text(u"changed"_s)); }), u"EXIST"_s);
        QCOMPARE(TemplateBook::find(meeting)->text.bodies.first(), u"AGM on Friday"_s);
    }

    void templateTextIsKeptAsWrittenAndEveryWriteNeedsItsRow()
    {
        const TemplateText written{
            {u"Dear {FirstName|member},\r\nthe AGM is on Friday."_s, {}, u"R&D: 50% off + more"_s, QString(160, u'x')},
            true};
        const qint64 id = TemplateBook::add(u"AGM"_s, written);
        std::optional<MessageTemplate> found = TemplateBook::find(id);
        QVERIFY(found);
        QCOMPARE(found->text.bodies, written.bodies);
        QVERIFY(found->text.marketing);
        TemplateBook::setText(id, text(u"Short"_s));
        found = TemplateBook::find(id);
        QCOMPARE(found->text.bodies, (QStringList{u"Short"_s, {}, {}, {}}));
        QVERIFY(!found->text.marketing);
        // More than a composer's body holds is refused and changes nothing.
        QVERIFY_THROWS_EXCEPTION(AppError, TemplateBook::setText(id, text(QString(161, u'x'))));
        QCOMPARE(TemplateBook::find(id)->text.bodies.first(), u"Short"_s);
        QCOMPARE(
            Database::value(u"SELECT count(*) FROM Templates WHERE Created <> '' AND Changed >= Created"_s).toInt(), 1);

        TemplateBook::remove(id);
        QVERIFY(!TemplateBook::find(id));
        // A template deleted meanwhile: no write says it succeeded.
        QVERIFY_THROWS_EXCEPTION(AppError, TemplateBook::remove(id));
        QVERIFY_THROWS_EXCEPTION(AppError, TemplateBook::setText(id, text(u"again"_s)));
        QVERIFY_THROWS_EXCEPTION(AppError, TemplateBook::rename(id, u"again"_s));
    }

private:
    TestHome home;
};

QTEST_GUILESS_MAIN(tst_composeRules)
#include "tst_composeRules.moc"
