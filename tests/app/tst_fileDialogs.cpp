#include "EveryWindow.h"
#include "FileBytes.h"
#include "WindowFixture.h"

#include "data/Clock.h"
#include "data/OperatorTime.h"
#include "settings/cRegistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace {

// A window with a file or folder dialog, as its opener makes it.
QDialog *make(const QString &window)
{
    for (const ProgramWindow &each : everyWindow())
        if (window == QLatin1String(each.name))
            return qobject_cast<QDialog *>(each.make());
    qFatal("no window %s", qPrintable(window));
}

} // namespace

class tst_fileDialogs : public QObject, public WindowFixture
{
    Q_OBJECT

private slots:

    void init()
    {
        start();
        // 22:30 on 6 December by the world's clock is already 7 December in the office (two hours ahead).
        CampaignClock::set([] { return QDateTime(QDate(2026, 12, 6), QTime(22, 30), Qt::UTC); });
        OperatorTime::setCurrent(QTimeZone(OperatorTime::DefaultZoneId));
        QVERIFY(QDir().mkpath(under(u"kept"_s)) && QDir().mkpath(under(u"other"_s)));
    }

    void cleanup()
    {
        finish();
        CampaignClock::set({});
        // The next case starts without settings, whatever this one did to them.
        const QString folder = QFileInfo(cRegistry::hivePath()).absolutePath();
        QVERIFY(QFileInfo(folder).isFile() ? QFile::remove(folder) : QDir(folder).removeRecursively());
    }

    // Each dialog opens in the folder last chosen (the home folder when none is kept or it is gone), a save with a name
    // of today's date there, and the folder chosen in it is where the next one opens. Kept settings that cannot be read
    // are said and open no dialog; a folder that cannot be kept is said, and the choice goes ahead.
    void everyDialogOpensInTheFolderLastChosen_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("chosen");    // a file in the folder "other"; empty: that folder
        QTest::addColumn<QString>("suggested"); // empty: none, the dialog opens at the folder
        // kept, none, gone (a folder no longer there), unreadable, unwritable; beside: kept, and Setup names a database
        QTest::addColumn<QString>("settings");
        const QString contacts = u"contacts-2026-12-07.csv"_s;
        QTest::newRow("importer's file") << u"frmImport"_s << u"cmdBrowse"_s << u"rejects.txt"_s << u""_s << u"kept"_s;
        QTest::newRow("customer file") << u"frmSelectGroup(import)"_s << u"Command1"_s << u"c.txt"_s << u""_s
                                       << u"kept"_s;
        QTest::newRow("contact export") << u"frmSelectGroup(export)"_s << u"Command1"_s << u"all.csv"_s << contacts
                                        << u"kept"_s;
        QTest::newRow("opt-out import") << u"frmOptOuts"_s << u"cmdImport"_s << u"stop.csv"_s << u""_s << u"kept"_s;
        QTest::newRow("opt-out export") << u"frmOptOuts"_s << u"cmdExport"_s << u"stop.csv"_s
                                        << u"opt-outs-2026-12-07.csv"_s << u"kept"_s;
        QTest::newRow("report export") << u"frmReports"_s << u"cmdExport"_s << u"december.csv"_s
                                       << u"report-2026-12-07.csv"_s << u"kept"_s;
        QTest::newRow("database folder") << u"frmSetup"_s << u"cmdBrowse"_s << u""_s << u""_s << u"kept"_s;
        QTest::newRow("database folder, beside the database")
            << u"frmSetup"_s << u"cmdBrowse"_s << u""_s << u""_s << u"beside"_s;
        for (const QString &settings : {u"none"_s, u"gone"_s, u"unreadable"_s, u"unwritable"_s})
            QTest::newRow(qPrintable(u"contact export, settings "_s + settings))
                << u"frmSelectGroup(export)"_s << u"Command1"_s << u"all.csv"_s << contacts << settings;
    }

    void everyDialogOpensInTheFolderLastChosen()
    {
        QFETCH(QString, window);
        QFETCH(QString, button);
        QFETCH(QString, chosen);
        QFETCH(QString, suggested);
        QFETCH(QString, settings);
        const QString hive = cRegistry::hivePath();
        if (settings == u"kept"_s || settings == u"gone"_s || settings == u"beside"_s)
            SetupStore::keepLastFileFolder(under(settings == u"gone"_s ? settings : u"kept"_s));
        if (settings == u"beside"_s) {
            QVERIFY(QDir().mkpath(under(u"db"_s)));
            Settings::store(Settings::Key::Database, under(u"db/SMSData.db"_s));
        } else if (settings == u"unreadable"_s) {
            QVERIFY(writeFile(hive, "{ not settings"));
        } else if (settings == u"unwritable"_s) {
            // A file where the folder should be: read as no settings; nothing can be written under a file.
            const QString folder = QFileInfo(hive).absolutePath();
            QVERIFY(QDir(folder).removeRecursively() && writeFile(folder, {}));
        }
        open(make(window));
        dialogs->choose(chosen.isEmpty() ? under(u"other"_s) : under(u"other/"_s + chosen));
        click(button.toLatin1().constData());

        if (settings == u"unreadable"_s) {
            QVERIFY(dialogs->asked().isEmpty());
            QCOMPARE(boxes->titles(), QStringList{u"ERROR"_s});
            QVERIFY2(boxes->last().text.contains(u"settings cannot be read"_s), qPrintable(boxes->last().text));
            return;
        }
        const QString folder = settings == u"kept"_s     ? under(u"kept"_s)
                               : settings == u"beside"_s ? under(u"db"_s)
                                                         : QDir::homePath();
        QCOMPARE(dialogs->asked().size(), 1);
        QCOMPARE(dialogs->asked()[0].directory, suggested.isEmpty() ? folder : folder + u'/' + suggested);
        if (settings == u"unwritable"_s) {
            QCOMPARE(boxes->titles(), (QStringList{u"ERROR"_s, u"INFO"_s})); // and the export went ahead
            QVERIFY2(boxes->shown()[0].text.contains(u"'LastFileFolder'"_s), qPrintable(boxes->shown()[0].text));
            return;
        }
        QCOMPARE(SetupStore::lastFileFolder(), under(u"other"_s));
        FileDialogs::openFileName(nullptr, u"NEXT"_s, {});
        QCOMPARE(dialogs->asked().last().directory, under(u"other"_s));
    }

    // A file that is there is replaced only when the operator says Yes to "EXIST"; No leaves it as it was.
    void everyExportAsksBeforeReplacingAFile_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<bool>("replace");
        for (const QString &window : {u"frmSelectGroup(export)"_s, u"frmOptOuts"_s, u"frmReports"_s}) {
            QTest::addRow("%s, No", qPrintable(window)) << window << false;
            QTest::addRow("%s, Yes", qPrintable(window)) << window << true;
        }
    }

    void everyExportAsksBeforeReplacingAFile()
    {
        QFETCH(QString, window);
        QFETCH(bool, replace);
        const QString old = home.file(u"other/old.csv"_s, "kept");
        open(make(window));
        dialogs->choose(old);
        boxes->answer(replace ? QMessageBox::Yes : QMessageBox::No);
        click(window == u"frmSelectGroup(export)"_s ? "Command1" : "cmdExport");

        QCOMPARE(boxes->titles().value(0), u"EXIST"_s);
        // An export of no contacts leaves no file at all.
        const QByteArray now = fileBytes(old);
        QVERIFY2(replace ? now != "kept" : now == "kept", now.constData());
    }

private:
    QString under(const QString &name) const { return home.path() + u'/' + name; }
};

QTEST_MAIN(tst_fileDialogs)
#include "tst_fileDialogs.moc"
