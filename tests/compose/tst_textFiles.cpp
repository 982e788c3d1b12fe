#include "TestSupport.h"

#include "data/AppError.h"
#include "data/TextFiles.h"

#include <QDir>
#include <QFile>
#include <QTest>

class tst_textFiles : public QObject
{
    Q_OBJECT

private slots:
    void decodesValidUtf8();
    void fallsBackToWindows1252_data();
    void fallsBackToWindows1252();
    void splitsLinesAtEveryKindOfBreak_data();
    void splitsLinesAtEveryKindOfBreak();
    void unreadableFilesAreReported();

private:
    QString writeFile(const QByteArray &bytes)
    {
        static int serial = 0;
        const QString path = home.path() + QStringLiteral("/file-%1.txt").arg(++serial);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

    TestHome home;
};

void tst_textFiles::decodesValidUtf8()
{
    QCOMPARE(TextFiles::decode("plain"), QStringLiteral("plain"));
    QCOMPARE(TextFiles::decode("Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"),
             QStringLiteral("Caf\u00E9 \u20AC ") + QString::fromUtf8("\xF0\x9F\x98\x80"));
    QCOMPARE(TextFiles::decode("\xEF\xBB\xBFwith mark"), QStringLiteral("with mark"));
    QCOMPARE(TextFiles::decode(QByteArray()), QString());
}

void tst_textFiles::fallsBackToWindows1252_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("e acute") << QByteArray("Caf\xE9") << QStringLiteral("Caf\u00E9");
    QTest::newRow("euro and quotes") << QByteArray("\x80 \x93x\x94 \x85")
                                     << QStringLiteral("\u20AC \u201Cx\u201D \u2026");
    QTest::newRow("undefined bytes keep their value") << QByteArray("a\x81z\x9D") << QStringLiteral("a\u0081z\u009D");
    QTest::newRow("overlong slash") << QByteArray("\xC0\xAF") << QStringLiteral("\u00C0\u00AF");
    QTest::newRow("encoded surrogate") << QByteArray("\xED\xA0\x80") << QStringLiteral("\u00ED\u00A0\u20AC");
    QTest::newRow("sequence cut off at the end") << QByteArray("ok\xE2\x82") << QStringLiteral("ok\u00E2\u201A");
    QTest::newRow("above U+10FFFF") << QByteArray("\xF4\x90\x80\x80") << QStringLiteral("\u00F4\u0090\u20AC\u20AC");
    QTest::newRow("mark with a Windows byte after it")
        << QByteArray("\xEF\xBB\xBF\xE9") << QStringLiteral("\u00EF\u00BB\u00BF\u00E9");
}

void tst_textFiles::fallsBackToWindows1252()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(TextFiles::decode(bytes), text);
}

void tst_textFiles::splitsLinesAtEveryKindOfBreak_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("empty file") << QByteArray() << QStringList();
    QTest::newRow("crlf") << QByteArray("a\r\nb\r\n") << QStringList{"a", "b"};
    QTest::newRow("no final break") << QByteArray("a\nb") << QStringList{"a", "b"};
    QTest::newRow("mixed") << QByteArray("a\rb\nc\r\nd") << QStringList{"a", "b", "c", "d"};
    QTest::newRow("blank lines kept") << QByteArray("a\r\n\r\n  \r\nb\n\n") << QStringList{"a", "", "  ", "b", ""};
    QTest::newRow("cr cr lf") << QByteArray("a\r\r\nb") << QStringList{"a", "", "b"};
    QTest::newRow("only a break") << QByteArray("\n") << QStringList{""};
}

void tst_textFiles::splitsLinesAtEveryKindOfBreak()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, lines);
    QCOMPARE(TextFiles::readLines(writeFile(bytes)), lines);
}

void tst_textFiles::unreadableFilesAreReported()
{
    const QString missing = home.path() + QStringLiteral("/not there.txt");
    try {
        TextFiles::readLines(missing);
        QFAIL("a missing file was read");
    } catch (const AppError &error) {
        QVERIFY2(error.description().contains(missing), qPrintable(error.text()));
    }

    const QString folder = home.path() + QStringLiteral("/a folder.txt");
    QVERIFY(QDir().mkpath(folder));
    QVERIFY_THROWS_EXCEPTION(AppError, TextFiles::readLines(folder));

    const QString locked = writeFile("secret");
    QFile::setPermissions(locked, QFileDevice::WriteOwner);
    if (QFile(locked).open(QIODevice::ReadOnly))
        QSKIP("running with privileges that read any file");
    try {
        TextFiles::readLines(locked);
        QFAIL("an unreadable file was read");
    } catch (const AppError &error) {
        QVERIFY2(error.description().contains(locked), qPrintable(error.text()));
    }
}

QTEST_GUILESS_MAIN(tst_textFiles)
#include "tst_textFiles.moc"
