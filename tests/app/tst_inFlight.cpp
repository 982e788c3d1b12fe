#include "GuiTestSupport.h"
#include "OutboxRows.h"

#include "app/Outbox.h"
#include "app/frmMain.h"
#include "data/Database.h"
#include "data/ProcessSettings.h"
#include "gateway/GatewayCycles.h"
#include "sendreceive/frmSendMessages.h"
#include "ui/QueryListModel.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QSqlError>
#include <QSqlQuery>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QUrlQuery>

namespace {

QJsonArray adminArray(const GatewayProcess &gateway, const QString &command)
{
    return QJsonDocument::fromJson(gateway.admin(command)).array();
}

// The CustomerIDs of the messages the gateway received since the last look.
QSet<qint64> postedKeys(const GatewayProcess &gateway, QList<qint64> *inOrder = nullptr)
{
    QSet<qint64> keys;
    for (const QJsonValue &request : adminArray(gateway, QStringLiteral("/admin/requests"))) {
        const QString target = request[QStringLiteral("target")].toString();
        if (!target.contains(QStringLiteral("Type=SingleSMS&")))
            continue;
        const qint64 key = QUrlQuery(target.section(QLatin1Char('?'), 1)).queryItemValue(QStringLiteral("CustomerID")).toLongLong();
        keys.insert(key);
        if (inOrder)
            inOrder->append(key);
    }
    gateway.admin(QStringLiteral("/admin/clear-requests"));
    return keys;
}

QSet<qint64> keysWhere(const QString &condition)
{
    QSet<qint64> keys;
    QSqlQuery rows = Database::run(QStringLiteral("SELECT SMSSendID FROM SMSSend WHERE ") + condition);
    while (rows.next())
        keys.insert(rows.value(0).toLongLong());
    return keys;
}

int rowOf(const QueryListModel *list, qint64 id)
{
    for (int row = 0; row < list->rowCount(); ++row)
        if (list->value(row, QStringLiteral("SMSSendID")).toLongLong() == id)
            return row;
    return -1;
}

} // namespace

// The in-flight mark: a run killed part way, the rows it leaves in doubt, queueing one again; older
// files; the Send Messages window with several messages in flight.
class tst_inFlight : public QObject
{
    Q_OBJECT

private slots:
    // A run with four in flight killed with SIGKILL part way: every message the gateway received is
    // answered or in flight, never queued. The next run posts none of them again and leaves the rows
    // in flight as they are, shown in their own style. Queueing one again asks first; the next run
    // posts it once.
    void killedRunSendsNothingTwice()
    {
        TestHome home;
        GatewayProcess gateway({QStringLiteral("--account"), QStringLiteral("demo:demo:1000"),
                                QStringLiteral("--latency-ms"), QStringLiteral("150")});
        QVERIFY2(gateway.isRunning(), qPrintable(gateway.output()));
        gateway.use();
        for (int i = 0; i < 40; ++i)
            OutboxRows::queue(QStringLiteral("08200000%1").arg(i, 2, 10, QLatin1Char('0')));
        Database::close();

        QProcess run;
        run.start(QCoreApplication::applicationDirPath() + QStringLiteral("/sendrun_helper"),
                  {home.databasePath(), gateway.host(), QStringLiteral("4")});
        QVERIFY(run.waitForStarted());
        // Killed as the twelfth message goes out: the eight before it were answered, the four after
        // it are marked ahead of posting.
        QByteArray output;
        while (output.count("Sending SMS to") < 12 && run.state() == QProcess::Running && run.waitForReadyRead(10000))
            output += run.readAllStandardOutput();
        QVERIFY2(output.count("Sending SMS to") >= 12, output.constData());
        run.kill();
        QVERIFY(run.waitForFinished());
        QCOMPARE(run.exitStatus(), QProcess::CrashExit);
        QTest::qWait(300); // the gateway takes in what was written before the kill

        const QSet<qint64> received = postedKeys(gateway);
        const QSet<qint64> inFlight = keysWhere(QStringLiteral("InFlight <> 0"));
        QVERIFY(!inFlight.isEmpty());
        QVERIFY2(received.size() >= 11, qPrintable(OutboxRows::states().join(' ')));
        QVERIFY(!received.intersects(keysWhere(QStringLiteral("Send = 0"))));
        QVERIFY(inFlight.contains(received - keysWhere(QStringLiteral("EventID IS NOT NULL AND InFlight = 0"))));

        ScriptedMessageBoxes boxes;
        frmMain window;
        window.resize(1000, 640);
        window.show();
        const QueryListModel *list = window.outboxList();
        auto messageCell = [list](qint64 key) {
            return list->index(rowOf(list, key), list->columnOf(QStringLiteral("Message")));
        };
        for (const qint64 key : inFlight) {
            QCOMPARE(messageCell(key).data(Qt::BackgroundRole).value<QColor>(), QColor(255, 222, 173));
            QCOMPARE(messageCell(key).data(Qt::ToolTipRole).toString(), Outbox::InFlightToolTip);
            QVERIFY(messageCell(key).data(Qt::FontRole).value<QFont>().italic());
        }
        // Send Now also fetches the delivery report, which settles the rows the gateway took.
        QVERIFY(window.cycles().SendNow());
        QCOMPARE(boxes.count(), 0);
        const QSet<qint64> second = postedKeys(gateway);
        QVERIFY(!second.intersects(received));
        QVERIFY(!second.intersects(inFlight));
        QCOMPARE(second.size() + received.size() + (inFlight - received).size(), 40);
        // The report names every message the gateway took: only those it never saw stay in doubt.
        const QSet<qint64> inDoubt = inFlight - received;
        QCOMPARE(keysWhere(QStringLiteral("InFlight <> 0")), inDoubt);
        QVERIFY(keysWhere(QStringLiteral("EventID IS NOT NULL")).contains(received));
        QVERIFY(!inDoubt.isEmpty());
        const qint64 doubt = *std::min_element(inDoubt.begin(), inDoubt.end());
        const QModelIndex cell = messageCell(doubt);
        QCOMPARE(cell.data(Qt::BackgroundRole).value<QColor>(), QColor(255, 222, 173));
        auto *grid = window.findChild<QTableView *>(QStringLiteral("grdOutbox"));
        grid->scrollTo(cell, QAbstractItemView::PositionAtCenter);
        saveScreenshot(&window, QStringLiteral("frmMain-inflight"));

        auto queueAgainFromMenu = [&](QMessageBox::StandardButton answer) {
            grid->clearSelection();
            grid->selectRow(rowOf(list, doubt));
            boxes.answer(answer);
            bool enabled = false;
            QTimer::singleShot(0, &window, [&] {
                auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
                QAction *action = menu ? menu->findChild<QAction *>(QStringLiteral("mnuOutboxRequeue")) : nullptr;
                enabled = action && action->isEnabled();
                if (menu && action) {
                    menu->setActiveAction(action);
                    QTest::keyClick(menu, Qt::Key_Return);
                }
            });
            emit grid->customContextMenuRequested(grid->visualRect(cell).center());
            return enabled;
        };
        QVERIFY(queueAgainFromMenu(QMessageBox::No));
        QCOMPARE(boxes.last().title, QStringLiteral("SEND AGAIN"));
        QCOMPARE(boxes.last().icon, QMessageBox::Question);
        QVERIFY(boxes.last().text.startsWith(QStringLiteral("The gateway may already have received this message.")));
        QCOMPARE(keysWhere(QStringLiteral("InFlight <> 0")), inDoubt);
        QVERIFY(queueAgainFromMenu(QMessageBox::Yes));
        QCOMPARE(keysWhere(QStringLiteral("Send = 0")), QSet<qint64>({doubt}));
        QVERIFY(list->index(rowOf(list, doubt), 0).data(Qt::FontRole).value<QFont>().bold());

        QVERIFY(window.cycles().SendNow());
        QList<qint64> third;
        postedKeys(gateway, &third);
        QCOMPARE(third, QList<qint64>({doubt}));
        QCOMPARE(keysWhere(QStringLiteral("InFlight <> 0")), inDoubt - QSet<qint64>({doubt}));
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
        const QString path = home.path() + QStringLiteral("/old.db");
        {
            QSqlDatabase old = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("old"));
            old.setDatabaseName(path);
            QVERIFY(old.open());
            QSqlQuery query(old);
            for (const QString &sql :
                 {QStringLiteral("CREATE TABLE SMSSend (SMSSendID INTEGER PRIMARY KEY AUTOINCREMENT, ClientID INTEGER, "
                                 "Number TEXT, Message TEXT, SendDate DATE, SendTime TEXT, EventID TEXT, "
                                 "Send INTEGER NOT NULL DEFAULT 0, Delivered INTEGER NOT NULL DEFAULT 0, SentID TEXT)"),
                  QStringLiteral("CREATE TABLE Setup (Username TEXT, Password TEXT, LastHighestTrn NUMERIC NOT NULL DEFAULT 0)"),
                  QStringLiteral("INSERT INTO SMSSend (Number, Message) VALUES ('0821234567', 'queued')"),
                  QStringLiteral("INSERT INTO SMSSend (Number, Message, Send, EventID) VALUES ('0821234567', 'sent', 1, '5000001')"),
                  QStringLiteral("PRAGMA user_version = %1").arg(version)})
                QVERIFY2(query.exec(sql), qPrintable(query.lastError().text()));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("old"));
        modMain::ConnectionString = Database::connectionStringFor(path);
        QCOMPARE(OutboxRows::states(), QStringList({"queued", "5000001"}));
        QCOMPARE(Database::value(QStringLiteral("PRAGMA user_version")).toInt(), Database::SchemaVersion);
        QCOMPARE(keysWhere(QStringLiteral("InFlight = 0")).size(), 2);
    }

    // With four in flight the Send Messages window logs each message's sending line followed by its
    // own answer (the batch the gateway gave that message), and counts every message down.
    void sendMessagesWindowPairsEachMessageWithItsAnswer()
    {
        TestHome home;
        GatewayProcess gateway({QStringLiteral("--account"), QStringLiteral("demo:demo:1000"),
                                QStringLiteral("--latency-ms"), QStringLiteral("20")});
        QVERIFY2(gateway.isRunning(), qPrintable(gateway.output()));
        gateway.use();
        modMain::GatewayConnections = 4;
        for (int i = 0; i < 10; ++i)
            OutboxRows::queue(QStringLiteral("08300000%1").arg(i, 2, 10, QLatin1Char('0')));
        ScriptedMessageBoxes boxes;
        frmMain owner;
        frmSendMessages window(&owner);
        window.show();
        window.cmdSend_Click();
        QCOMPARE(boxes.count(), 0);

        QHash<QString, QString> batchOf;
        for (const QJsonValue &message : adminArray(gateway, QStringLiteral("/admin/messages")))
            batchOf.insert(message[QStringLiteral("number")].toString(),
                           QString::number(qint64(message[QStringLiteral("batch")].toDouble())));
        QCOMPARE(batchOf.size(), 10);
        auto *log = window.findChild<QTableWidget *>(QStringLiteral("grdList"));
        QCOMPARE(log->rowCount(), 20);
        for (int row = 0; row < 20; row += 2) {
            const QString sending = log->item(row, 0)->text().section(QStringLiteral(" - "), 1);
            const QString answer = log->item(row + 1, 0)->text().section(QStringLiteral(" - "), 1);
            QVERIFY2(sending.startsWith(QStringLiteral("Sending SMS to ")), qPrintable(sending));
            QCOMPARE(answer, QStringLiteral("SMS sent - BatchID: ") + batchOf.take(sending.mid(15)));
        }
        QCOMPARE(window.findChild<QLabel *>(QStringLiteral("lblLeft"))->text(), QStringLiteral("0 / 10"));
    }
};

QTEST_MAIN(tst_inFlight)
#include "tst_inFlight.moc"
