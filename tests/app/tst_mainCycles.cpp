#include "GuiTestSupport.h"
#include "OutboxRows.h"

#include "app/frmMain.h"
#include "app/modMain.h"
#include "data/Database.h"
#include "gateway/GatewayCycles.h"
#include "ui/QueryListModel.h"

#include <QAction>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

QColor rowColour(const QueryListModel *list, int row)
{
    return list->index(row, list->columnOf(QStringLiteral("Message"))).data(Qt::BackgroundRole).value<QColor>();
}

} // namespace

// The main window driving the real gateway through its command bar.
class tst_mainCycles : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sendReceiveTakesAMessageFromQueuedToDeliveredAndBringsItsReply();
    void checkCreditsShowsTheBalanceOrAnError();
    void cycleActionsAreDisabledWhileACycleRunsAndClosingWaits();
    void statusPanelShowsTheLastStepWhileARequestHangs();
};

void tst_mainCycles::sendReceiveTakesAMessageFromQueuedToDeliveredAndBringsItsReply()
{
    TestHome home;
    GatewayProcess gateway({QStringLiteral("--account"), QStringLiteral("demo:demo:1000"),
                            QStringLiteral("--reply-share"), QStringLiteral("1")});
    QVERIFY2(gateway.isRunning(), qPrintable(gateway.output()));
    gateway.use();
    const qint64 row =
        OutboxRows::queue(QStringLiteral("+27 82 123 4567"), QStringLiteral("Your order is ready for collection."));

    ScriptedMessageBoxes boxes;
    frmMain window;
    window.resize(1100, 700);
    window.show();
    const QueryListModel *outbox = window.outboxList();
    window.vbalCommandBar1_ButtonClick(QStringLiteral("SENDNOW:SENDRECEIVE"));
    QCOMPARE(boxes.count(), 0);
    QCOMPARE(window.findChild<QLabel *>(QStringLiteral("lblCredits"))->text(), QStringLiteral("1000"));
    QCOMPARE(window.findChild<QLabel *>(QStringLiteral("Panels_1"))->text(), QStringLiteral("Done. Ready ..."));
    QVERIFY(!window.findChild<QProgressBar *>(QStringLiteral("ProgressBar1"))->isVisible());
    QCOMPARE(Database::value(QStringLiteral("SELECT EventID FROM SMSSend WHERE SMSSendID = ?"), {row}).toString(),
             QStringLiteral("5000001"));
    QCOMPARE(rowColour(outbox, 0), QColor(251, 253, 187)); // sent
    const QueryListModel *inbox = window.inboxList();
    QCOMPARE(inbox->rowCount(), 1);
    QCOMPARE(inbox->value(0, QStringLiteral("PhoneNumber")).toString(), QStringLiteral("0821234567"));
    QCOMPARE(inbox->value(0, QStringLiteral("SMSSendID")).toLongLong(), row);
    saveScreenshot(&window, QStringLiteral("cycle-2-sent"));

    window.vbalCommandBar1_ButtonClick(QStringLiteral("sendnow:receivenow"));
    QCOMPARE(rowColour(outbox, 0), QColor(206, 251, 208)); // delivered
    QCOMPARE(Database::value(QStringLiteral("SELECT SentID FROM SMSSend WHERE SMSSendID = ?"), {row}).toString(),
             QStringLiteral("1"));
    QCOMPARE(inbox->rowCount(), 1); // the same reply is not stored twice
    QCOMPARE(boxes.count(), 0);
    saveScreenshot(&window, QStringLiteral("cycle-3-delivered"));
}

void tst_mainCycles::checkCreditsShowsTheBalanceOrAnError()
{
    TestHome home;
    GatewayProcess gateway({QStringLiteral("--account"), QStringLiteral("demo:demo:250")});
    QVERIFY2(gateway.isRunning(), qPrintable(gateway.output()));
    gateway.use();
    ScriptedMessageBoxes boxes;
    frmMain window;
    window.show();
    auto *button = window.findChild<QPushButton *>(QStringLiteral("cmdCheckCredits"));
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(window.findChild<QLabel *>(QStringLiteral("lblCredits"))->text(), QStringLiteral("250"));
    QCOMPARE(boxes.count(), 0);

    gateway.stop();
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.last().title, QStringLiteral("ERROR"));
    QCOMPARE(boxes.last().icon, QMessageBox::Critical);
    QCOMPARE(window.findChild<QLabel *>(QStringLiteral("lblCredits"))->text(), QStringLiteral("250"));
}

void tst_mainCycles::cycleActionsAreDisabledWhileACycleRunsAndClosingWaits()
{
    TestHome home;
    GatewayProcess gateway({QStringLiteral("--account"), QStringLiteral("demo:demo:1000")});
    QVERIFY2(gateway.isRunning(), qPrintable(gateway.output()));
    gateway.use();
    for (int i = 0; i < 3; ++i)
        OutboxRows::queue(QStringLiteral("082000000%1").arg(i), QStringLiteral("Message %1").arg(i));

    ScriptedMessageBoxes boxes;
    frmMain window;
    window.show();
    QStringList seenWhileRunning;
    bool closedWhileRunning = true;
    // Fires while the send run lets the window process events between rows.
    QTimer::singleShot(0, &window, [&] {
        for (const char *key : {"SENDNOW:SENDRECEIVE", "SENDNOW:SENDNOW", "SENDNOW:RECEIVENOW"})
            if (!window.commandButton(QString::fromLatin1(key))->isEnabled())
                seenWhileRunning << QString::fromLatin1(key);
        if (!window.findChild<QPushButton *>(QStringLiteral("cmdCheckCredits"))->isEnabled())
            seenWhileRunning << QStringLiteral("cmdCheckCredits");
        QVERIFY(!window.cycles().SendNow()); // a second cycle cannot start
        window.close();
        closedWhileRunning = !window.isVisible();
    });
    window.vbalCommandBar1_ButtonClick(QStringLiteral("SENDNOW:SENDNOW"));
    QCOMPARE(seenWhileRunning,
             QStringList({"SENDNOW:SENDRECEIVE", "SENDNOW:SENDNOW", "SENDNOW:RECEIVENOW", "cmdCheckCredits"}));
    QVERIFY(!closedWhileRunning);
    QCOMPARE(Database::value(QStringLiteral("SELECT count(*) FROM SMSSend WHERE Send = 0")).toInt(), 0);
    QVERIFY(window.commandButton(QStringLiteral("SENDNOW:SENDNOW"))->isEnabled());
    QTRY_VERIFY(!window.isVisible()); // the close asked for during the run happens after it
}

// Notes when the cycle set its last status text.
class RecordingMain : public frmMain
{
public:
    void setStatus(const QString &text) override
    {
        lastSet = text;
        sinceSet.start();
        frmMain::setStatus(text);
    }
    QString lastSet;
    QElapsedTimer sinceSet;
};

void tst_mainCycles::statusPanelShowsTheLastStepWhileARequestHangs()
{
    // Every request waits a second at the gateway; several steps are set within 100 ms of each other
    // just before a request. While it waits, the panel must show the step last set, not an earlier one.
    TestHome home;
    GatewayProcess gateway({QStringLiteral("--account"), QStringLiteral("demo:demo:1000")});
    QVERIFY2(gateway.isRunning(), qPrintable(gateway.output()));
    gateway.use();
    gateway.admin(QStringLiteral("/admin/latency?ms=1000"));
    OutboxRows::queue(QStringLiteral("0821111111"), QStringLiteral("One"));
    OutboxRows::queue(QStringLiteral("0822222222"), QStringLiteral("Two"));

    ScriptedMessageBoxes boxes;
    RecordingMain window;
    window.show();
    const auto *panel = window.findChild<QLabel *>(QStringLiteral("Panels_1"));
    QStringList stale;
    int checked = 0;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, &window, [&] {
        if (!window.sinceSet.isValid() || window.sinceSet.elapsed() < 300)
            return;
        ++checked;
        if (panel->text() != window.lastSet)
            stale << panel->text() + QStringLiteral(" instead of ") + window.lastSet;
    });
    sampler.start(50);
    window.vbalCommandBar1_ButtonClick(QStringLiteral("SENDNOW:SENDNOW"));
    sampler.stop();
    QVERIFY2(stale.isEmpty(), qPrintable(stale.join(QStringLiteral("; "))));
    QVERIFY(checked > 10);
    QCOMPARE(Database::value(QStringLiteral("SELECT count(*) FROM SMSSend WHERE Send = 0")).toInt(), 0);
    QCOMPARE(boxes.count(), 0);
}

QTEST_MAIN(tst_mainCycles)
#include "tst_mainCycles.moc"
