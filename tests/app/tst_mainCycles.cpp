#include "AppScenes.h"

#include "data/Database.h"
#include "gateway/GatewayCycles.h"
#include "outbox/Outbox.h"
#include "sendreceive/frmSendMessages.h"
#include "settings/RunningSetup.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSqlError>
#include <QSqlQuery>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

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

QSet<qint64> postedSet(const GatewayProcess &gateway)
{
    const QList<qint64> keys = postedKeys(gateway);
    return QSet<qint64>(keys.begin(), keys.end());
}

// The keys of the rows in one of these states (OutboxRows::states; "answered": any batch number or "0").
QSet<qint64> keysIn(const QStringList &wanted)
{
    QSet<qint64> keys;
    const QList<QVariantMap> rows = OutboxRows::all();
    const QStringList states = OutboxRows::states();
    for (qsizetype i = 0; i < rows.size(); ++i)
        if (wanted.contains(states[i])
            || (wanted.contains(u"answered"_s) && states[i] != u"in flight"_s && states[i] != u"queued"_s
                && !states[i].isEmpty()))
            keys.insert(rows[i][u"SMSSendID"_s].toLongLong());
    return keys;
}

} // namespace

// The main window driving the real gateway through its command bar; the in-flight mark: a run killed part way
// and the rows it leaves in doubt, older files, the Send Messages window with several messages in flight.
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
        window.vbalCommandBar1_ButtonClick(u"SENDNOW:SENDRECEIVE"_s);
        QCOMPARE(boxes.count(), 0);
        QCOMPARE(labelText(&window, "lblCredits"), u"1000"_s);
        QCOMPARE(labelText(&window, "Panels_1"), u"Done. Ready ... 1 sent, 1 new reply"_s);
        QVERIFY(!window.findChild<QProgressBar *>(u"ProgressBar1"_s)->isVisible());
        QCOMPARE(OutboxRows::states(), QStringList{u"5000001"_s});
        QCOMPARE(outboxCell(window, row).data(Qt::BackgroundRole).value<QColor>(), QColor(251, 253, 187)); // sent
        const QueryListModel *inbox = window.inboxList();
        QCOMPARE(inbox->rowCount(), 1);
        QCOMPARE(inbox->value(0, u"PhoneNumber"_s).toString(), u"0821234567"_s);
        QCOMPARE(inbox->value(0, u"SMSSendID"_s).toLongLong(), row);
        saveScreenshot(&window, u"cycle-2-sent"_s);

        window.vbalCommandBar1_ButtonClick(u"sendnow:receivenow"_s);
        QCOMPARE(outboxCell(window, row).data(Qt::BackgroundRole).value<QColor>(), QColor(206, 251, 208)); // delivered
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

    // Forty messages queued, and a run with four in flight killed with SIGKILL as the twelfth goes out: the eight
    // before it were answered, the four after it were claimed ahead of posting. Every message the gateway received
    // is answered or in doubt, never queued, and a row in doubt shows so. The next Send Now posts none of the
    // messages the killed run posted or left in doubt; its report settles every one (sent, or never received and
    // queued again), and the run after posts those once.
    void killedRunLeavesRowsInDoubtAndTheNextRunsPostEachOnce()
    {
        GatewaySetup s;
        s.gateway.admin(u"/admin/latency?ms=150"_s);
        queueNumbered(u"08200000"_s, 40);
        Database::close();
        SendRun run(s.home.databasePath(), s.gateway.host(), 4);
        QVERIFY2(run.waitUntilPosting(12) && run.kill(), run.output().constData());
        QTest::qWait(300); // the gateway takes in what was written before the kill
        const QSet<qint64> received = postedSet(s.gateway), inFlight = keysIn({u"in flight"_s});
        QVERIFY(!inFlight.isEmpty());
        QVERIFY2(received.size() >= 11, qPrintable(OutboxRows::states().join(' ')));
        QVERIFY(!received.intersects(keysIn({u"queued"_s})));
        QVERIFY(inFlight.contains(received - keysIn({u"answered"_s})));

        ScriptedMessageBoxes boxes;
        frmMain window;
        window.resize(1000, 640);
        window.show();
        for (const qint64 key : inFlight) {
            const QModelIndex cell = outboxCell(window, key);
            QCOMPARE(cell.data(Qt::BackgroundRole).value<QColor>(), QColor(255, 222, 173));
            QCOMPARE(cell.data(Qt::ToolTipRole).toString(), Outbox::InFlightToolTip);
            QVERIFY(cell.data(Qt::FontRole).value<QFont>().italic());
        }
        auto *grid = window.findChild<QTableView *>(u"grdOutbox"_s);
        grid->scrollTo(outboxCell(window, *inFlight.begin()), QAbstractItemView::PositionAtCenter);
        saveScreenshot(&window, u"frmMain-inflight"_s);

        QVERIFY(window.cycles().SendNow());
        QCOMPARE(boxes.count(), 0);
        const QSet<qint64> second = postedSet(s.gateway);
        QVERIFY(!second.intersects(received));
        QVERIFY(!second.intersects(inFlight));
        const QSet<qint64> neverReached = inFlight - received;
        QCOMPARE(second.size() + received.size() + neverReached.size(), 40);
        // Nothing is left in doubt: the rows the gateway never saw wait in the queue.
        QCOMPARE(keysIn({u"in flight"_s}), QSet<qint64>());
        QCOMPARE(keysIn({u"queued"_s}), neverReached);
        QVERIFY(keysIn({u"answered"_s}).contains(received));

        QVERIFY(window.cycles().SendNow());
        const QList<qint64> third = postedKeys(s.gateway);
        QCOMPARE(QSet<qint64>(third.begin(), third.end()), neverReached);
        QCOMPARE(third.size(), neverReached.size());
        QCOMPARE(keysIn({u"queued"_s, u"in flight"_s}), QSet<qint64>());
    }

    // A file from before the in-flight mark is brought up to date: its rows read as before, none in
    // flight.
    void olderFilesReadAsNotInFlight_data()
    {
        QTest::addColumn<int>("version");
        QTest::newRow("no version mark") << 0;
        QTest::newRow("version 1") << 1;
    }
    void olderFilesReadAsNotInFlight()
    {
        SQLITE_FILE_ONLY("files made by an older program");
        QFETCH(int, version);
        TestHome home;
        const QString path = home.path() + u"/old.db"_s;
        {
            QSqlDatabase old = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"old"_s);
            old.setDatabaseName(path);
            QVERIFY(old.open());
            QSqlQuery query(old);
            for (const QString &sql :
                 {QStringLiteral("CREATE TABLE SMSSend (SMSSendID INTEGER PRIMARY KEY AUTOINCREMENT, ClientID INTEGER, "
                                 "Number TEXT, Message TEXT, SendDate DATE, SendTime TEXT, EventID TEXT, "
                                 "Send INTEGER NOT NULL DEFAULT 0, Delivered INTEGER NOT NULL DEFAULT 0, SentID TEXT)"),
                  u"CREATE TABLE Setup (Username TEXT, Password TEXT, LastHighestTrn NUMERIC NOT NULL DEFAULT 0)"_s,
                  u"INSERT INTO SMSSend (Number, Message) VALUES ('0821234567', 'queued')"_s,
                  u"INSERT INTO SMSSend (Number, Message, Send, EventID) VALUES ('0821234567', 'sent', 1, '5000001')"_s,
                  u"PRAGMA user_version = %1"_s.arg(version)})
                QVERIFY2(query.exec(sql), qPrintable(query.lastError().text()));
        }
        QSqlDatabase::removeDatabase(u"old"_s);
        Database::use(path);
        QCOMPARE(OutboxRows::states(), QStringList({"queued", "5000001"}));
        QCOMPARE(Database::value(u"PRAGMA user_version"_s).toInt(), Database::SchemaVersion);
        QCOMPARE(keysIn({u"queued"_s, u"answered"_s}).size(), 2);
    }

    // With four in flight the Send Messages window logs each message's sending line followed by its
    // own answer (the batch the gateway gave that message), and counts every message down.
    void sendMessagesWindowPairsEachMessageWithItsAnswer()
    {
        GatewaySetup s;
        s.gateway.admin(u"/admin/latency?ms=20"_s);
        RunningSetup::useGatewayConnections(4);
        queueNumbered(u"08300000"_s, 10);
        ScriptedMessageBoxes boxes;
        frmMain owner;
        frmSendMessages window(&owner);
        window.show();
        window.cmdSend_Click();
        QCOMPARE(boxes.count(), 0);

        QHash<QString, QString> batchOf;
        for (const QJsonValue &message : adminArray(s.gateway, u"/admin/messages"_s))
            batchOf.insert(message[u"number"_s].toString(), QString::number(qint64(message[u"batch"_s].toDouble())));
        QCOMPARE(batchOf.size(), 10);
        auto *log = window.findChild<QTableWidget *>(u"grdList"_s);
        QCOMPARE(log->rowCount(), 21); // each message's two lines, then the run's summary
        QCOMPARE(log->item(20, 0)->text().section(u" - "_s, 1), u"Ready ... 10 sent"_s);
        for (int row = 0; row < 20; row += 2) {
            const QString sending = log->item(row, 0)->text().section(u" - "_s, 1);
            const QString answer = log->item(row + 1, 0)->text().section(u" - "_s, 1);
            QVERIFY2(sending.startsWith(u"Sending SMS to "_s), qPrintable(sending));
            QCOMPARE(answer, u"SMS sent - BatchID: "_s + batchOf.take(sending.mid(15)));
        }
        QCOMPARE(labelText(&window, "lblLeft"), u"0 / 10"_s);
    }
};

QTEST_MAIN(tst_mainCycles)
#include "tst_mainCycles.moc"
