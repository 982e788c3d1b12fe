#include "AppScenes.h"

#include "gateway/GatewayCycles.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

QColor rowColour(const QueryListModel *list, int row)
{
    return list->index(row, list->columnOf(u"Message"_s)).data(Qt::BackgroundRole).value<QColor>();
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

} // namespace

// The main window driving the real gateway through its command bar.
class tst_mainCycles : public QObject
{
    Q_OBJECT

private Q_SLOTS:

    void sendReceiveTakesAMessageFromQueuedToDeliveredAndBringsItsReply()
    {
        TestHome home;
        GatewayProcess gateway({u"--account"_s, u"demo:demo:1000"_s, u"--reply-share"_s, u"1"_s});
        QVERIFY2(gateway.isRunning(), qPrintable(gateway.output()));
        gateway.use();
        const qint64 row = OutboxRows::queue(u"+27 82 123 4567"_s, u"Your order is ready for collection."_s);

        ScriptedMessageBoxes boxes;
        frmMain window;
        window.resize(1100, 700);
        window.show();
        const QueryListModel *outbox = window.outboxList();
        window.vbalCommandBar1_ButtonClick(u"SENDNOW:SENDRECEIVE"_s);
        QCOMPARE(boxes.count(), 0);
        QCOMPARE(labelText(&window, "lblCredits"), u"1000"_s);
        QCOMPARE(labelText(&window, "Panels_1"), u"Done. Ready ... 1 sent, 1 new reply"_s);
        QVERIFY(!window.findChild<QProgressBar *>(u"ProgressBar1"_s)->isVisible());
        QCOMPARE(OutboxRows::states(), QStringList{u"5000001"_s});
        QCOMPARE(rowColour(outbox, 0), QColor(251, 253, 187)); // sent
        const QueryListModel *inbox = window.inboxList();
        QCOMPARE(inbox->rowCount(), 1);
        QCOMPARE(inbox->value(0, u"PhoneNumber"_s).toString(), u"0821234567"_s);
        QCOMPARE(inbox->value(0, u"SMSSendID"_s).toLongLong(), row);
        saveScreenshot(&window, u"cycle-2-sent"_s);

        window.vbalCommandBar1_ButtonClick(u"sendnow:receivenow"_s);
        QCOMPARE(rowColour(outbox, 0), QColor(206, 251, 208)); // delivered
        QCOMPARE(deliveries(), QStringList{u"delivered/1"_s});
        QCOMPARE(inbox->rowCount(), 1); // the same reply is not stored twice
        QCOMPARE(boxes.count(), 0);
        saveScreenshot(&window, u"cycle-3-delivered"_s);

        // Check Credits shows the balance left after the send, or an error box once the gateway is gone.
        auto *credits = window.findChild<QLabel *>(u"lblCredits"_s);
        QTest::mouseClick(window.findChild<QPushButton *>(u"cmdCheckCredits"_s), Qt::LeftButton);
        QCOMPARE(credits->text(), u"999"_s);
        QCOMPARE(boxes.count(), 0);
        gateway.stop();
        QTest::mouseClick(window.findChild<QPushButton *>(u"cmdCheckCredits"_s), Qt::LeftButton);
        QCOMPARE(boxes.titles(), QStringList{u"ERROR"_s});
        QCOMPARE(boxes.last().icon, QMessageBox::Critical);
        QCOMPARE(credits->text(), u"999"_s);
    }

    void cycleActionsAreDisabledWhileACycleRunsAndClosingWaits()
    {
        GatewaySetup s;
        queueNumbered(u"08200000"_s, 3);

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
            if (!window.findChild<QPushButton *>(u"cmdCheckCredits"_s)->isEnabled())
                seenWhileRunning << u"cmdCheckCredits"_s;
            QVERIFY(!window.cycles().SendNow()); // a second cycle cannot start
            window.close();
            closedWhileRunning = !window.isVisible();
        });
        window.vbalCommandBar1_ButtonClick(u"SENDNOW:SENDNOW"_s);
        QCOMPARE(seenWhileRunning,
                 QStringList({"SENDNOW:SENDRECEIVE", "SENDNOW:SENDNOW", "SENDNOW:RECEIVENOW", "cmdCheckCredits"}));
        QVERIFY(!closedWhileRunning);
        QVERIFY(!OutboxRows::states().contains(u"queued"_s));
        QVERIFY(window.commandButton(u"SENDNOW:SENDNOW"_s)->isEnabled());
        QTRY_VERIFY(!window.isVisible()); // the close asked for during the run happens after it
    }

    void statusPanelShowsTheLastStepWhileARequestHangs()
    {
        // Every request waits a second at the gateway; several steps are set within 100 ms of each other
        // just before a request. While it waits, the panel must show the step last set, not an earlier one.
        GatewaySetup s;
        s.gateway.admin(u"/admin/latency?ms=1000"_s);
        queueNumbered(u"08211111"_s, 2);

        ScriptedMessageBoxes boxes;
        RecordingMain window;
        window.show();
        const auto *panel = window.findChild<QLabel *>(u"Panels_1"_s);
        QStringList stale;
        int checked = 0;
        QTimer sampler;
        QObject::connect(&sampler, &QTimer::timeout, &window, [&] {
            if (!window.sinceSet.isValid() || window.sinceSet.elapsed() < 300)
                return;
            ++checked;
            if (panel->text() != window.lastSet)
                stale << panel->text() + u" instead of "_s + window.lastSet;
        });
        sampler.start(50);
        window.vbalCommandBar1_ButtonClick(u"SENDNOW:SENDNOW"_s);
        sampler.stop();
        QVERIFY2(stale.isEmpty(), qPrintable(stale.join(u"; "_s)));
        QVERIFY(checked > 10);
        QVERIFY(!OutboxRows::states().contains(u"queued"_s));
        QCOMPARE(boxes.count(), 0);
    }
};

QTEST_MAIN(tst_mainCycles)
#include "tst_mainCycles.moc"
