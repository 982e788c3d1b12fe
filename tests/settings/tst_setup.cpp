#include "FailingWrites.h"
#include "FileBytes.h"
#include "GuiTestSupport.h"
#include "QueryRows.h"

#include "data/Database.h"
#include "settings/RunningSetup.h"
#include "settings/Settings.h"
#include "settings/cRegistry.h"
#include "settings/frmSetup.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QStringList Boxes{u"txtUsername"_s, u"txtPassword"_s, u"txtDatabase"_s, u"txtGatewayHost"_s,
                        u"txtAlternateGatewayHost"_s};

QStringList stored()
{
    QStringList values = queryRows(u"SELECT Username, Password FROM Setup"_s);
    // Read past Settings, which refuses an unreadable file.
    cRegistry registry;
    registry.setClassKey(cRegistry::HKEY_LOCAL_MACHINE);
    registry.setSectionKey(Settings::SettingsKey);
    for (const Settings::Key key :
         {Settings::Key::Database, Settings::Key::GatewayHost, Settings::Key::AlternateGatewayHost}) {
        registry.setValueKey(Settings::name(key));
        values << registry.Value().toString();
    }
    return values;
}

} // namespace

class tst_setup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        home = std::make_unique<TestHome>();
        RunningSetup::useGatewayAccount(u"before"_s, RunningSetup::gatewayPassword());
        Database::run(u"UPDATE Setup SET Username = ' old ', Password = 'pw'"_s);
        Settings::store(Settings::Key::Database, u" /data/kept/SMSData.db"_s);
    }

    void cleanup()
    {
        window.reset();
        home.reset();
    }

    void saveStoresTrimmedValuesAndTheRunningAccount_data()
    {
        QTest::addColumn<bool>("setupRow");
        QTest::addColumn<QStringList>("typed"); // the five boxes
        QTest::newRow("blanks around everything")
            << true
            << QStringList{u" ann smith "_s, u" s3cret "_s, u"  /srv/SMSData.db "_s, u" sms.example.co.za "_s,
                           u" https://alt.example.co.za:8443"_s};
        QTest::newRow("empty database box") << true << QStringList{u"ann"_s, u"pw"_s, u"   "_s, u""_s, u""_s};
        QTest::newRow("no Setup row") << false << QStringList{u"ann"_s, u""_s, u""_s, u"10.0.0.5:80"_s, u""_s};
    }

    void saveStoresTrimmedValuesAndTheRunningAccount()
    {
        QFETCH(bool, setupRow);
        QFETCH(QStringList, typed);
        if (!setupRow)
            Database::run(u"DELETE FROM Setup"_s);
        ScriptedMessageBoxes boxes;
        open();
        QCOMPARE(shown(), (QStringList{setupRow ? u"old"_s : u""_s, setupRow ? u"pw"_s : u""_s,
                                       u"/data/kept/SMSData.db"_s, u""_s, u""_s}));
        type(typed);
        if (QTest::currentDataTag() == "blanks around everything"_L1) {
            saveScreenshot(window.get(), u"frmSetup"_s);
            window->resize(window->minimumSize());
            saveScreenshot(window.get(), u"frmSetup-smallest"_s);
        }
        QTest::mouseClick(button("cmdSave"), Qt::LeftButton);

        QCOMPARE(boxes.count(), 0);
        QCOMPARE(window->result(), int(QDialog::Accepted));
        QStringList trimmed;
        for (const QString &text : typed)
            trimmed << text.trimmed();
        QCOMPARE(stored(), QStringList{trimmed[0] + u"|"_s + trimmed[1]} + trimmed.mid(2));
        QCOMPARE(RunningSetup::gatewayUsername() + RunningSetup::gatewayPassword(), trimmed[0] + trimmed[1]);
        open(); // and shown so next time
        QCOMPARE(shown(), trimmed);
    }

    void browseTakesOnlyAFolderHoldingTheDatabase_data()
    {
        QTest::addColumn<QString>("answer"); // a folder under the test's home; "-" cancels
        QTest::addColumn<QString>("box");    // afterwards, under the home; "-" unchanged
        QTest::newRow("with the database") << u"with"_s << u"with/SMSData.db"_s;
        QTest::newRow("ending in a separator") << u"with/"_s << u"with/SMSData.db"_s;
        QTest::newRow("without it") << u"without"_s << u"-"_s;
        QTest::newRow("cancelled") << u"-"_s << u"-"_s;
    }

    void browseTakesOnlyAFolderHoldingTheDatabase()
    {
        SQLITE_FILE_ONLY("the folder chosen must hold a database file");
        QFETCH(QString, answer);
        QFETCH(QString, box);
        const QString under = home->path() + u"/"_s;
        QVERIFY(QDir().mkpath(under + u"with"_s) && QDir().mkpath(under + u"without/SMSData.db.d"_s));
        QVERIFY(QFile::copy(home->databasePath(), under + u"with/SMSData.db"_s));
        ScriptedMessageBoxes boxes;
        ScriptedFileDialogs dialogs;
        dialogs.choose(answer == u"-"_s ? QString() : under + answer);
        open();
        QTest::mouseClick(button("cmdBrowse"), Qt::LeftButton);

        QCOMPARE(dialogs.asked().size(), 1);
        // The box names a folder that is not there, and no folder was chosen before: the home folder.
        QCOMPARE(dialogs.asked()[0].title + dialogs.asked()[0].directory,
                 u"SELECT DATABASE FOLDER"_s + QDir::homePath());
        QCOMPARE(this->box(u"txtDatabase"_s)->text(), box == u"-"_s ? u"/data/kept/SMSData.db"_s : under + box);
        QCOMPARE(boxes.titles(), answer == u"without"_s ? QStringList{u"NOT FOUND"_s} : QStringList());
        for (const MessageBoxes::Shown &shown : boxes.shown())
            QCOMPARE(shown.text, u"The Tellwave database can not be found in this location. Please choose another."_s);
    }

    void passwordMaskedUnlessShown_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("show");
        QTest::newRow("gateway") << u"txtPassword"_s << u"chkShowPassword"_s;
        QTest::newRow("database") << u"txtDatabasePassword"_s << u"chkShowDatabasePassword"_s;
    }

    // A password shows as dots until its Show box is ticked, and again once it is cleared. Neither has one to show
    // when its box is off: a start-up without the account, a database file instead of a server.
    void passwordMaskedUnlessShown()
    {
        QFETCH(QString, password);
        QFETCH(QString, show);
        open();
        box(u"txtDatabase"_s)->setText(u"postgresql://ann@dbhost/tellwave"_s);
        box(password)->setText(u"pw"_s);
        auto *tick = window->findChild<QCheckBox *>(show);
        saveScreenshot(window.get(), u"frmSetup-password"_s);
        for (const bool shown : {false, true, false}) {
            QCOMPARE(box(password)->echoMode(), shown ? QLineEdit::Normal : QLineEdit::Password);
            QCOMPARE(box(password)->displayText() == u"pw"_s, shown);
            QTest::mouseClick(tick, Qt::LeftButton, {}, QPoint(tick->height() / 2, tick->height() / 2));
        }
        if (show == u"chkShowPassword"_s)
            window = std::make_unique<frmSetup>(nullptr, false);
        else
            box(u"txtDatabase"_s)->setText(u"/srv/SMSData.db"_s);
        QVERIFY(!window->findChild<QCheckBox *>(show)->isEnabled());
    }

    void failedSaveKeepsTheWindowOpenWithWhatWasTyped_data()
    {
        QTest::addColumn<QString>("refusal");
        QTest::addColumn<bool>("whenOpened"); // otherwise when saving
        QTest::newRow("settings file unreadable") << u"garbage"_s << false;
        QTest::newRow("settings file cannot be written") << u"no folder"_s << false;
        QTest::newRow("database refuses") << u"trigger"_s << false;
        QTest::newRow("unreadable when opened: only Cancel") << u"garbage"_s << true;
        QTest::newRow("path stored as a number when opened") << u"number"_s << true;
    }

    void failedSaveKeepsTheWindowOpenWithWhatWasTyped()
    {
        QFETCH(QString, refusal);
        QFETCH(bool, whenOpened);
        const QStringList typed{u"ann"_s, u"new"_s, u"/data/new/SMSData.db"_s, u"sms.example.co.za"_s, u"alt"_s};
        auto refuse = [&] {
            if (refusal == u"garbage"_s) {
                QVERIFY(writeFile(cRegistry::hivePath(), "{ not settings"));
            } else if (refusal == u"number"_s) {
                cRegistry number;
                number.setClassKey(cRegistry::HKEY_LOCAL_MACHINE);
                number.setSectionKey(Settings::SettingsKey);
                number.setValueKey(Settings::name(Settings::Key::Database));
                number.setValueType(cRegistry::REG_DWORD);
                number.setValue(7);
            } else if (refusal == u"no folder"_s) {
                // The file reads as absent; a write cannot create it under a file.
                const QString folder = QFileInfo(cRegistry::hivePath()).absolutePath();
                QFile blocker(folder);
                QVERIFY(QDir(folder).removeRecursively() && blocker.open(QIODevice::WriteOnly));
            } else {
                FailingWrites::refuse(u"refuse"_s, u"UPDATE"_s, u"Setup"_s);
            }
        };
        ScriptedMessageBoxes boxes;
        if (whenOpened)
            refuse();
        const QByteArray hive = fileBytes(cRegistry::hivePath());
        open();
        if (!whenOpened) {
            type(typed);
            refuse();
            const QStringList before = stored();
            QTest::mouseClick(button("cmdSave"), Qt::LeftButton);
            QVERIFY(window->isVisible());
            QCOMPARE(shown(), typed);
            QCOMPARE(stored(), before);
        }
        QCOMPARE(boxes.titles(), QStringList{u"ERROR"_s});
        QCOMPARE(boxes.last().icon, QMessageBox::Critical);
        QVERIFY2(boxes.last().text.contains(u" - "_s), qPrintable(boxes.last().text));
        QCOMPARE(button("cmdSave")->isEnabled(), !whenOpened);
        QCOMPARE(RunningSetup::gatewayUsername(), u"before"_s);
        if (refusal == u"garbage"_s || whenOpened)
            QCOMPARE(fileBytes(cRegistry::hivePath()), whenOpened ? hive : QByteArray("{ not settings"));
    }

    // The server password is kept only beside a server address; the send run's
    // two settings are shown, stored and in use from the next run; a stored
    // value out of range is an error, not a default.
    void serverPasswordAndSendRunSettings()
    {
        ScriptedMessageBoxes boxes;
        open();
        auto *connections = window->findChild<QSpinBox *>(u"spnGatewayConnections"_s);
        auto *perSecond = window->findChild<QSpinBox *>(u"spnGatewayMessagesPerSecond"_s);
        QCOMPARE(connections->value(), Settings::entry(Settings::Key::GatewayConnections).fallback);
        QCOMPARE(perSecond->text(), u"no limit"_s);
        QVERIFY(!box(u"txtDatabasePassword"_s)->isEnabled());

        box(u"txtDatabase"_s)->setText(u" postgresql://ann@dbhost:5432/tellwave"_s);
        QVERIFY(box(u"txtDatabasePassword"_s)->isEnabled());
        const QString password = u" it's & #1; "_s;
        box(u"txtDatabasePassword"_s)->setText(password);
        connections->setValue(9);
        perSecond->setValue(25);
        saveScreenshot(window.get(), u"frmSetup-server"_s);
        QTest::mouseClick(button("cmdSave"), Qt::LeftButton);
        QCOMPARE(boxes.count(), 0);
        QCOMPARE(Settings::stored(Settings::Key::DatabasePassword), password.trimmed());
        QCOMPARE(Settings::value<Settings::Key::GatewayConnections>(), 9);
        QCOMPARE(Settings::value<Settings::Key::GatewayMessagesPerSecond>(), 25);
        QCOMPARE(RunningSetup::gatewayConnections(), 9);
        QCOMPARE(RunningSetup::gatewayMessagesPerSecond(), 25);
        QVERIFY2(!shown().join(u'|').contains(u"it's"_s), "the password is in no other box");

        open();
        QCOMPARE(box(u"txtDatabasePassword"_s)->text(), password.trimmed());
        box(u"txtDatabase"_s)->setText(u"/srv/SMSData.db"_s);
        QVERIFY(!box(u"txtDatabasePassword"_s)->isEnabled());
        QTest::mouseClick(button("cmdSave"), Qt::LeftButton);
        QCOMPARE(Settings::stored(Settings::Key::DatabasePassword), QString());

        Settings::store(Settings::Key::GatewayConnections, u"65"_s);
        open();
        QCOMPARE(boxes.titles(), QStringList{u"ERROR"_s});
        QVERIFY2(boxes.last().text.contains(Settings::name(Settings::Key::GatewayConnections)),
                 qPrintable(boxes.last().text));
        QVERIFY(!button("cmdSave")->isEnabled());
    }

private:
    void open()
    {
        window = std::make_unique<frmSetup>();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }
    QLineEdit *box(const QString &name) const { return window->findChild<QLineEdit *>(name); }
    QPushButton *button(const char *name) const { return window->findChild<QPushButton *>(QLatin1String(name)); }
    QStringList shown() const
    {
        QStringList texts;
        for (const QString &name : Boxes)
            texts << box(name)->text();
        return texts;
    }
    void type(const QStringList &texts)
    {
        for (qsizetype i = 0; i < Boxes.size(); ++i)
            box(Boxes[i])->setText(texts[i]);
    }

    std::unique_ptr<TestHome> home;
    std::unique_ptr<frmSetup> window;
};

QTEST_MAIN(tst_setup)
#include "tst_setup.moc"
