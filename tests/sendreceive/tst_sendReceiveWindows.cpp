#include "AppScenes.h"
#include "FailingWrites.h"
#include "GroupRows.h"
#include "WindowFixture.h"

#include "compose/ComposerBlock.h"
#include "compose/frmSendToGroupNo.h"
#include "compose/frmSendToSingle.h"
#include "data/AppError.h"
#include "gateway/GatewayCycles.h"
#include "gateway/SendReportPage.h"
#include "sendreceive/CycleDisplay.h"
#include "sendreceive/SendReceiveRules.h"
#include "sendreceive/frmGetReplies.h"
#include "sendreceive/frmGetSendReport.h"
#include "sendreceive/frmSendMessages.h"
#include "ui/MessageBoxes.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

// The send window's counter, credits and status line.
QStringList counters(const QWidget *window)
{
    return {labelText(window, "lblLeft"), labelText(window, "lblCredits"), labelText(window, "lblStatus")};
}

// The send log without its date and time, which must be now's.
QStringList logEvents(const QWidget *window)
{
    static const QRegularExpression stamp(u"^(\\d\\d/\\d\\d/\\d{4}-\\d\\d:\\d\\d) - (.*)$"_s);
    const auto *log = window->findChild<QTableWidget *>(u"grdList"_s);
    QStringList events;
    for (int row = 0; row < log->rowCount(); ++row) {
        const QRegularExpressionMatch match = stamp.match(log->item(row, 0)->text());
        const QDateTime at = QDateTime::fromString(match.captured(1), u"dd/MM/yyyy-HH:mm"_s);
        const bool now = at.isValid() && qAbs(at.secsTo(QDateTime::currentDateTime())) < 120;
        events << (match.hasMatch() && now ? match.captured(2) : u"bad line: "_s + log->item(row, 0)->text());
    }
    return events;
}

QString listText(const QueryListModel *list, int row, const QString &field)
{
    return list->index(row, list->columnOf(field)).data().toString();
}

} // namespace

// The three Send/Receive windows against the real gateway: what they show and write beyond the
// gateway cycles they run, and the rules by which they read and show it.
class tst_sendReceiveWindows : public QObject, private WindowFixture
{
    Q_OBJECT

private slots:
    void cleanup() { MessageBoxes::setResponder({}); }

    // Five rows: one accepted after a refusal, one without text (not posted, no log line, marked "0").
    void sendLogsEveryPostAndCountsDown()
    {
        GatewaySetup s;
        OutboxRows::queue(u"+27 82 123 4567"_s);
        OutboxRows::queue(u"0821111111"_s);
        OutboxRows::queue(u"0822222222"_s, QString());
        OutboxRows::queue(u"27 83 333 3333"_s);
        OutboxRows::queue(u"0824444444"_s);
        ScriptedMessageBoxes boxes;
        frmSendMessages window;
        window.show();
        QCOMPARE(counters(&window), (QStringList{"5 / 5", "0", "Ready ..."}));

        takeRequests(s.gateway);
        scriptAnswer(s.gateway, u"SingleSMS"_s, u"FALSE: Invalid number\r\n"_s);
        QStringList enabledWhileRunning;
        QTimer::singleShot(0, &window, [&] {
            for (const char *button : {"cmdSend", "cmdCancel", "cmdCheckCredits"})
                if (child<QWidget>(&window, button)->isEnabled())
                    enabledWhileRunning << QString::fromLatin1(button);
            window.close(); // refused while the run lasts
        });
        click(&window, "cmdSend");
        const QString Summary = u"Ready ... 3 sent, 1 refused (Invalid number), 1 not sent (No message text)"_s;
        QCOMPARE(enabledWhileRunning, QStringList({"cmdCheckCredits"}));
        QVERIFY(window.isVisible());
        QCOMPARE(logEvents(&window),
                 QStringList({"Sending SMS to 0821234567", "SMS NOT sent : FALSE: Invalid number",
                              "Sending SMS to 0821111111", "SMS sent - BatchID: 5000001", "Sending SMS to 0833333333",
                              "SMS sent - BatchID: 5000002", "Sending SMS to 0824444444", "SMS sent - BatchID: 5000003",
                              Summary}));
        QCOMPARE(OutboxRows::states(), QStringList({"0", "5000001", "0", "5000002", "5000003"}));
        QCOMPARE(takeRequests(s.gateway).size(), 6); // the replies, the balance, then four messages
        QCOMPARE(counters(&window), (QStringList{"0 / 5", "1000", Summary}));
        QVERIFY(child<QWidget>(&window, "cmdSend")->isEnabled() && child<QWidget>(&window, "cmdCancel")->isEnabled());
        QCOMPARE(boxes.count(), 0);
        saveScreenshot(&window, u"frmSendMessages"_s);

        // Check Credits asks the gateway without looking at the account first, and shows its answer or "ERROR":
        // a refused account is said to be refused, never shown as a balance of 0.
        s.gateway.use(u"demo"_s, QString());
        click(&window, "cmdCheckCredits");
        QCOMPARE(takeRequests(s.gateway).size(), 1);
        QCOMPARE(counters(&window), (QStringList{"0 / 5", "1000", "ERROR"}));
        QVERIFY2(logEvents(&window).last().contains(u"not a credit balance: FALSE"_s),
                 qPrintable(logEvents(&window).last()));
        s.gateway.use();
        click(&window, "cmdCheckCredits");
        QCOMPARE(counters(&window), (QStringList{"0 / 5", "997", "Done checking credits"}));
        QCOMPARE(boxes.count(), 0);
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }

    // Ten rows and four credits: Yes sends the four newest, newest first; the counter goes down by four.
    void partialSendByCredits()
    {
        GatewaySetup s(4);
        for (int day = 1; day <= 10; ++day)
            OutboxRows::add({.number = u"08200000%1"_s.arg(day, 2, 10, QLatin1Char('0')),
                             .sendDate = u"2026-03-%1"_s.arg(day, 2, 10, QLatin1Char('0'))});
        ScriptedMessageBoxes boxes;
        boxes.answer(QMessageBox::Ok);
        boxes.answer(QMessageBox::Yes);
        frmSendMessages window;
        window.show();
        QCOMPARE(labelText(&window, "lblLeft"), u"10 / 10"_s);
        click(&window, "cmdSend");
        QCOMPARE(boxes.titles(), QStringList({"CREDITS", "SEND"}));
        QCOMPARE(logEvents(&window).filter(u"Sending"_s),
                 QStringList({"Sending SMS to 0820000010", "Sending SMS to 0820000009", "Sending SMS to 0820000008",
                              "Sending SMS to 0820000007"}));
        QCOMPARE(OutboxRows::states().mid(0, 6).count(u"queued"_s), 6);
        QCOMPARE(counters(&window).mid(0, 2), (QStringList{"6 / 4", "4"}));
    }

    // The gateway's own page after a send marks both rows; the list is read again. How a page is cut into
    // rows is reportPageCut's part.
    void reportMarksTheRowsItNames()
    {
        GatewaySetup s;
        queueNumbered(u"08212345"_s, 2);
        ScriptedMessageBoxes boxes;
        {
            frmSendMessages sender;
            click(&sender, "cmdSend");
        }
        takeRequests(s.gateway);

        frmGetSendReport window;
        window.resize(1100, 500);
        window.show();
        const QueryListModel *list = window.list();
        QCOMPARE(list->rowCount(), 2);
        QCOMPARE(listText(list, 0, u"SendDate"_s), u"06/Dec/2026"_s);
        QCOMPARE(listText(list, 0, u"SendTime"_s), u"09:05"_s);
        click(&window, "cmdGetReport");
        QCOMPARE(takeRequests(s.gateway),
                 QStringList({"POST /httppost3.aspx?Type=SentID&Username=demo&Password=demo&SentID=0"}));
        QCOMPARE(boxes.titles(), QStringList({"DONE"}));
        QCOMPARE(boxes.last().text, u"Done getting status reports."_s);
        QCOMPARE(labelText(&window, "lblStatus"), u"Parsing report rows 3 / 3 ..."_s);
        QCOMPARE(
            (QVariantList{list->value(1, u"Delivered"_s), list->value(1, u"SentID"_s), list->value(0, u"SentID"_s)}),
            (QVariantList{1, u"5000001"_s, u"5000002"_s}));

        saveScreenshot(&window, u"frmGetSendReport"_s);
    }

    // A refused commit is an ERROR, never "DONE". (An unreachable gateway: tst_faultWindows.)
    void reportFailures()
    {
        GatewaySetup s;
        const qint64 row = OutboxRows::add({.number = u"082"_s, .send = true, .eventId = u"1"_s});
        ScriptedMessageBoxes boxes;
        frmGetSendReport window;
        FailingWrites::failCommitsAfter(u"UPDATE"_s, u"SMSSend"_s);
        scriptAnswer(s.gateway, u"SentID"_s,
                     u"DATAGRID><tr><td>9</td><td></td><td></td><td></td><td>%1</td><td>Sent</td></tr>"_s.arg(row));
        click(&window, "cmdGetReport");
        QCOMPARE(boxes.titles(), QStringList({"ERROR"}));
        QVERIFY2(boxes.last().text.contains(u"FOREIGN KEY"_s) || boxes.last().text.contains(u"refused by test"_s),
                 qPrintable(boxes.last().text));
        QCOMPARE(labelText(&window, "lblStatus"), u"ERROR"_s);
        QCOMPARE(deliveries(), QStringList{u"not delivered/"_s});
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }

    void repliesAreShownWithTheirContact()
    {
        GatewaySetup s;
        const qint64 client = GroupRows::addClient(u"van <i>Wyk</i>"_s, u"082"_s, u"Ann"_s);
        const qint64 message =
            OutboxRows::add({.number = u"082"_s, .message = u"Pay now"_s, .send = true, .clientId = client});
        const auto reply = [](const QString &id, const QString &text, const QString &customer) {
            return QStringLiteral("<reply><id>%1</id><x/><from>0821234567</from><text>%2</text>"
                                  "<received>2026-12-06 10:00:00</received><sent>  Pay now  </sent>"
                                  "<sentdate>2026-12-06 09:05:00</sentdate><customer>%3</customer></reply>")
                .arg(id, text, customer);
        };
        scriptAnswer(s.gateway, u"replies"_s,
                     u"<replies>"_s + reply(u"R3"_s, u"  Who is this?  "_s, u"0"_s)
                         + reply(u"R4"_s, u"&lt;b&gt;Paid&lt;/b&gt; &lt;font color=white&gt;late&lt;/font&gt;"_s,
                                 QString::number(message))
                         + u"</replies>"_s);
        ScriptedMessageBoxes boxes;
        frmGetReplies window;
        window.show();
        click(&window, "cmdGetReplies");
        QCOMPARE(boxes.titles(), QStringList({"DONE"}));
        QCOMPARE(boxes.last().text, u"Done getting replies."_s);
        QCOMPARE(labelText(&window, "lblStatus"), u"Ready ..."_s);
        const QueryListModel *list = window.list();
        QCOMPARE(list->rowCount(), 2); // which replies are stored: tst_retrieval
        QCOMPARE((QStringList{list->value(0, u"IncomingID"_s).toString(), list->value(1, u"IncomingID"_s).toString()}),
                 (QStringList{"R4", "R3"}));
        QCOMPARE(listText(list, 1, u"ReceivedDateTime"_s), u"06/12/2026 10:00"_s);

        auto *grid = child<QTableView>(&window, "grdList");
        const auto clickRow = [&](int row) {
            const QModelIndex cell = list->index(row, list->columnOf(u"Message"_s));
            QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(cell).center());
        };
        clickRow(0);
        // Markup in a reply or a name is shown as written, never formatted or hidden.
        QCOMPARE(labelText(&window, "lblCustomer"), u"Ann van <i>Wyk</i>"_s);
        QCOMPARE(labelText(&window, "lblMessageReceived"), u"<b>Paid</b> <font color=white>late</font>"_s);
        for (const char *label : {"lblCustomer", "lblMessageReceived", "lblMessageSent", "lblStatus"})
            QCOMPARE(child<QLabel>(&window, label)->textFormat(), Qt::PlainText);
        saveScreenshot(&window, u"frmGetReplies-markup"_s);
        clickRow(1); // SMSSendID 0: no contact
        QCOMPARE((QStringList{labelText(&window, "lblMessageReceived"), labelText(&window, "lblMessageSent"),
                              labelText(&window, "lblCustomer")}),
                 (QStringList{"Who is this?", "Pay now", ""}));
        saveScreenshot(&window, u"frmGetReplies"_s);
    }

    // The hidden Send Now of the number list and of the single number queues the message and opens the send window
    // on the whole outbox. (The main window's hidden entries are in tst_frmMain's table.)
    void hiddenSendNowQueuesAndOpensTheSendWindow()
    {
        TestHome home;
        ScriptedMessageBoxes boxes;
        frmSendToGroupNo numbers;
        typeNumbers(&numbers, {u"0821234567"_s, u"0827654321"_s});
        frmSendToSingle single;
        child<QLineEdit>(&single, "txtCellphone")->setText(u"0829999999"_s);
        const std::pair<QWidget *, QString> windows[] = {{&numbers, u"2 / 2"_s}, {&single, u"3 / 3"_s}};
        for (const auto &[window, expected] : windows) {
            window->show();
            auto *sendNow = child<QPushButton>(window, "cmdSendNow");
            QVERIFY(!sendNow->isVisible());
            window->findChild<ComposerBlock *>()->setBody(1, u"Hello"_s);
            QString left;
            QCOMPARE(
                modalOpenedBy([&] { sendNow->click(); }, [&](QWidget *opened) { left = labelText(opened, "lblLeft"); }),
                u"frmSendMessages"_s);
            QCOMPARE(left, expected);
            QVERIFY(!sendNow->isEnabled());
        }
        QCOMPARE(boxes.titles(), QStringList({"ADDED"}));
    }

    // While the main window's Send/Receive waits on a slow status page, the Send Messages window
    // opened then starts no run of its own: its Send button is disabled, and pressed anyway it is
    // refused and says why. Each message is posted once, by the main window's run.
    void noSecondRunDuringTheMainWindowsCycle()
    {
        GatewaySetup s;
        const QList<qint64> rows = {OutboxRows::queue(u"0821111111"_s), OutboxRows::queue(u"0822222222"_s)};
        ScriptedMessageBoxes boxes;
        frmMain main;
        s.gateway.admin(u"/admin/latency?ms=400"_s);
        bool sendEnabled = true;
        QString refused;
        QStringList logged;
        QTimer::singleShot(100, &main, [&] {
            frmSendMessages window(&main);
            window.show();
            sendEnabled = child<QWidget>(&window, "cmdSend")->isEnabled();
            window.cmdSend_Click();
            refused = labelText(&window, "lblStatus");
            logged = logEvents(&window);
        });
        QVERIFY(main.cycles().SendReceive());
        QVERIFY(!sendEnabled);
        QCOMPARE(refused, frmSendMessages::AnotherRunGoes);
        QCOMPARE(logged, QStringList());
        QCOMPARE(postedCustomers(s.gateway), QStringList({QString::number(rows[0]), QString::number(rows[1])}));
    }

    // The report page cut into rows and cells, the log lines and the list formats.
    void reportPageCut_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<int>("rowTexts");
        // Per row that names an outbox row: "key SentID delivered|-".
        QTest::addColumn<QStringList>("applied");

        const QString heading = QStringLiteral("<tr><td>SentID</td><td>PhoneNumber</td><td>Data</td><td>DateTime</td>"
                                               "<td>CustomerID</td><td>SentStatus</td></tr>\r\n");
        QTest::newRow("gateway page")
            << QStringLiteral("<html><body>\r\n<table id=DataGrid>\r\n") + heading
                   + QStringLiteral("<tr><td>5000001</td><td>0821234567</td><td>Hi</td><td>2026-12-06 09:05</td>"
                                    "<td>12</td><td>Sent</td></tr>\r\n</table>\r\n<p>DataGrid</table></html>")
            << 3 << QStringList{"12 5000001 delivered"};
        QTest::newRow("lower-case tags, NONE and empty identifiers, no table end")
            << QStringLiteral("<p>Report</p><table class=datagrid>\n") + heading.toLower()
                   + QStringLiteral(
                       "<tr><td> ab12 </td><td>082</td><td>one</td><td>d</td><td>5</td><td> sent </td></tr>\n"
                       "<tr>\t<td>ab13</td><td>082</td><td>two</td><td>d</td><td>6x</td><td>Pending</td>"
                       "</tr>\n<tr><td>ab14</td><td>082</td><td>x</td><td>d</td><td>none</td><td>sent</td>"
                       "</tr><tr><td>ab15</td><td>082</td><td>y</td><td>d</td><td> </td><td>sent</td></tr>"
                       "\n</body></html>")
            << 6 << QStringList{"5 AB12 delivered", "6 AB13 -"};
        QTest::newRow("short rows and cells holding their column's name")
            << QStringLiteral("DATAGRID>") + heading
                   + QStringLiteral("<tr><td>7</td><td>082</td></tr><tr><td>8</td><td>0</td><td>d</td><td>t</td>"
                                    "<td>CustomerID</td><td>Sent</td></tr><tr><td>SentID</td><td>0</td><td>d</td>"
                                    "<td>t</td><td>9</td><td>SENTSTATUS</td></tr>")
            << 5 << QStringList{"9  -"};
        QTest::newRow("identifiers that are no row key")
            << QStringLiteral("DATAGRID>") + heading
                   + QStringLiteral("<tr><td>1</td><td></td><td></td><td></td><td>1E30</td><td>Sent</td></tr>"
                                    "<tr><td>2</td><td></td><td></td><td></td><td>-4</td><td>Sent</td></tr>")
            << 4 << QStringList{};
        // Without the word the first eight characters go; the rest is read all the same.
        QTest::newRow("no DATAGRID") << QStringLiteral("<table><tr><td>3</td><td></td><td></td><td></td><td>4</td>"
                                                       "<td>Sent</td></tr></table>")
                                     << 2 << QStringList{"4 3 delivered"};
        QTest::newRow("empty answer") << QString() << 1 << QStringList{};
    }

    void reportPageCut()
    {
        QFETCH(QString, page);
        QFETCH(int, rowTexts);
        QFETCH(QStringList, applied);
        const QStringList rows = SendReportPage::rowTexts(page);
        QCOMPARE(rows.size(), rowTexts);
        QStringList got;
        for (const QString &text : rows) {
            const SendReportPage::Row row = SendReportPage::readRow(text);
            if (const auto key = row.outboxKey())
                got << QStringLiteral("%1 %2 %3").arg(*key).arg(row.sentId, row.delivered() ? "delivered" : "-");
        }
        QCOMPARE(got, applied);
    }

    void shownTexts()
    {
        using namespace SendReceive;
        const QList<QPair<QString, QString>> cases = {
            {logLine(QDateTime(QDate(2026, 3, 5), QTime(7, 4, 59)), QStringLiteral("Sending SMS to 0821234567")),
             "05/03/2026-07:04 - Sending SMS to 0821234567"},
            {logLine(QDateTime(QDate(2026, 12, 31), QTime(23, 0)), QStringLiteral("SMS sent - BatchID: 5000001")),
             "31/12/2026-23:00 - SMS sent - BatchID: 5000001"},
            {leftText(6, 4), "6 / 4"},
            {sentDateText(QStringLiteral("2026-12-06")), "06/Dec/2026"},
            {sentDateText(QStringLiteral("2026-05-01 00:00:00")), "01/May/2026"},
            {sentDateText(QString()), ""},
            {sentDateText(QStringLiteral("soon")), "soon"},
            {sentTimeText(QStringLiteral("09:05")), "09:05"},
            {sentTimeText(QStringLiteral("9:05:59")), "09:05"},
            {sentTimeText(QStringLiteral("2026-12-06 17:30:00")), "17:30"},
            {sentTimeText(QStringLiteral("2026-12-06T17:30")), "17:30"},
            {sentTimeText(QStringLiteral("noon")), "noon"},
        };
        for (const auto &[shown, expected] : cases)
            QCOMPARE(shown, expected);
    }

    // The status line, progress and busy pointer a cycle's window shows. The hold-back here is an hour, so nothing
    // is shown by the clock while a case runs: what shows is what the rules show at once.
    void showsAtOnceOnlyWhatTheRulesSay_data()
    {
        QTest::addColumn<int>("holdBackMs");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("shown"); // status and progress as shown, and boxes, in order

        const int hour = 60 * 60 * 1000;
        QTest::newRow("a burst: the first at once, the last when asked")
            << hour << QStringList{"status A", "status B", "status C", "now", "now"} << QStringList{"A 0/0", "C 0/0"};
        QTest::newRow("progress waits until it ends")
            << hour << QStringList{"status A", "progress 1/3", "progress 2/3", "progress 3/3"}
            << QStringList{"A 0/0", "A 3/3"};
        QTest::newRow("progress of none ends the display")
            << hour << QStringList{"progress 1/3", "status B", "progress 0/0"} << QStringList{" 1/3", "B 0/0"};
        QTest::newRow("the end of busy shows what waits")
            << hour << QStringList{"busy", "status A", "status B", "idle", "idle"} << QStringList{"A 0/0", "B 0/0"};
        QTest::newRow("a box comes after what waits")
            << hour << QStringList{"status A", "status B", "ask", "status C", "error", "inform"}
            << QStringList{"A 0/0", "B 0/0", "box Q?", "C 0/0", "box ERROR", "box I"};
        QTest::newRow("without hold-back every status shows")
            << 0 << QStringList{"status A", "status B", "status B"} << QStringList{"A 0/0", "B 0/0", "B 0/0"};
    }

    void showsAtOnceOnlyWhatTheRulesSay()
    {
        QFETCH(int, holdBackMs);
        QFETCH(QStringList, steps);
        QFETCH(QStringList, shown);

        QStringList seen;
        MessageBoxes::setResponder([&](const MessageBoxes::Shown &box) {
            seen << u"box "_s + box.title;
            return QMessageBox::Yes;
        });
        CycleDisplay display(nullptr, holdBackMs, [&](const CycleDisplay::Shown &now) {
            seen << u"%1 %2/%3"_s.arg(now.text).arg(now.done).arg(now.total);
        });
        for (const QString &step : std::as_const(steps)) {
            const QString verb = step.section(u' ', 0, 0);
            const QString rest = step.section(u' ', 1);
            if (verb == u"status")
                display.setStatus(rest);
            else if (verb == u"progress")
                display.setProgress(rest.section(u'/', 0, 0).toInt(), rest.section(u'/', 1).toInt());
            else if (verb == u"now")
                display.showNow();
            else if (verb == u"busy" || verb == u"idle")
                display.setBusy(verb == u"busy");
            else if (verb == u"ask")
                QVERIFY(display.ask(u"Q?"_s, u"?"_s));
            else if (verb == u"inform")
                display.inform(u"I"_s, u"i"_s);
            else if (verb == u"error")
                display.showError(AppError(1, u"broken"_s));
        }
        QCOMPARE(seen, shown);
    }

    void busyPointersNestAndAreGivenBack()
    {
        {
            CycleDisplay display(nullptr, 0, [](const CycleDisplay::Shown &) {});
            display.setBusy(true);
            display.setBusy(true);
            display.setBusy(false);
            QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
            display.setBusy(false);
            QCOMPARE(QApplication::overrideCursor(), nullptr);
            display.setBusy(false); // one too many takes no other pointer away
            QApplication::setOverrideCursor(Qt::CrossCursor);
            display.setBusy(false);
            QCOMPARE(QApplication::overrideCursor()->shape(), Qt::CrossCursor);
            QApplication::restoreOverrideCursor();
            display.setBusy(true);
            display.setBusy(true);
        }
        QCOMPARE(QApplication::overrideCursor(), nullptr); // a run cut short gives its pointers back
    }
};

QTEST_MAIN(tst_sendReceiveWindows)
#include "tst_sendReceiveWindows.moc"
