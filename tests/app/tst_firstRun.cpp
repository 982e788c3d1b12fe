#include "GuiTestSupport.h"
#include "OutboxRows.h"

#include "app/FirstRun.h"
#include "app/FirstRunHint.h"
#include "app/frmMain.h"
#include "app/modMain.h"
#include "settings/RunningSetup.h"
#include "ui/Pictures.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolBar>

#include <tuple>

using namespace Qt::StringLiterals;

class tst_firstRun : public QObject
{
    Q_OBJECT

private slots:

    void nextStep_data()
    {
        QTest::addColumn<QString>("username");
        QTest::addColumn<int>("rows");
        QTest::addColumn<FirstRun::Step>("step");
        QTest::newRow("nothing yet") << u""_s << 0 << FirstRun::Step::SetAccount;
        QTest::newRow("blanks are no account") << u"   "_s << 0 << FirstRun::Step::SetAccount;
        QTest::newRow("messages but no account") << u""_s << 3 << FirstRun::Step::SetAccount;
        QTest::newRow("account, empty outbox") << u"demo"_s << 0 << FirstRun::Step::QueueMessage;
        QTest::newRow("account and a message") << u"demo"_s << 1 << FirstRun::Step::None;
    }

    void nextStep()
    {
        QFETCH(QString, username);
        QFETCH(int, rows);
        QFETCH(FirstRun::Step, step);
        QCOMPARE(FirstRun::nextStep(username, rows), step);
        QCOMPARE(FirstRun::hintText(step).isEmpty(), step == FirstRun::Step::None);
    }

    void hintLeadsThroughSetupAndGoesOnceAMessageIsQueued()
    {
        TestHome home;
        home.freshDatabase();
        ScriptedMessageBoxes boxes;
        RunningSetup::useGatewayAccount(QString(), QString());
        frmMain window;
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        auto *hint = window.findChild<FirstRunHint *>(u"fraFirstRun"_s);
        QVERIFY(hint);
        QVERIFY(hint->isVisible());
        QCOMPARE(hint->button()->text(), u"&Open Setup..."_s);
        saveScreenshot(&window, u"main-first-run"_s);

        // The button opens Setup; the account saved there moves the hint on.
        const QString opened = modalOpenedBy([&] { hint->button()->click(); },
                                             [](QWidget *setup) {
                                                 setup->findChild<QLineEdit *>(u"txtUsername"_s)->setText(u"demo"_s);
                                                 setup->findChild<QLineEdit *>(u"txtPassword"_s)->setText(u"demo"_s);
                                                 setup->findChild<QPushButton *>(u"cmdSave"_s)->click();
                                             });
        QCOMPARE(opened, u"frmSetup"_s);
        QCOMPARE(RunningSetup::gatewayUsername(), u"demo"_s);
        QVERIFY(hint->isVisible());
        QCOMPARE(hint->step(), FirstRun::Step::QueueMessage);
        QCOMPARE(modalOpenedBy([&] { hint->button()->click(); }), u"frmSendToGroupNo"_s);

        OutboxRows::queue(u"0821234567"_s);
        window.refreshOutbox();
        QVERIFY(!hint->isVisible());
        RunningSetup::useGatewayAccount(QString(), RunningSetup::gatewayPassword());
    }

    void picturesFollowTheTheme()
    {
        TestHome home;
        home.freshDatabase();
        RunningSetup::useGatewayAccount(u"demo"_s, RunningSetup::gatewayPassword());
        OutboxRows::queue(u"0821234567"_s);
        const QPalette light = QApplication::palette();
        for (const auto &[name, palette, picture] :
             {std::tuple{u"light"_s, light, u":/images/toolbarback.png"_s},
              std::tuple{u"dark"_s, darkPalette(), u":/images/toolbarback-dark.png"_s}}) {
            QApplication::setPalette(palette);
            frmMain window;
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            QCOMPARE(Pictures::isDark(window.palette()), name == u"dark"_s);
            QVERIFY2(window.findChild<QToolBar *>(u"vbalCommandBar1"_s)->styleSheet().contains(picture),
                     qPrintable(name));
            saveScreenshot(&window, u"main-"_s + name);
        }
        QApplication::setPalette(light);
        RunningSetup::useGatewayAccount(QString(), RunningSetup::gatewayPassword());
    }

    void helpPageIsFoundInTheBuildTreeOrTheInstallation_data()
    {
        QTest::addColumn<QStringList>("pages");
        QTest::addColumn<QString>("found");
        QTest::newRow("build tree") << QStringList{u"bin/Help/Tellwave.html"_s} << u"bin/Help/Tellwave.html"_s;
        QTest::newRow("installed") << QStringList{u"share/tellwave/Tellwave.html"_s}
                                   << u"share/tellwave/Tellwave.html"_s;
        QTest::newRow("build tree first") << QStringList{u"bin/Help/Tellwave.html"_s, u"share/tellwave/Tellwave.html"_s}
                                          << u"bin/Help/Tellwave.html"_s;
        QTest::newRow("none") << QStringList{} << u""_s;
        QTest::newRow("a folder of that name") << QStringList{u"share/tellwave/Tellwave.html/"_s} << u""_s;
    }

    void helpPageIsFoundInTheBuildTreeOrTheInstallation()
    {
        QFETCH(QStringList, pages);
        QFETCH(QString, found);
        QTemporaryDir prefix;
        QDir root(prefix.path());
        QVERIFY(root.mkpath(u"bin"_s));
        for (const QString &page : pages) {
            if (page.endsWith(u'/')) {
                QVERIFY(root.mkpath(page));
                continue;
            }
            QVERIFY(root.mkpath(QFileInfo(root.filePath(page)).path()));
            QVERIFY(QFile(root.filePath(page)).open(QIODevice::WriteOnly));
        }
        QCOMPARE(modMain::FindHelpFile(root.filePath(u"bin"_s)), found.isEmpty() ? QString() : root.filePath(found));
    }
};

QTEST_MAIN(tst_firstRun)
#include "tst_firstRun.moc"
