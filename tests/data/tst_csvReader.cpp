#include "data/CsvReader.h"

#include <QTest>

using namespace Qt::StringLiterals;

// Each row read as "line:cell|cell|..." or "line!error".
static QStringList readAll(CsvReader &reader)
{
    QStringList rows;
    CsvReader::Record record;
    while (reader.next(record)) {
        rows.append(record.error.isEmpty() ? u"%1:%2"_s.arg(record.line).arg(record.cells.join(u'|'))
                                           : u"%1!%2"_s.arg(record.line).arg(record.error));
    }
    return rows;
}

class tst_csvReader : public QObject
{
    Q_OBJECT

private slots:
    void reads_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("encoding");
        QTest::addColumn<QString>("delimiter");
        QTest::addColumn<QStringList>("heading");
        QTest::addColumn<QStringList>("rows");

        QTest::newRow("Excel: semicolons, Windows-1252, CRLF")
            << QByteArray("Name;Surname;Cell\r\nJos\xE9;M\xFCller;082 555 1234\r\n;;\r\n") << "Windows-1252"
            << ";" << QStringList{"Name", "Surname", "Cell"}
            << QStringList{u"2:Jos\u00E9|M\u00FCller|082 555 1234"_s, "3:||"};
        QTest::newRow("LibreOffice: line break inside quotes, doubled quote")
            << QByteArray("First,Address\n\"Ann\",\"1 \"\"Main\"\" Rd\nCape Town\"\nBob,x\n") << "UTF-8"
            << "," << QStringList{"First", "Address"} << QStringList{"2:Ann|1 \"Main\" Rd\nCape Town", "4:Bob|x"};
        QTest::newRow("byte order mark, tabs, no final line break")
            << QByteArray("\xEF\xBB\xBFGiven Name\tPhone 1 - Value\nZo\xC3\xAB\t+27 82 555 0001") << "UTF-8 with BOM"
            << "\t" << QStringList{"Given Name", "Phone 1 - Value"} << QStringList{u"2:Zo\u00EB|+27 82 555 0001"_s};
        QTest::newRow("no heading: the first row holds a number")
            << QByteArray("Ann,0825550001\nBob,0825550002\n") << "UTF-8"
            << "," << QStringList{} << QStringList{"1:Ann|0825550001", "2:Bob|0825550002"};
        QTest::newRow("no heading: the first row holds an e-mail address")
            << QByteArray("Ann,ann@example.test\n") << "UTF-8"
            << "," << QStringList{} << QStringList{"1:Ann|ann@example.test"};
        QTest::newRow("a comma inside quotes does not pick the delimiter")
            << QByteArray("\"Smith, J\";\"a,b\";x\r\n1;2;3\r\n") << "UTF-8"
            << ";" << QStringList{"Smith, J", "a,b", "x"} << QStringList{"2:1|2|3"};
        QTest::newRow("empty lines passed over, a line after a CR-only break")
            << QByteArray("A,B\r\n\r\n1,2\r3,\n") << "UTF-8"
            << "," << QStringList{"A", "B"} << QStringList{"3:1|2", "4:3|"};
        QTest::newRow("an unclosed quote is reported with its line")
            << QByteArray("Name,Cell\nAnn,0825550001\n\"Bob,0825550002\nCy,0825550003\n") << "UTF-8"
            << "," << QStringList{"Name", "Cell"}
            << QStringList{"2:Ann|0825550001", "3!A quote opened on line 3 is never closed."};
        QTest::newRow("text after a closing quote is kept") << QByteArray("\"ab\"c,d\n") << "UTF-8"
                                                            << "," << QStringList{"abc", "d"} << QStringList{};
        QTest::newRow("one column") << QByteArray("0825550001\n0825550002\n") << "UTF-8"
                                    << "," << QStringList{} << QStringList{"1:0825550001", "2:0825550002"};
    }

    void reads()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, encoding);
        QFETCH(QString, delimiter);
        QFETCH(QStringList, heading);
        QFETCH(QStringList, rows);
        CsvReader reader(bytes);
        QCOMPARE(TextFiles::nameOf(reader.encoding()), encoding);
        QCOMPARE(QString(reader.delimiter()), delimiter);
        QCOMPARE(reader.hasHeading(), !heading.isEmpty());
        QCOMPARE(reader.heading(), heading);
        QCOMPARE(readAll(reader), rows);
        reader.rewind();
        QCOMPARE(readAll(reader), rows);
    }

    void knownHeadingsAndTheOperatorsWord()
    {
        // "Cell" alone has no number in it but a digit-free heading row of
        // data would pass too; a known heading settles a row like "2024".
        const QByteArray bytes("Mobile,2024\n0825550001,x\n");
        CsvReader plain(bytes);
        QVERIFY(!plain.hasHeading());
        CsvReader known(bytes, [](const QString &cell) { return cell == u"Mobile"_s; });
        QVERIFY(known.hasHeading());
        QCOMPARE(readAll(known), QStringList{"2:0825550001|x"});

        known.setHasHeading(false);
        QCOMPARE(readAll(known), (QStringList{"1:Mobile|2024", "2:0825550001|x"}));
        known.setHasHeading(true);
        QCOMPARE(known.heading(), (QStringList{"Mobile", "2024"}));
        QCOMPARE(readAll(known), QStringList{"2:0825550001|x"});
    }
};

QTEST_GUILESS_MAIN(tst_csvReader)
#include "tst_csvReader.moc"
