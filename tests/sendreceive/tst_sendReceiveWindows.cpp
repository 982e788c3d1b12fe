#include "../gateway/GatewayTestSupport.h"
#include "GuiTestSupport.h"

#include "app/frmMain.h"
#include "compose/ComposerBlock.h"
#include "compose/NumberGrid.h"
#include "compose/frmSendToGroupNo.h"
#include "compose/frmSendToSingle.h"
#include "sendreceive/frmGetReplies.h"
#include "sendreceive/frmGetSendReport.h"
#include "sendreceive/frmSendMessages.h"
#include "ui/QueryListModel.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

namespace {

template <typename T = QWidget>
T *child(const QWidget *window, const char *name)
{
    T *found = window->findChild<T *>(QString::fromLatin1(name));
    if (!found)
        qFatal("no control %s", name);
    return found;
}

QString text(const QWidget *window, const char *label)
{
    return child<QLabel>(window, label)->text();
}

void click(const QWidget *window, const char *button)
{
    QTest::mouseClick(child<QPushButton>(window, button), Qt::LeftButton);
}

// The send log without its date and time, which must be now's.
QStringList logEvents(const QWidget *window)
{
    static const QRegularExpression stamp(QStringLiteral("^(\\d\\d/\\d\\d/\\d{4}-\\d\\d:\\d\\d) - (.*)$"));
    const auto *log = child<QTableWidget>(window, "grdList");
    QStringList events;
    for (int row = 0; row < log->rowCount(); ++row) {
        const QRegularExpressionMatch match = stamp.match(log->item(row, 0)->text());
        const QDateTime at = QDateTime::fromString(match.captured(1), QStringLiteral("dd/MM/yyyy-HH:mm"));
        const bool now = at.isValid() && qAbs(at.secsTo(QDateTime::currentDateTime())) < 120;
        events << (match.hasMatch() && now ? match.captured(2)
                                           : QStringLiteral("bad line: ") + log->item(row, 0)->text());
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
class tst_sendReceiveWindows : public QObject
{
    Q_OBJECT

private slots:
    void sendLogsEveryPostAndCountsDown();
    void partialSendByCredits();
    void checkCreditsAsksWithoutLookingAtTheAccount();
    void reportMarksTheRowsItNames();
    void reportFailures();
    void repliesAreStoredOnceAndShownWithTheirContact();
    void hiddenEntriesOpenTheWindows();
};

// Five rows: one accepted after a refusal, one without text (not posted, no log line, marked "0").
void tst_sendReceiveWindows::sendLogsEveryPostAndCountsDown()
{
    TestHome home;
    GatewayProcess gateway;
    QVERIFY2(gateway.isRunning(), qPrintable(gateway.output()));
    gateway.use();
    OutboxRows::queue(QStringLiteral("+27 82 123 4567"));
    OutboxRows::queue(QStringLiteral("0821111111"));
    OutboxRows::queue(QStringLiteral("0822222222"), QString());
    OutboxRows::queue(QStringLiteral("27 83 333 3333"));
    OutboxRows::queue(QStringLiteral("0824444444"));
    ScriptedMessageBoxes boxes;
    frmSendMessages window;
    window.show();
    QCOMPARE(text(&window, "lblLeft"), QStringLiteral("5 / 5"));
    QCOMPARE(text(&window, "lblCredits"), QStringLiteral("0"));
    QCOMPARE(text(&window, "lblStatus"), QStringLiteral("Ready ..."));

    takeRequests(gateway);
    scriptAnswer(gateway, QStringLiteral("SingleSMS"), QStringLiteral("FALSE: Invalid number\r\n"));
    QStringList enabledWhileRunning;
    QTimer::singleShot(0, &window, [&] {
        for (const char *button : {"cmdSend", "cmdCancel", "cmdCheckCredits"})
            if (child(&window, button)->isEnabled())
                enabledWhileRunning << QString::fromLatin1(button);
        window.close(); // refused while the run lasts
    });
    click(&window, "cmdSend");
    QCOMPARE(enabledWhileRunning, QStringList({"cmdCheckCredits"}));
    QVERIFY(window.isVisible());
    QCOMPARE(logEvents(&window),
             QStringList({"Sending SMS to 0821234567", "SMS NOT sent : FALSE: Invalid number",
                          "Sending SMS to 0821111111", "SMS sent - BatchID: 5000001", "Sending SMS to 0833333333",
                          "SMS sent - BatchID: 5000002", "Sending SMS to 0824444444", "SMS sent - BatchID: 5000003"}));
    QCOMPARE(OutboxRows::states(), QStringList({"0", "5000001", "0", "5000002", "5000003"}));
    QCOMPARE(takeRequests(gateway).size(), 6); // the replies, the balance, then four messages
    QCOMPARE(text(&window, "lblLeft"), QStringLiteral("0 / 5"));
    QCOMPARE(text(&window, "lblCredits"), QStringLiteral("1000"));
    QCOMPARE(text(&window, "lblStatus"), QStringLiteral("Ready ..."));
    QVERIFY(child(&window, "cmdSend")->isEnabled() && child(&window, "cmdCancel")->isEnabled());
    QCOMPARE(boxes.count(), 0);
    saveScreenshot(&window, QStringLiteral("frmSendMessages"));
}

// Ten rows and four credits: Yes sends the four newest, newest first; the counter goes down by four.
void tst_sendReceiveWindows::partialSendByCredits()
{
    TestHome home;
    GatewayProcess gateway({QStringLiteral("--account"), QStringLiteral("demo:demo:4")});
    QVERIFY2(gateway.isRunning(), qPrintable(gateway.output()));
    gateway.use();
    for (int day = 1; day <= 10; ++day)
        OutboxRows::add({.number = QStringLiteral("08200000%1").arg(day, 2, 10, QLatin1Char('0')),
                         .sendDate = QStringLiteral("2026-03-%1").arg(day, 2, 10, QLatin1Char('0'))});
    ScriptedMessageBoxes boxes;
    boxes.answer(QMessageBox::Ok);
    boxes.answer(QMessageBox::Yes);
    frmSendMessages window;
    window.show();
    QCOMPARE(text(&window, "lblLeft"), QStringLiteral("10 / 10"));
    click(&window, "cmdSend");
    QCOMPARE(boxes.titles(), QStringList({"CREDITS", "SEND"}));
    QCOMPARE(logEvents(&window).filter(QStringLiteral("Sending")),
             QStringList({"Sending SMS to 0820000010", "Sending SMS to 0820000009", "Sending SMS to 0820000008",
                          "Sending SMS to 0820000007"}));
    QCOMPARE(OutboxRows::states().mid(0, 6).count(QStringLiteral("queued")), 6);
    QCOMPARE(text(&window, "lblLeft"), QStringLiteral("6 / 4"));
    QCOMPARE(text(&window, "lblCredits"), QStringLiteral("4"));
}

void tst_sendReceiveWindows::checkCreditsAsksWithoutLookingAtTheAccount()
{
    TestHome home;
    GatewayProcess gateway({QStringLiteral("--account"), QStringLiteral("demo:demo:250")});
    QVERIFY2(gateway.isRunning(), qPrintable(gateway.output()));
    ScriptedMessageBoxes boxes;
    frmSendMessages window;
    window.show();
    gateway.use(QStringLiteral("demo"), QString());
    click(&window, "cmdCheckCredits");
    QCOMPARE(takeRequests(gateway).size(), 1);
    QCOMPARE(text(&window, "lblCredits"), QStringLiteral("0")); // the gateway refused the account
    gateway.use();
    click(&window, "cmdCheckCredits");
    QCOMPARE(text(&window, "lblCredits"), QStringLiteral("250"));
    QCOMPARE(text(&window, "lblStatus"), QStringLiteral("Done checking credits"));
    gateway.stop();
    click(&window, "cmdCheckCredits");
    QCOMPARE(text(&window, "lblStatus"), QStringLiteral("ERROR"));
    QCOMPARE(text(&window, "lblCredits"), QStringLiteral("250"));
    QCOMPARE(boxes.count(), 0);
    QCOMPARE(QApplication::overrideCursor(), nullptr);
}

// The gateway's own page after a send, then a page with a heading row, two message rows, a NONE
// row, an empty identifier, lower-case tags and no table end.
void tst_sendReceiveWindows::reportMarksTheRowsItNames()
{
    TestHome home;
    GatewayProcess gateway;
    QVERIFY2(gateway.isRunning(), qPrintable(gateway.output()));
    gateway.use();
    OutboxRows::queue(QStringLiteral("0821234567"), QStringLiteral("One"));
    OutboxRows::queue(QStringLiteral("0821234568"), QStringLiteral("Two"));
    ScriptedMessageBoxes boxes;
    {
        frmSendMessages sender;
        click(&sender, "cmdSend");
    }
    takeRequests(gateway);

    frmGetSendReport window;
    window.resize(1100, 500);
    window.show();
    const QueryListModel *list = window.list();
    QCOMPARE(list->rowCount(), 2);
    QCOMPARE(listText(list, 0, QStringLiteral("SendDate")), QStringLiteral("06/Dec/2026"));
    QCOMPARE(listText(list, 0, QStringLiteral("SendTime")), QStringLiteral("09:05"));
    click(&window, "cmdGetReport");
    QCOMPARE(takeRequests(gateway),
             QStringList({"POST /httppost3.aspx?Type=SentID&Username=demo&Password=demo&SentID=0"}));
    QCOMPARE(boxes.titles(), QStringList({"DONE"}));
    QCOMPARE(boxes.last().text, QStringLiteral("Done getting status reports."));
    QCOMPARE(text(&window, "lblStatus"), QStringLiteral("Parsing report rows 3 / 3 ..."));
    QCOMPARE(list->value(1, QStringLiteral("Delivered")).toInt(), 1);
    QCOMPARE(list->value(1, QStringLiteral("SentID")).toString(), QStringLiteral("5000001"));
    QCOMPARE(list->value(0, QStringLiteral("SentID")).toString(), QStringLiteral("5000002"));

    const qint64 second =
        OutboxRows::add({.number = QStringLiteral("082"), .send = true, .eventId = QStringLiteral("7")});
    const qint64 third =
        OutboxRows::add({.number = QStringLiteral("083"), .send = true, .eventId = QStringLiteral("8")});
    scriptAnswer(gateway, QStringLiteral("SentID"),
                 QStringLiteral("<html><body><table id=\"x\" class=datagrid>\n"
                                "<tr><td>sentid</td><td>phonenumber</td><td>data</td><td>datetime</td>"
                                "<td>customerid</td><td>sentstatus</td></tr>\n"
                                "<tr><td>ab-%1</td><td>082</td><td>x</td><td>d</td><td>%1</td><td>Pending</td></tr>\n"
                                "<tr><td>cd-%2</td><td>083</td><td>y</td><td>d</td><td> %2 </td><td> sent </td></tr>\n"
                                "<tr><td>ef</td><td>084</td><td>z</td><td>d</td><td>NoNe</td><td>sent</td></tr>\n"
                                "<tr><td>gh</td><td>085</td><td>z</td><td>d</td><td></td><td>sent</td></tr>\n"
                                "</body></html>")
                     .arg(second)
                     .arg(third));
    click(&window, "cmdGetReport");
    QCOMPARE(boxes.titles(), QStringList({"DONE", "DONE"}));
    QCOMPARE(text(&window, "lblStatus"), QStringLiteral("Parsing report rows 5 / 5 ..."));
    QCOMPARE(deliveries(), QStringList({"delivered/5000001", "delivered/5000002",
                                        QStringLiteral("not delivered/AB-%1").arg(second),
                                        QStringLiteral("delivered/CD-%1").arg(third)}));
    QCOMPARE(list->rowCount(), 4);
    QCOMPARE(list->value(0, QStringLiteral("SMSSendID")).toLongLong(), third);
    QCOMPARE(list->value(0, QStringLiteral("Delivered")).toInt(), 1);
    saveScreenshot(&window, QStringLiteral("frmGetSendReport"));
}

// An unreachable gateway is an empty page and still "DONE"; a refused commit is an ERROR, never "DONE".
void tst_sendReceiveWindows::reportFailures()
{
    SQLITE_FILE_ONLY("a deferred foreign key refuses the commit");
    TestHome home;
    GatewayProcess gateway;
    QVERIFY2(gateway.isRunning(), qPrintable(gateway.output()));
    gateway.use();
    const qint64 row = OutboxRows::add({.number = QStringLiteral("082"), .send = true, .eventId = QStringLiteral("1")});
    ScriptedMessageBoxes boxes;
    frmGetSendReport window;
    for (const QString &sql :
         {QStringLiteral("PRAGMA foreign_keys = ON"), QStringLiteral("CREATE TABLE Parent (ID INTEGER PRIMARY KEY)"),
          QStringLiteral("CREATE TABLE Child (Ref INTEGER REFERENCES Parent(ID) "
                         "DEFERRABLE INITIALLY DEFERRED)"),
          QStringLiteral("CREATE TRIGGER Refuse AFTER UPDATE ON SMSSend BEGIN "
                         "INSERT INTO Child VALUES (7); END")})
        Database::run(sql);
    scriptAnswer(
        gateway, QStringLiteral("SentID"),
        QStringLiteral("DATAGRID><tr><td>9</td><td></td><td></td><td></td><td>%1</td><td>Sent</td></tr>").arg(row));
    click(&window, "cmdGetReport");
    QCOMPARE(boxes.titles(), QStringList({"ERROR"}));
    QVERIFY2(boxes.last().text.contains(QStringLiteral("FOREIGN KEY")), qPrintable(boxes.last().text));
    QCOMPARE(text(&window, "lblStatus"), QStringLiteral("ERROR"));
    QCOMPARE(Database::value(QStringLiteral("SELECT Delivered FROM SMSSend")).toInt(), 0);

    gateway.stop();
    click(&window, "cmdGetReport");
    QCOMPARE(boxes.titles(), QStringList({"ERROR", "DONE"}));
    QCOMPARE(text(&window, "lblStatus"), QStringLiteral("Parsing report rows 0 / 0 ..."));
    QCOMPARE(QApplication::overrideCursor(), nullptr);
}

void tst_sendReceiveWindows::repliesAreStoredOnceAndShownWithTheirContact()
{
    TestHome home;
    GatewayProcess gateway;
    QVERIFY2(gateway.isRunning(), qPrintable(gateway.output()));
    gateway.use();
    const qint64 client =
        Database::insert(QStringLiteral("INSERT INTO Clients (FirstName, LastName) VALUES ('Ann', 'van Wyk')"));
    const qint64 message = Database::insert(
        QStringLiteral("INSERT INTO SMSSend (ClientID, Number, Message, Send) VALUES (?, '082', 'Pay now', 1)"),
        {client});
    Database::run(QStringLiteral("INSERT INTO SMSReplies (IncomingID, Message) VALUES ('R1', 'earlier'), "
                                 "(' R2 ', 'earlier')"));
    const auto reply = [](const QString &id, const QString &text, const QString &customer) {
        return QStringLiteral("<reply><id>%1</id><x/><from>0821234567</from><text>%2</text>"
                              "<received>2026-12-06 10:00:00</received><sent>  Pay now  </sent>"
                              "<sentdate>2026-12-06 09:05:00</sentdate><customer>%3</customer></reply>")
            .arg(id, text, customer);
    };
    scriptAnswer(gateway, QStringLiteral("replies"),
                 QStringLiteral("<replies>") + reply(QStringLiteral("R1"), QStringLiteral("again"), QStringLiteral("1"))
                     + reply(QStringLiteral("R2"), QStringLiteral("again"), QStringLiteral("1"))
                     + reply(QString(), QStringLiteral("no id"), QStringLiteral("1"))
                     + reply(QStringLiteral("   "), QStringLiteral("blank id"), QStringLiteral("1"))
                     + reply(QStringLiteral("R3"), QStringLiteral("  Who is this?  "), QStringLiteral("0"))
                     + reply(QStringLiteral("R4"), QStringLiteral("Paid"), QString::number(message))
                     + QStringLiteral("</replies>"));
    ScriptedMessageBoxes boxes;
    frmGetReplies window;
    window.show();
    QCOMPARE(window.list()->rowCount(), 2);
    click(&window, "cmdGetReplies");
    QCOMPARE(boxes.titles(), QStringList({"DONE"}));
    QCOMPARE(boxes.last().text, QStringLiteral("Done getting replies."));
    QCOMPARE(text(&window, "lblStatus"), QStringLiteral("Ready ..."));
    const QueryListModel *list = window.list();
    QCOMPARE(list->rowCount(), 4);
    QCOMPARE(list->value(0, QStringLiteral("IncomingID")).toString(), QStringLiteral("R4"));
    QCOMPARE(list->value(1, QStringLiteral("IncomingID")).toString(), QStringLiteral("R3"));
    QCOMPARE(listText(list, 1, QStringLiteral("ReceivedDateTime")), QStringLiteral("06/12/2026 10:00"));

    auto *grid = child<QTableView>(&window, "grdList");
    const auto clickRow = [&](int row) {
        const QModelIndex cell = list->index(row, list->columnOf(QStringLiteral("Message")));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(cell).center());
    };
    clickRow(0);
    QCOMPARE(text(&window, "lblCustomer"), QStringLiteral("Ann van Wyk"));
    QCOMPARE(text(&window, "lblMessageReceived"), QStringLiteral("Paid"));
    clickRow(1); // SMSSendID 0: no contact
    QCOMPARE(text(&window, "lblMessageReceived"), QStringLiteral("Who is this?"));
    QCOMPARE(text(&window, "lblMessageSent"), QStringLiteral("Pay now"));
    QCOMPARE(text(&window, "lblCustomer"), QString());
    saveScreenshot(&window, QStringLiteral("frmGetReplies"));
}

// The main window's hidden menu entries and the number list's hidden Send Now open the windows modally.
void tst_sendReceiveWindows::hiddenEntriesOpenTheWindows()
{
    TestHome home;
    ScriptedMessageBoxes boxes;
    {
        frmMain main;
        main.show();
        QVERIFY(!child<QMenu>(&main, "mnuSMSSendReceive")->menuAction()->isVisible());
        QCOMPARE(modalOpenedBy([&] { child<QAction>(&main, "mnuSMSSendReceiveSend")->trigger(); }),
                 QStringLiteral("frmSendMessages"));
        QCOMPARE(modalOpenedBy([&] { child<QAction>(&main, "mnuSMSSendReceiveReport")->trigger(); }),
                 QStringLiteral("frmGetSendReport"));
        QCOMPARE(modalOpenedBy([&] { child<QAction>(&main, "mnuSMSSendReceiveReplies")->trigger(); }),
                 QStringLiteral("frmGetReplies"));
    }

    frmSendToGroupNo numbers;
    numbers.show();
    auto *sendNow = child<QPushButton>(&numbers, "cmdSendNow");
    QVERIFY(!sendNow->isVisible());
    numbers.findChild<ComposerBlock *>()->setBody(1, QStringLiteral("Hello"));
    auto *grid = numbers.findChild<NumberGrid *>();
    grid->setRowCount(2);
    grid->setItem(0, 0, new QTableWidgetItem(QStringLiteral("0821234567")));
    grid->setItem(1, 0, new QTableWidgetItem(QStringLiteral("0827654321")));
    QString left;
    QCOMPARE(modalOpenedBy([&] { sendNow->click(); }, [&](QWidget *opened) { left = text(opened, "lblLeft"); }),
             QStringLiteral("frmSendMessages"));
    QCOMPARE(left, QStringLiteral("2 / 2"));
    QCOMPARE(boxes.titles(), QStringList({"ADDED"}));
    QVERIFY(!sendNow->isEnabled());

    frmSendToSingle single;
    single.show();
    auto *singleSendNow = child<QPushButton>(&single, "cmdSendNow");
    QVERIFY(!singleSendNow->isVisible());
    child<QLineEdit>(&single, "txtCellphone")->setText(QStringLiteral("0829999999"));
    single.findChild<ComposerBlock *>()->setBody(1, QStringLiteral("Hello"));
    QCOMPARE(modalOpenedBy([&] { singleSendNow->click(); }, [&](QWidget *opened) { left = text(opened, "lblLeft"); }),
             QStringLiteral("frmSendMessages"));
    QCOMPARE(left, QStringLiteral("3 / 3"));
    QVERIFY(!singleSendNow->isEnabled());
}

QTEST_MAIN(tst_sendReceiveWindows)
#include "tst_sendReceiveWindows.moc"
