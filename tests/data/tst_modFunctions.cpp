#include "data/modFunctions.h"

#include <QRandomGenerator>
#include <QtTest>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

using namespace modFunctions;

class tst_modFunctions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void properCase_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("empty") << QString() << QString();
        const struct
        {
            const char *name, *text, *expected;
        } cases[] = {
            {"one letter", "a", "A"},
            {"blanks first", "  x", "  X"},
            {"town", "PORT ELIZABETH", "Port Elizabeth"},
            {"full stop", "st. john's wood", "St. John's Wood"},
            {"small words", "stratford upon avon and the sea", "Stratford Upon Avon and the Sea"},
            {"slash", "bed/breakfast", "Bed/Breakfast"},
            {"leading The", "THE END OF THE ROAD", "The End Of the Road"},
            {"To", "going to town", "Going to Town"},
            {"small word at the end", "this and", "This And"},
            {"after a full stop", "x.and y", "X.And Y"},
            {"same small word twice", "x a a y", "X a A Y"},
            {"tab is no blank", "one\ttwo", "One\ttwo"},
            {"beyond ASCII", "ÉCOLE ÜBER", "École Über"},
        };
        for (const auto &c : cases)
            QTest::newRow(c.name) << QString::fromUtf8(c.text) << QString::fromUtf8(c.expected);
    }

    void properCase()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(ProperCase(text), expected);
    }

    // The search goes on after the whole occurrence; an empty word is passed over.
    void lowerCaseWordsResumesAfterEachOccurrence()
    {
        QCOMPARE(LowerCaseWords(QStringLiteral("A THE THE THE B"), {QString(), QStringLiteral(" the ")}),
                 QStringLiteral("A the THE the B"));
    }

    void cleaning_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("stripped"); // StripLineBreaks
        QTest::addColumn<QString>("cleaned");  // CleanString
        const struct
        {
            const char *name, *text, *stripped, *cleaned;
        } cases[] = {
            {"blank before line break stays", "Accepted \r\n  ", "Accepted ", "Accepted "},
            {"tab inside, blanks at the end", "OK\tdone  ", "OKdone", "OKdone"},
            {"quoted name", "\"Smith\"  ", "\"Smith\"", "Smith"},
            {"blanks only", "    ", "", ""},
            {"tabs and line breaks only", "\t\r\n\t", "", ""},
            {"tab between letters", "A\tB", "AB", "AB"},
            {"leading and inner blanks, case", "  a  B ", "  a  B", "  a  B"},
        };
        for (const auto &c : cases)
            QTest::newRow(c.name) << QString::fromUtf8(c.text) << QString::fromUtf8(c.stripped)
                                  << QString::fromUtf8(c.cleaned);
        QTest::newRow("NUL") << QStringLiteral("a\0b") << QStringLiteral("a\0b") << "ab";
    }

    void cleaning()
    {
        QFETCH(QString, text);
        QFETCH(QString, stripped);
        QFETCH(QString, cleaned);
        QCOMPARE(StripLineBreaks(text), stripped);
        QCOMPARE(CleanString(text), cleaned);
        QCOMPARE(TrimBlanks(QStringLiteral(" \t") + text + QStringLiteral("\n ")),
                 QStringLiteral("\t") + text + QStringLiteral("\n"));
    }

    // Far beyond 32,767 characters, and in time linear in the length.
    void longTextsAreHandledWhole()
    {
        QString gateway;
        QString expected;
        for (int i = 0; i < 250000; ++i) {
            gateway += QStringLiteral("\"ab\" \r\n\t");
            expected += QStringLiteral("ab ");
        }
        gateway += QString(40000, QLatin1Char(' '));
        QCOMPARE(CleanString(gateway), expected);
        QCOMPARE(ProperCase(QStringLiteral("HILL AND DALE ").repeated(100000)),
                 QStringLiteral("Hill and Dale ").repeated(100000));
        QCOMPARE(LeadingNumber(QStringLiteral("4") + QString(32767, QLatin1Char(' ')) + QStringLiteral("2\r\n")), 42.0);
    }

    void leadingNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("expected");
        QTest::newRow("digits and line break") << "12345\r\n" << 12345.0;
        QTest::newRow("FALSE") << "FALSE: 3 credits short" << 0.0;
        QTest::newRow("empty") << "" << 0.0;
        QTest::newRow("blanks, tabs and line feeds anywhere") << "\n 1 2\t3" << 123.0;
        QTest::newRow("a carriage return ends the number") << "1\r2" << 1.0;
        QTest::newRow("a carriage return first is no number") << "\r\n12" << 0.0;
        QTest::newRow("E exponent") << "1E5" << 100000.0;
        QTest::newRow("D exponent") << "2d3" << 2000.0;
        QTest::newRow("negative exponent") << "1.5E-2" << 0.015;
        QTest::newRow("E without digits") << "1E+" << 1.0;
        QTest::newRow("leading point") << "-.5" << -0.5;
        QTest::newRow("sign alone") << "-" << 0.0;
        QTest::newRow("second point ends it") << "1.2.3" << 1.2;
        QTest::newRow("comma ends it") << "12,500" << 12.0;
        QTest::newRow("hex is no number") << "0x1A" << 0.0;
        QTest::newRow("overflow is the largest double") << "-1E400" << -DBL_MAX;
        QTest::newRow("underflow is 0") << "1E-400" << 0.0;
    }

    void leadingNumber()
    {
        QFETCH(QString, text);
        QFETCH(double, expected);
        const double value = LeadingNumber(text);
        QVERIFY2(value == expected, qPrintable(QString::number(value, 'g', 17)));
        QVERIFY(!std::signbit(value) || expected < 0);
    }

    void decimalText_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("negative zero") << -0.0 << "0";
        QTest::newRow("batch number") << 5000001.0 << "5000001";
        QTest::newRow("largest plain whole") << 999999999999999.0 << "999999999999999";
        QTest::newRow("fraction") << -123.25 << "-123.25";
        QTest::newRow("millionth stays plain") << 0.000001 << "0.000001";
        QTest::newRow("small with exponent") << -1.5e-7 << "-1.5E-07";
        QTest::newRow("large with exponent") << 1e20 << "1E+20";
        QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << "0";
        QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << "0";
    }

    void decimalText()
    {
        QFETCH(double, value);
        QFETCH(QString, expected);
        QCOMPARE(DecimalText(value), expected);
    }

    // Whatever DecimalText writes, LeadingNumber reads back to the same double.
    void decimalTextReadsBack()
    {
        QRandomGenerator random(20240611);
        for (int i = 0; i < 20000; ++i) {
            double value = 0;
            if (i % 2 == 0) {
                do {
                    const quint64 bits = random.generate64();
                    std::memcpy(&value, &bits, sizeof value);
                } while (!std::isfinite(value));
            } else {
                value = double(qint64(random.bounded(2000000000)) - 1000000000) / 100.0;
            }
            const QString text = DecimalText(value);
            QVERIFY2(LeadingNumber(text) == value || (value == 0 && text == QStringLiteral("0")), qPrintable(text));
        }
    }
};

QTEST_GUILESS_MAIN(tst_modFunctions)
#include "tst_modFunctions.moc"
