#include "data/Database.h"
#include "data/modFunctions.h"

#include "TestSupport.h"

#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QtTest>

#include <cfloat>
#include <cstring>
#include <cmath>
#include <limits>

using namespace modFunctions;

// Doubles compared exactly (QCOMPARE on doubles is fuzzy).
#define COMPARE_EXACT(actual, expected)                                                                   \
    QVERIFY2((actual) == (expected),                                                                     \
             qPrintable(QStringLiteral("%1 instead of %2").arg(actual, 0, 'g', 17).arg(expected, 0, 'g', 17)))

static void initDataResource()
{
    Q_INIT_RESOURCE(data);
}

class tst_modFunctions : public QObject
{
    Q_OBJECT

private slots:
    void properCase_data();
    void properCase();
    void lowerCaseWords_data();
    void lowerCaseWords();
    void cleaning_data();
    void cleaning();
    void longTexts();
    void leadingNumber_data();
    void leadingNumber();
    void leadingNumberOutOfRange_data();
    void leadingNumberOutOfRange();
    void decimalText_data();
    void decimalText();
    void decimalTextReadsBack();
    void trimBlanks_data();
    void trimBlanks();
    void postalCodes();
};

void tst_modFunctions::properCase_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("one letter") << QStringLiteral("a") << QStringLiteral("A");
    QTest::newRow("blanks first") << QStringLiteral("  x") << QStringLiteral("  X");
    QTest::newRow("upper case town") << QStringLiteral("PORT ELIZABETH") << QStringLiteral("Port Elizabeth");
    QTest::newRow("full stop, apostrophe") << QStringLiteral("st. john's wood") << QStringLiteral("St. John's Wood");
    QTest::newRow("small words inside")
        << QStringLiteral("stratford upon avon and the sea") << QStringLiteral("Stratford Upon Avon and the Sea");
    QTest::newRow("slash") << QStringLiteral("bed/breakfast") << QStringLiteral("Bed/Breakfast");
    QTest::newRow("leading The keeps its capital")
        << QStringLiteral("THE END OF THE ROAD") << QStringLiteral("The End Of the Road");
    QTest::newRow("To in the list") << QStringLiteral("going to town") << QStringLiteral("Going to Town");
    QTest::newRow("or and a") << QStringLiteral("salt or pepper a dash") << QStringLiteral("Salt or Pepper a Dash");
    QTest::newRow("small word at the end") << QStringLiteral("this and") << QStringLiteral("This And");
    QTest::newRow("small word after full stop") << QStringLiteral("x.and y") << QStringLiteral("X.And Y");
    QTest::newRow("small word after slash") << QStringLiteral("x/the y") << QStringLiteral("X/The Y");
    QTest::newRow("same small word twice") << QStringLiteral("x a a y") << QStringLiteral("X a A Y");
    QTest::newRow("tab is no blank") << QStringLiteral("one\ttwo and\tthree") << QStringLiteral("One\ttwo And\tthree");
    QTest::newRow("line break is no blank") << QStringLiteral("one\ntwo") << QStringLiteral("One\ntwo");
    QTest::newRow("hyphen is no break") << QStringLiteral("graaff-reinet") << QStringLiteral("Graaff-reinet");
    QTest::newRow("letters beyond ASCII") << QStringLiteral("ÉCOLE ÜBER ÅLAND") << QStringLiteral("École Über Åland");
    QTest::newRow("one character each") << QStringLiteral("ßa ßb") << QStringLiteral("ßa ßb");
    QTest::newRow("trailing blanks stay") << QStringLiteral("ab  ") << QStringLiteral("Ab  ");
}

void tst_modFunctions::properCase()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    const QString original = text;
    QCOMPARE(ProperCase(text), expected);
    QCOMPARE(text, original);
}

void tst_modFunctions::lowerCaseWords_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<QString>("expected");

    QTest::newRow("every occurrence") << QStringLiteral("A AND B AND C") << QStringList{QStringLiteral(" and ")}
                                      << QStringLiteral("A and B and C");
    QTest::newRow("search resumes after the whole occurrence")
        << QStringLiteral("x A A y") << QStringList{QStringLiteral(" a ")} << QStringLiteral("x a A y");
    QTest::newRow("every other of a run")
        << QStringLiteral("A THE THE THE B") << QStringList{QStringLiteral(" the ")}
        << QStringLiteral("A the THE the B");
    QTest::newRow("listed word in capitals is lowered")
        << QStringLiteral("Go To Town") << QStringList{QStringLiteral(" To ")} << QStringLiteral("Go to Town");
    QTest::newRow("several words in order")
        << QStringLiteral("One AND Two OR Three") << QStringList{QStringLiteral(" and "), QStringLiteral(" or ")}
        << QStringLiteral("One and Two or Three");
    QTest::newRow("no blanks needed by the routine itself")
        << QStringLiteral("ANDes and") << QStringList{QStringLiteral("and")} << QStringLiteral("andes and");
    QTest::newRow("not found") << QStringLiteral("Cape Town") << QStringList{QStringLiteral(" of ")}
                               << QStringLiteral("Cape Town");
    QTest::newRow("empty list") << QStringLiteral("A AND B") << QStringList{} << QStringLiteral("A AND B");
    QTest::newRow("empty word is passed over")
        << QStringLiteral("A AND B") << QStringList{QString(), QStringLiteral(" and ")} << QStringLiteral("A and B");
    QTest::newRow("empty text") << QString() << QStringList{QStringLiteral(" a ")} << QString();
    QTest::newRow("letters beyond ASCII") << QStringLiteral("Été ÉTÉ") << QStringList{QStringLiteral("été")}
                                          << QStringLiteral("été été");
}

void tst_modFunctions::lowerCaseWords()
{
    QFETCH(QString, text);
    QFETCH(QStringList, words);
    QFETCH(QString, expected);
    QCOMPARE(LowerCaseWords(text, words), expected);
}

void tst_modFunctions::cleaning_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("stripped"); // StripLineBreaks
    QTest::addColumn<QString>("cleaned");  // CleanString

    const QChar nul(u'\0');
    QTest::newRow("empty") << QString() << QString() << QString();
    QTest::newRow("blank before line break stays")
        << QStringLiteral("Accepted \r\n  ") << QStringLiteral("Accepted ") << QStringLiteral("Accepted ");
    QTest::newRow("tab inside, blanks at the end") << QStringLiteral("OK\tdone  ") << QStringLiteral("OKdone")
                                                   << QStringLiteral("OKdone");
    QTest::newRow("quoted name") << QStringLiteral("\"Smith\"  ") << QStringLiteral("\"Smith\"")
                                 << QStringLiteral("Smith");
    QTest::newRow("blanks only") << QStringLiteral("    ") << QString() << QString();
    QTest::newRow("tabs and line breaks only") << QStringLiteral("\t\r\n\n\t") << QString() << QString();
    QTest::newRow("tab between letters") << QStringLiteral("A\tB") << QStringLiteral("AB") << QStringLiteral("AB");
    QTest::newRow("NUL only dropped by CleanString")
        << (QStringLiteral("a") + nul + QStringLiteral("b")) << (QStringLiteral("a") + nul + QStringLiteral("b"))
        << QStringLiteral("ab");
    QTest::newRow("NUL at the end counts as a character")
        << (QStringLiteral("a ") + nul + QStringLiteral("  ")) << (QStringLiteral("a ") + nul)
        << QStringLiteral("a ");
    QTest::newRow("leading and inner blanks stay")
        << QStringLiteral("  a  b ") << QStringLiteral("  a  b") << QStringLiteral("  a  b");
    QTest::newRow("blank before a final tab stays")
        << QStringLiteral("a \t ") << QStringLiteral("a ") << QStringLiteral("a ");
    QTest::newRow("lines joined") << QStringLiteral("line one\r\nline two") << QStringLiteral("line oneline two")
                                  << QStringLiteral("line oneline two");
    QTest::newRow("case untouched") << QStringLiteral("MiXeD cAsE") << QStringLiteral("MiXeD cAsE")
                                    << QStringLiteral("MiXeD cAsE");
    QTest::newRow("single quote kept") << QStringLiteral("O'Brien") << QStringLiteral("O'Brien")
                                       << QStringLiteral("O'Brien");
    QTest::newRow("other controls kept") << QStringLiteral("a\vb\fc") << QStringLiteral("a\vb\fc")
                                         << QStringLiteral("a\vb\fc");
    QTest::newRow("no-break space is no blank")
        << QStringLiteral("a\u00A0") << QStringLiteral("a\u00A0") << QStringLiteral("a\u00A0");
}

void tst_modFunctions::cleaning()
{
    QFETCH(QString, text);
    QFETCH(QString, stripped);
    QFETCH(QString, cleaned);
    const QString original = text;
    QCOMPARE(StripLineBreaks(text), stripped);
    QCOMPARE(CleanString(text), cleaned);
    QCOMPARE(text, original);
}

// Texts far beyond 32,767 characters, checked against results built another way.
void tst_modFunctions::longTexts()
{
    const int repeats = 250000; // a million characters and more
    QString gatewayText;
    QString strippedExpected;
    QString cleanedExpected;
    for (int i = 0; i < repeats; ++i) {
        gatewayText += QStringLiteral("\"ab\" \r\n\t");
        strippedExpected += QStringLiteral("\"ab\" ");
        cleanedExpected += QStringLiteral("ab ");
    }
    gatewayText += QString(40000, QLatin1Char(' '));
    // The blank before the last line break is followed by one, so it stays.
    QCOMPARE(StripLineBreaks(gatewayText), strippedExpected);
    QCOMPARE(CleanString(gatewayText), cleanedExpected);

    QString name;
    QString properExpected;
    for (int i = 0; i < repeats; ++i) {
        name += QStringLiteral("HILL AND DALE ");
        properExpected += QStringLiteral("Hill and Dale ");
    }
    QCOMPARE(ProperCase(name), properExpected);

    const QString padded = QString(32767, QLatin1Char(' ')) + QStringLiteral("x") + QString(32767, QLatin1Char(' '));
    QCOMPARE(TrimBlanks(padded), QStringLiteral("x"));
    QCOMPARE(StripLineBreaks(padded), padded.left(32768));

    QString spread = QStringLiteral("4");
    spread += QString(32767, QLatin1Char(' '));
    spread += QStringLiteral("2\r\n");
    COMPARE_EXACT(LeadingNumber(spread), 42.0);

    // Many digits after the point: only the leading ones count.
    const QString longFraction = QStringLiteral("0.") + QString(400, QLatin1Char('0')) + QStringLiteral("125E401");
    COMPARE_EXACT(LeadingNumber(longFraction), 1.25);
}

void tst_modFunctions::leadingNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");

    QTest::newRow("digits and line break") << QStringLiteral("12345\r\n") << 12345.0;
    QTest::newRow("leading zero") << QStringLiteral("02") << 2.0;
    QTest::newRow("decimal") << QStringLiteral("2.5") << 2.5;
    QTest::newRow("negative") << QStringLiteral("-5") << -5.0;
    QTest::newRow("plus sign") << QStringLiteral("+7") << 7.0;
    QTest::newRow("FALSE") << QStringLiteral("FALSE") << 0.0;
    QTest::newRow("refusal with reason") << QStringLiteral("FALSE: 3 credits short") << 0.0;
    QTest::newRow("words") << QStringLiteral("Service unavailable") << 0.0;
    QTest::newRow("empty") << QString() << 0.0;
    QTest::newRow("blanks inside") << QStringLiteral("1 2 3") << 123.0;
    QTest::newRow("line break first") << QStringLiteral("\n42") << 42.0;
    QTest::newRow("CR LF and blanks first") << QStringLiteral("\r\n  7") << 7.0;
    QTest::newRow("tab inside") << QStringLiteral(" 1\t0 ") << 10.0;
    QTest::newRow("blank after sign") << QStringLiteral("- 5") << -5.0;
    QTest::newRow("E exponent") << QStringLiteral("1E5") << 100000.0;
    QTest::newRow("e exponent") << QStringLiteral("1e5") << 100000.0;
    QTest::newRow("D exponent") << QStringLiteral("2D3") << 2000.0;
    QTest::newRow("d exponent") << QStringLiteral("2d3") << 2000.0;
    QTest::newRow("negative exponent") << QStringLiteral("1E-2") << 0.01;
    QTest::newRow("exponent with plus") << QStringLiteral("1.5E+2") << 150.0;
    QTest::newRow("blank inside exponent") << QStringLiteral("1E 2") << 100.0;
    QTest::newRow("E without digits") << QStringLiteral("1E") << 1.0;
    QTest::newRow("E and sign without digits") << QStringLiteral("1E+") << 1.0;
    QTest::newRow("second exponent ignored") << QStringLiteral("1e5e5") << 100000.0;
    QTest::newRow("point after digits, then exponent") << QStringLiteral("1.E2") << 100.0;
    QTest::newRow("leading point") << QStringLiteral(".5") << 0.5;
    QTest::newRow("negative leading point") << QStringLiteral("-.5") << -0.5;
    QTest::newRow("sign alone") << QStringLiteral("-") << 0.0;
    QTest::newRow("plus alone") << QStringLiteral("+") << 0.0;
    QTest::newRow("point alone") << QStringLiteral(".") << 0.0;
    QTest::newRow("two signs") << QStringLiteral("--5") << 0.0;
    QTest::newRow("second point ends it") << QStringLiteral("1.2.3") << 1.2;
    QTest::newRow("comma ends it") << QStringLiteral("12,500") << 12.0;
    QTest::newRow("letters end it") << QStringLiteral("3abc") << 3.0;
    QTest::newRow("minus after digits ends it") << QStringLiteral("5-3") << 5.0;
    QTest::newRow("exponent letter first") << QStringLiteral("E5") << 0.0;
    QTest::newRow("hex prefix") << QStringLiteral("0x1A") << 0.0;
    QTest::newRow("inf is a word") << QStringLiteral("inf") << 0.0;
    QTest::newRow("nan is a word") << QStringLiteral("NaN") << 0.0;
    QTest::newRow("only ASCII digits") << QStringLiteral("\u0661\u0662") << 0.0;
    QTest::newRow("zero with exponent") << QStringLiteral("0E999") << 0.0;
    QTest::newRow("largest double") << QStringLiteral("1.7976931348623157E308") << DBL_MAX;
    QTest::newRow("smallest subnormal") << QStringLiteral("4.9406564584124654E-324") << 4.9406564584124654E-324;
}

void tst_modFunctions::leadingNumber()
{
    QFETCH(QString, text);
    QFETCH(double, expected);
    const double value = LeadingNumber(text);
    COMPARE_EXACT(value, expected);
    QVERIFY(!std::signbit(value) || expected < 0);
}

// Too large reads as the largest double of its sign, too small as 0.
void tst_modFunctions::leadingNumberOutOfRange_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");

    QTest::newRow("overflow") << QStringLiteral("1E400") << DBL_MAX;
    QTest::newRow("negative overflow") << QStringLiteral("-1E400") << -DBL_MAX;
    QTest::newRow("overflow by D") << QStringLiteral("9D999") << DBL_MAX;
    QTest::newRow("overflow by digits") << QString(400, QLatin1Char('9')) << DBL_MAX;
    QTest::newRow("huge exponent") << QStringLiteral("1E99999999999999999999999") << DBL_MAX;
    QTest::newRow("just above the largest") << QStringLiteral("1.8E308") << DBL_MAX;
    QTest::newRow("underflow") << QStringLiteral("1E-400") << 0.0;
    QTest::newRow("negative underflow") << QStringLiteral("-1E-400") << 0.0;
    QTest::newRow("underflow by zeros") << (QStringLiteral("0.") + QString(400, QLatin1Char('0')) + QStringLiteral("1"))
                                        << 0.0;
    QTest::newRow("huge negative exponent") << QStringLiteral("5E-99999999999999999999999") << 0.0;
}

void tst_modFunctions::leadingNumberOutOfRange()
{
    QFETCH(QString, text);
    QFETCH(double, expected);
    const double value = LeadingNumber(text);
    QVERIFY(std::isfinite(value));
    COMPARE_EXACT(value, expected);
    QVERIFY(!std::signbit(value) || expected < 0);
}

void tst_modFunctions::decimalText_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("expected");

    QTest::newRow("whole") << 150.0 << QStringLiteral("150");
    QTest::newRow("negative whole") << -3.0 << QStringLiteral("-3");
    QTest::newRow("zero") << 0.0 << QStringLiteral("0");
    QTest::newRow("negative zero") << -0.0 << QStringLiteral("0");
    QTest::newRow("seven digits") << 5000001.0 << QStringLiteral("5000001");
    QTest::newRow("largest plain whole") << 999999999999999.0 << QStringLiteral("999999999999999");
    QTest::newRow("half") << 0.5 << QStringLiteral("0.5");
    QTest::newRow("thousandth") << 0.001 << QStringLiteral("0.001");
    QTest::newRow("quarter past") << 123.25 << QStringLiteral("123.25");
    QTest::newRow("negative fraction") << -3.25 << QStringLiteral("-3.25");
    QTest::newRow("tenth") << 0.1 << QStringLiteral("0.1");
    QTest::newRow("binary rounding shows") << (0.1 + 0.2) << QStringLiteral("0.30000000000000004");
    QTest::newRow("millionth stays plain") << 0.000001 << QStringLiteral("0.000001");
    QTest::newRow("small with exponent") << 1e-7 << QStringLiteral("1E-07");
    QTest::newRow("small with digits") << -1.5e-7 << QStringLiteral("-1.5E-07");
    QTest::newRow("large with exponent") << 1e20 << QStringLiteral("1E+20");
    QTest::newRow("1E+15") << 1e15 << QStringLiteral("1E+15");
    QTest::newRow("16 digits") << 1234567890123456.0 << QStringLiteral("1.234567890123456E+15");
    QTest::newRow("fraction near the limit") << 123456789012345.6 << QStringLiteral("123456789012345.6");
    QTest::newRow("three-digit exponent") << 1e100 << QStringLiteral("1E+100");
    QTest::newRow("largest double") << DBL_MAX << QStringLiteral("1.7976931348623157E+308");
    QTest::newRow("smallest subnormal") << std::numeric_limits<double>::denorm_min() << QStringLiteral("5E-324");
    QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN() << QStringLiteral("0");
    QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << QStringLiteral("0");
    QTest::newRow("negative infinity") << -std::numeric_limits<double>::infinity() << QStringLiteral("0");
}

void tst_modFunctions::decimalText()
{
    QFETCH(double, value);
    QFETCH(QString, expected);
    QCOMPARE(DecimalText(value), expected);
}

// Whatever DecimalText writes, LeadingNumber reads back to the same double.
void tst_modFunctions::decimalTextReadsBack()
{
    QRandomGenerator random(20240611);
    for (int i = 0; i < 20000; ++i) {
        double value = 0;
        switch (i % 4) {
        case 0: // any bit pattern
            do {
                const quint64 bits = random.generate64();
                std::memcpy(&value, &bits, sizeof value);
            } while (!std::isfinite(value));
            break;
        case 1: // amounts with cents
            value = double(qint64(random.bounded(2000000000)) - 1000000000) / 100.0;
            break;
        case 2: // whole numbers around the plain limit
            value = std::ldexp(random.generateDouble(), 50 + int(random.bounded(4)));
            value = std::trunc(value);
            break;
        default: // small magnitudes around the switch to exponents
            value = random.generateDouble() * std::pow(10.0, -1.0 * random.bounded(12));
            break;
        }
        const QString text = DecimalText(value);
        QVERIFY2(LeadingNumber(text) == value || (value == 0 && text == QStringLiteral("0")),
                 qPrintable(QStringLiteral("%1 read back as %2").arg(text).arg(LeadingNumber(text), 0, 'g', 17)));
        QVERIFY2(!text.contains(QLatin1Char('e')) && text.size() <= 25, qPrintable(text));
    }
}

void tst_modFunctions::trimBlanks_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    QTest::newRow("both ends") << QStringLiteral("  a b  ") << QStringLiteral("a b");
    QTest::newRow("tabs stay") << QStringLiteral("\ta\t") << QStringLiteral("\ta\t");
    QTest::newRow("line breaks stay") << QStringLiteral(" \n x \r\n ") << QStringLiteral("\n x \r\n");
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("blanks only") << QStringLiteral("   ") << QString();
    QTest::newRow("no-break space stays") << QStringLiteral("\u00A0a ") << QStringLiteral("\u00A0a");
    QTest::newRow("nothing to trim") << QStringLiteral("a") << QStringLiteral("a");
}

void tst_modFunctions::trimBlanks()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(TrimBlanks(text), expected);
}

// The postal code list compiled into the program: every line one well-formed
// row, and the rows land in a new database as written.
void tst_modFunctions::postalCodes()
{
    const QString resource = QStringLiteral(":/data/postalcodes.sql");
    if (!QFile::exists(resource))
        initDataResource();
    QFile file(resource);
    QVERIFY2(file.open(QIODevice::ReadOnly), "the postal code list is not in the program");
    const QString script = QString::fromUtf8(file.readAll());

    static const QRegularExpression row(QStringLiteral(
        "^INSERT INTO PostalCodes \\(Area, Town, BoxCode, StreetCode, AreaGroup\\) VALUES "
        "\\('((?:[^']|'')+)', '((?:[^']|'')+)', '(\\d{4})', '(\\d{4})', '([^']+)'\\);$"));
    const QSet<QString> provinces = {
        QStringLiteral("Eastern Cape"), QStringLiteral("Free State"), QStringLiteral("Gauteng"),
        QStringLiteral("KwaZulu-Natal"), QStringLiteral("Limpopo"), QStringLiteral("Mpumalanga"),
        QStringLiteral("North West"), QStringLiteral("Northern Cape"), QStringLiteral("Western Cape")};

    QSet<QString> seenProvinces;
    QSet<QString> places;
    QStringList written;
    int rows = 0;
    const QStringList lines = script.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        const QString &line = lines.at(i);
        if (line.isEmpty() || line.startsWith(QStringLiteral("-- ")))
            continue;
        const QRegularExpressionMatch match = row.match(line);
        QVERIFY2(match.hasMatch(), qPrintable(QStringLiteral("line %1: %2").arg(i + 1).arg(line)));
        const QString area = match.captured(1).replace(QStringLiteral("''"), QStringLiteral("'"));
        const QString town = match.captured(2).replace(QStringLiteral("''"), QStringLiteral("'"));
        QCOMPARE(TrimBlanks(area), area);
        QCOMPARE(TrimBlanks(town), town);
        QVERIFY2(provinces.contains(match.captured(5)), qPrintable(line));
        seenProvinces.insert(match.captured(5));
        const QString place = area + QLatin1Char('|') + town + QLatin1Char('|') + match.captured(5);
        QVERIFY2(!places.contains(place), qPrintable(QStringLiteral("twice: ") + line));
        places.insert(place);
        written << QStringList{area, town, match.captured(3), match.captured(4), match.captured(5)}.join(QLatin1Char('|'));
        ++rows;
    }
    QVERIFY2(rows >= 120, qPrintable(QString::number(rows)));
    QCOMPARE(seenProvinces, provinces);

    TestHome home;
    QVERIFY(home.isValid());
    QStringList stored;
    QSqlQuery query = Database::run(
        QStringLiteral("SELECT Area, Town, BoxCode, StreetCode, AreaGroup FROM PostalCodes ORDER BY ID"));
    while (query.next()) {
        QStringList fields;
        for (int column = 0; column < 5; ++column)
            fields << query.value(column).toString();
        stored << fields.join(QLatin1Char('|'));
    }
    QCOMPARE(stored, written);
}

QTEST_GUILESS_MAIN(tst_modFunctions)
#include "tst_modFunctions.moc"
