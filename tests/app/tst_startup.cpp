#include "GuiTestSupport.h"

#include "app/modMain.h"
#include "data/Database.h"
#include "settings/cRegistry.h"
#include "settings/frmSetup.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

void storeSetting(const QString &name, const QString &value)
{
    cRegistry registry;
    registry.setClassKey(cRegistry::HKEY_LOCAL_MACHINE);
    registry.setSectionKey(modMain::SettingsKey);
    registry.setValueType(cRegistry::REG_SZ);
    registry.setValueKey(name);
    registry.setValue(value);
}

QString defaultPath()
{
    return QDir(QString::fromLocal8Bit(qgetenv("XDG_DATA_HOME"))).filePath(QStringLiteral("Tellwave/Data/SMSData.db"));
}

void setAccount(const QString &username)
{
    Database::run(QStringLiteral("UPDATE Setup SET Username = ?, Password = ?"), {username, QStringLiteral(" secret ")});
    Database::close();
}

} // namespace

class tst_startup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void firstRunCreatesTheDefaultDatabaseWithoutAsking();
    void blankStoredPathCountsAsMissing();
    void storedPathIsUsedAndItsAccountRead();
    void missingConfiguredDatabaseIsCreatedOnlyWhenTheOperatorSaysYes();
    void unusableDatabaseIsReportedAndLeftAlone();
    void unusableDatabaseOffersTheSetupWindow_data();
    void unusableDatabaseOffersTheSetupWindow();
    void unreadableSettingsStopStartUp_data();
    void unreadableSettingsStopStartUp();
    void specialAccountSelectsTheAlternateHost_data();
    void specialAccountSelectsTheAlternateHost();
    void gatewayHostsComeFromTheSettingsStore();
};

void tst_startup::firstRunCreatesTheDefaultDatabaseWithoutAsking()
{
    TestHome home;
    ScriptedMessageBoxes boxes;
    QVERIFY(!QFile::exists(defaultPath()));
    QVERIFY(modMain::StartUp());
    QCOMPARE(boxes.count(), 0);
    QCOMPARE(modMain::DatabasePath, defaultPath());
    QCOMPARE(modMain::ConnectionString, QStringLiteral("Driver=QSQLITE;Database=") + defaultPath());
    QVERIFY(QFile::exists(defaultPath()));
    QCOMPARE(modMain::GatewayHost, QStringLiteral("127.0.0.1:8787"));
    QCOMPARE(modMain::GatewayUsername, QString());
    QVERIFY(modMain::HelpFile.isEmpty()); // no help page beside the test program: nothing happens
}

void tst_startup::blankStoredPathCountsAsMissing()
{
    TestHome home;
    ScriptedMessageBoxes boxes;
    storeSetting(QStringLiteral("Database"), QStringLiteral("    "));
    QVERIFY(modMain::StartUp());
    QCOMPARE(modMain::DatabasePath, defaultPath());
    QCOMPARE(boxes.count(), 0);
}

void tst_startup::storedPathIsUsedAndItsAccountRead()
{
    TestHome home;
    ScriptedMessageBoxes boxes;
    setAccount(QStringLiteral("  ann  "));
    storeSetting(QStringLiteral("Database"), QStringLiteral("  ") + home.databasePath() + QStringLiteral(" "));
    QVERIFY(modMain::StartUp());
    QCOMPARE(modMain::DatabasePath, home.databasePath());
    QCOMPARE(modMain::GatewayUsername, QStringLiteral("ann"));
    QCOMPARE(modMain::GatewayPassword, QStringLiteral("secret"));
    QCOMPARE(boxes.count(), 0);
    QVERIFY(!QFile::exists(defaultPath()));
}

void tst_startup::missingConfiguredDatabaseIsCreatedOnlyWhenTheOperatorSaysYes()
{
    TestHome home;
    const QString wanted = home.path() + QStringLiteral("/elsewhere/Office.db");
    storeSetting(QStringLiteral("Database"), wanted);
    {
        ScriptedMessageBoxes boxes;
        boxes.answer(QMessageBox::No);
        QVERIFY(!modMain::StartUp());
        QCOMPARE(boxes.count(), 1);
        QCOMPARE(boxes.last().title, QStringLiteral("DATABASE"));
        QCOMPARE(boxes.last().icon, QMessageBox::Question);
        QCOMPARE(boxes.last().buttons, QMessageBox::Yes | QMessageBox::No);
        QVERIFY(boxes.last().text.contains(wanted));
        QVERIFY(!QFile::exists(wanted));
        QVERIFY(!QFile::exists(defaultPath()));
    }
    {
        ScriptedMessageBoxes boxes;
        boxes.answer(QMessageBox::Yes);
        QVERIFY(modMain::StartUp());
        QCOMPARE(boxes.count(), 1);
        QVERIFY(QFile::exists(wanted));
        QCOMPARE(Database::value(QStringLiteral("SELECT count(*) FROM Setup")).toInt(), 1);
    }
}

void tst_startup::unusableDatabaseIsReportedAndLeftAlone()
{
    TestHome home;
    const QString broken = home.path() + QStringLiteral("/broken.db");
    const QByteArray content("This is a letter, not a database.\n");
    QFile file(broken);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();
    storeSetting(QStringLiteral("Database"), broken);

    ScriptedMessageBoxes boxes; // No to the setup window
    QVERIFY(!modMain::StartUp());
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.last().title, QStringLiteral("DATABASE"));
    QCOMPARE(boxes.last().icon, QMessageBox::Question);
    QCOMPARE(boxes.last().buttons, QMessageBox::Yes | QMessageBox::No);
    QVERIFY(boxes.last().text.contains(broken));
    QVERIFY2(boxes.last().text.contains(QStringLiteral("not a database")), qPrintable(boxes.last().text));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), content);
}

void tst_startup::unusableDatabaseOffersTheSetupWindow_data()
{
    QTest::addColumn<QString>("chosen"); // typed into the setup window's database box; "-" cancels it
    QTest::addColumn<bool>("started");
    QTest::addColumn<int>("questions");
    QTest::newRow("setup cancelled") << "-" << false << 1;
    QTest::newRow("a usable database") << "good.db" << true << 1;
    QTest::newRow("empty box: the default database") << "" << true << 1;
    QTest::newRow("another broken file, then No") << "broken2.db" << false << 2;
}

void tst_startup::unusableDatabaseOffersTheSetupWindow()
{
    QFETCH(QString, chosen);
    QFETCH(bool, started);
    QFETCH(int, questions);
    TestHome home;
    setAccount(QStringLiteral("ann"));
    QVERIFY(QFile::rename(home.databasePath(), home.path() + QStringLiteral("/good.db")));
    const QByteArray letter("Not a database.\n");
    for (const char *name : {"/broken.db", "/broken2.db"}) {
        QFile file(home.path() + QLatin1String(name));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(letter) == letter.size());
    }
    const QString broken = home.path() + QStringLiteral("/broken.db");
    const QString wanted = chosen.isEmpty() ? defaultPath() : home.path() + QLatin1Char('/') + chosen;
    storeSetting(QStringLiteral("Database"), broken);

    ScriptedMessageBoxes boxes;
    boxes.answer(QMessageBox::Yes);
    bool accountOffered = true;
    QTimer::singleShot(0, [&] {
        auto *setup = qobject_cast<frmSetup *>(QApplication::activeModalWidget());
        if (!setup)
            return;
        saveScreenshot(setup, QStringLiteral("frmSetup-startup"));
        accountOffered = setup->findChild<QLineEdit *>(QStringLiteral("txtUsername"))->isEnabled();
        if (chosen == QStringLiteral("-")) {
            setup->reject();
            return;
        }
        setup->findChild<QLineEdit *>(QStringLiteral("txtDatabase"))->setText(chosen.isEmpty() ? QString() : wanted);
        QTest::mouseClick(setup->findChild<QPushButton *>(QStringLiteral("cmdSave")), Qt::LeftButton);
    });
    QCOMPARE(modMain::StartUp(), started);
    QVERIFY(!accountOffered);
    QCOMPARE(boxes.count(), questions);
    QCOMPARE(boxes.titles(), QStringList(questions, QStringLiteral("DATABASE")));
    QVERIFY(boxes.last().text.contains(questions == 1 ? broken : wanted));
    if (started) {
        QCOMPARE(modMain::DatabasePath, wanted);
        QCOMPARE(modMain::GatewayUsername, chosen.isEmpty() ? QString() : QStringLiteral("ann"));
    }
    for (const char *name : {"/broken.db", "/broken2.db"}) {
        QFile file(home.path() + QLatin1String(name));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), letter);
    }
}

void tst_startup::unreadableSettingsStopStartUp_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("not JSON") << QByteArray("{ \"HKEY_LOCAL_MACHINE\": ");
    QTest::newRow("not a hive") << QByteArray("[1, 2, 3]");
    QTest::newRow("a root that is no key") << QByteArray("{ \"HKEY_LOCAL_MACHINE\": 7 }");
}

void tst_startup::unreadableSettingsStopStartUp()
{
    // The stored database path would read as missing, and the program would quietly start on the
    // default database instead of the operator's: it must stop and say why instead.
    QFETCH(QByteArray, content);
    TestHome home;
    QVERIFY(QDir().mkpath(QFileInfo(cRegistry::hivePath()).absolutePath()));
    QFile hive(cRegistry::hivePath());
    QVERIFY(hive.open(QIODevice::WriteOnly) && hive.write(content) == content.size());
    hive.close();

    ScriptedMessageBoxes boxes;
    QVERIFY(!modMain::StartUp());
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.last().icon, QMessageBox::Critical);
    QVERIFY2(boxes.last().text.contains(cRegistry::hivePath()), qPrintable(boxes.last().text));
    QVERIFY(!QFile::exists(modMain::DefaultDatabasePath()));
    QVERIFY(hive.open(QIODevice::ReadOnly));
    QCOMPARE(hive.readAll(), content);
}

void tst_startup::specialAccountSelectsTheAlternateHost_data()
{
    QTest::addColumn<QString>("username");
    QTest::addColumn<bool>("alternate");
    QTest::newRow("upper") << "CORVANE" << true;
    QTest::newRow("lower") << "corvane" << true;
    QTest::newRow("mixed with blanks") << "  CorVane " << true;
    QTest::newRow("contains it") << "CORVANE2" << false;
    QTest::newRow("blank inside") << "COR VANE" << false;
    QTest::newRow("other") << "demo" << false;
    QTest::newRow("empty") << "" << false;
}

void tst_startup::specialAccountSelectsTheAlternateHost()
{
    QFETCH(QString, username);
    QFETCH(bool, alternate);
    TestHome home;
    ScriptedMessageBoxes boxes;
    setAccount(username);
    storeSetting(QStringLiteral("Database"), home.databasePath());
    QVERIFY(modMain::StartUp());
    QCOMPARE(modMain::GatewayHost, alternate ? QStringLiteral("127.0.0.1:8788") : QStringLiteral("127.0.0.1:8787"));
}

void tst_startup::gatewayHostsComeFromTheSettingsStore()
{
    TestHome home;
    ScriptedMessageBoxes boxes;
    storeSetting(QStringLiteral("Database"), home.databasePath());
    storeSetting(QStringLiteral("GatewayHost"), QStringLiteral(" sms.example.co.za "));
    storeSetting(QStringLiteral("AlternateGatewayHost"), QStringLiteral("https://alt.example.co.za:8443"));
    QVERIFY(modMain::StartUp());
    QCOMPARE(modMain::GatewayHost, QStringLiteral("sms.example.co.za"));
    setAccount(QStringLiteral("Corvane"));
    QVERIFY(modMain::StartUp());
    QCOMPARE(modMain::GatewayHost, QStringLiteral("https://alt.example.co.za:8443"));
}

QTEST_MAIN(tst_startup)
#include "tst_startup.moc"
