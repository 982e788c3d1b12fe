#include "AppScenes.h"
#include "FailingWrites.h"
#include "GroupRows.h"
#include "WindowFixture.h"

#include "compose/ComposerBlock.h"
#include "compose/frmSendToGroupNo.h"
#include "compose/frmSendToSingle.h"
#include "gateway/GatewayCycles.h"
#include "sendreceive/frmGetReplies.h"
#include "sendreceive/frmGetSendReport.h"
#include "sendreceive/frmSendMessages.h"

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
// gateway cycles they run.
class tst_sendReceiveWindows : public QObject, private WindowFixture
{
    Q_OBJECT

private slots:

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
    // rows is tst_sendReceiveRules' part.
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
};

QTEST_MAIN(tst_sendReceiveWindows)
#include "tst_sendReceiveWindows.moc"
