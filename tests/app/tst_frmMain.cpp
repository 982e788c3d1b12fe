#include "GuiTestSupport.h"
#include "OutboxRows.h"

#include "app/frmMain.h"
#include "app/modMain.h"
#include "data/Database.h"
#include "settings/frmAbout.h"
#include "ui/QueryListModel.h"

#include <QApplication>
#include <QFont>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

namespace {

int rowOf(const QueryListModel *list, qint64 id)
{
    for (int row = 0; row < list->rowCount(); ++row)
        if (list->value(row, QStringLiteral("SMSSendID")).toLongLong() == id)
            return row;
    return -1;
}

QStringList actionNames(const QList<QAction *> &actions)
{
    QStringList names;
    for (const QAction *action : actions)
        names << action->objectName();
    return names;
}

// Runs an action and tells the class of the modal window it opened (closed
// again at once, after whileOpen ran), or an empty text when none opened.
QString modalOpenedBy(const std::function<void()> &action, const std::function<void(QWidget *)> &whileOpen = {})
{
    QString seen;
    QTimer::singleShot(0, [&seen, &whileOpen] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            seen = QString::fromLatin1(modal->metaObject()->className());
            if (whileOpen)
                whileOpen(modal);
            modal->close();
        }
    });
    action();
    QCoreApplication::processEvents(); // the check runs here when nothing opened
    return seen;
}

} // namespace

class tst_frmMain : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void freshStartShowsTitleCreditsAndStatus();
    void commandBarAndMenusHaveTheirEntries();
    void listsHaveTheirColumnsAndCaptions();
    void outboxRowsAreStyledByTheirState();
    void deletionIsRefusedWhenAnySelectedRowWasSent();
    void queuedRowsAreDeletedAfterConfirmation();
    void compositionWindowsOpenModallyAndTheListsAreReadAfterwards();
    void aboutWindowShowsTheSupplierBlocks();
    void listsShareTheHeightWhenResized();
};

void tst_frmMain::freshStartShowsTitleCreditsAndStatus()
{
    TestHome home;
    frmMain window;
    window.show();
    QCOMPARE(window.windowTitle(), QStringLiteral("Tellwave - V %1").arg(QStringLiteral(TELLWAVE_VERSION)));
    QCOMPARE(window.findChild<QLabel *>(QStringLiteral("lblCredits"))->text(), QStringLiteral("0"));
    QCOMPARE(window.findChild<QLabel *>(QStringLiteral("Label2"))->text(), QStringLiteral("Credits Left:"));
    QCOMPARE(window.findChild<QPushButton *>(QStringLiteral("cmdCheckCredits"))->text(), QStringLiteral("Check Credits"));
    QCOMPARE(window.findChild<QLabel *>(QStringLiteral("Panels_1"))->text(), QStringLiteral("Ready ..."));
    QCOMPARE(window.findChild<QLabel *>(QStringLiteral("Panels_2"))->text(), modMain::DatabasePath);
    QVERIFY(window.findChild<QStatusBar *>(QStringLiteral("StatusBar1")));
    QVERIFY(!window.findChild<QWidget *>(QStringLiteral("ProgressBar1"))->isVisible());
    saveScreenshot(&window, QStringLiteral("frmMain-empty"));
}

void tst_frmMain::commandBarAndMenusHaveTheirEntries()
{
    TestHome home;
    frmMain window;
    window.show();
    auto *bar = window.findChild<QToolBar *>(QStringLiteral("vbalCommandBar1"));
    QCOMPARE(actionNames(bar->actions()), QStringList({"NEW", "CONTACTS", "SENDNOW"}));
    QCOMPARE(window.commandButton(QStringLiteral("SENDNOW"))->text(), QStringLiteral("Send/Receive"));
    // The "SENDNOW" bar, titled "New", is the drop-down of "NEW"; the "EDIT" bar that of "SENDNOW".
    QCOMPARE(window.commandButton(QStringLiteral("NEW"))->menu(), window.commandBar(QStringLiteral("SENDNOW")));
    QCOMPARE(window.commandBar(QStringLiteral("SENDNOW"))->title(), QStringLiteral("New"));
    QCOMPARE(actionNames(window.commandBar(QStringLiteral("SENDNOW"))->actions()),
             QStringList({"NEW:SINGLE", "NEW:BULK", "NEW:SEP1", "NEW:NONUMBER"}));
    QCOMPARE(window.commandButton(QStringLiteral("SENDNOW"))->menu(), window.commandBar(QStringLiteral("EDIT")));
    QCOMPARE(actionNames(window.commandBar(QStringLiteral("EDIT"))->actions()),
             QStringList({"SENDNOW:SENDRECEIVE", "SENDNOW:SEP1", "SENDNOW:SENDNOW", "SENDNOW:RECEIVENOW"}));
    // The drop-down buttons open their bar when their face is clicked.
    for (const char *key : {"NEW", "SENDNOW"}) {
        auto *face = qobject_cast<QToolButton *>(bar->widgetForAction(window.commandButton(QString::fromLatin1(key))));
        QCOMPARE(face->popupMode(), QToolButton::InstantPopup);
    }

    auto visibleTexts = [&window](const char *menu) {
        QStringList texts;
        for (const QAction *action : window.findChild<QMenu *>(QString::fromLatin1(menu))->actions())
            if (action->isVisible())
                texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
        return texts;
    };
    QCOMPARE(visibleTexts("mnuSetup"), QStringList({"&Contacts", "&Groups", "-", "&Program Setup"}));
    QCOMPARE(visibleTexts("mnuSMS"), QStringList({"Import &Text File"}));
    QCOMPARE(actionNames(window.findChild<QMenu *>(QStringLiteral("mnuSMS"))->actions()),
             QStringList({"mnuSMSGroup", "mnuSMSSingle", "mnuSMSGroupNo", "mnuSMSSep1", "mnuSMSKestrelImport",
                          "mnuSMSSep2", "mnuSMSSendReceive"}));
    QCOMPARE(window.findChild<QAction *>(QStringLiteral("mnuSetupGroups"))->shortcut(), QKeySequence(Qt::Key_F6));
    QStringList top;
    for (const QAction *action : window.menuBar()->actions())
        top << action->text();
    QCOMPARE(top, QStringList({"&File", "&Setup", "&Bulk Import", "&About"}));
}

void tst_frmMain::listsHaveTheirColumnsAndCaptions()
{
    TestHome home;
    frmMain window;
    window.show();
    auto shown = [](const QTableView *grid) {
        QStringList captions;
        for (int column = 0; column < grid->model()->columnCount(); ++column)
            if (!grid->isColumnHidden(column))
                captions << grid->model()->headerData(column, Qt::Horizontal).toString();
        return captions;
    };
    auto *inbox = window.findChild<QTableView *>(QStringLiteral("grdInbox"));
    auto *outbox = window.findChild<QTableView *>(QStringLiteral("grdOutbox"));
    QCOMPARE(inbox->model()->columnCount(), 11);
    QCOMPARE(outbox->model()->columnCount(), 11);
    QCOMPARE(shown(inbox), QStringList({"Received", "From", "Message"}));
    QCOMPARE(shown(outbox), QStringList({"To", "Message", "Send Date", "Send Time", "Sent", "Delivered"}));
    QCOMPARE(window.findChild<QLabel *>(QStringLiteral("grdInbox_Caption"))->text(), QStringLiteral("Inbox"));
    QCOMPARE(window.findChild<QLabel *>(QStringLiteral("grdOutbox_Caption"))->text(), QStringLiteral("Outbox"));

    // Hidden columns stay hidden after the lists are read again.
    OutboxRows::queue(QStringLiteral("0820000001"));
    window.refreshOutbox();
    QCOMPARE(shown(outbox), QStringList({"To", "Message", "Send Date", "Send Time", "Sent", "Delivered"}));
    QCOMPARE(outbox->horizontalHeader()->sectionResizeMode(3), QHeaderView::Stretch);
}

void tst_frmMain::outboxRowsAreStyledByTheirState()
{
    TestHome home;
    const qint64 queued = OutboxRows::queue(QStringLiteral("0820000001"));
    const qint64 sent =
        OutboxRows::add({.number = QStringLiteral("0820000002"), .send = true, .eventId = QStringLiteral("5000001")});
    const qint64 refused =
        OutboxRows::add({.number = QStringLiteral("0820000003"), .send = true, .eventId = QStringLiteral("0")});
    const qint64 delivered = OutboxRows::add({.number = QStringLiteral("0820000004"),
                                              .send = true,
                                              .eventId = QStringLiteral("5000002"),
                                              .delivered = true});
    frmMain window;
    window.show();
    const QueryListModel *list = window.outboxList();
    QCOMPARE(list->rowCount(), 4);
    QCOMPARE(rowOf(list, delivered), 0); // newest first

    auto look = [list](qint64 id, int role) { return list->index(rowOf(list, id), 3).data(role); };
    QCOMPARE(look(delivered, Qt::BackgroundRole).value<QColor>(), QColor(206, 251, 208));
    QCOMPARE(look(sent, Qt::BackgroundRole).value<QColor>(), QColor(251, 253, 187));
    QCOMPARE(look(refused, Qt::BackgroundRole).value<QColor>(), QColor(255, 205, 205));
    QVERIFY(!look(queued, Qt::BackgroundRole).isValid());
    QVERIFY(look(queued, Qt::FontRole).value<QFont>().bold());
    QVERIFY(!look(sent, Qt::FontRole).isValid());
    // Every cell of the row carries the style, and yes/no columns are check boxes.
    const int sentColumn = list->columnOf(QStringLiteral("Send"));
    QCOMPARE(list->index(rowOf(list, delivered), sentColumn).data(Qt::BackgroundRole).value<QColor>(), QColor(206, 251, 208));
    QCOMPARE(list->index(rowOf(list, delivered), sentColumn).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
    QCOMPARE(list->index(rowOf(list, queued), sentColumn).data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
    QCOMPARE(list->index(rowOf(list, queued), list->columnOf(QStringLiteral("SendDate"))).data().toString(),
             QStringLiteral("06/12/2026"));
    saveScreenshot(&window, QStringLiteral("frmMain-styles"));
}

void tst_frmMain::deletionIsRefusedWhenAnySelectedRowWasSent()
{
    TestHome home;
    const qint64 sent =
        OutboxRows::add({.number = QStringLiteral("0820000001"), .send = true, .eventId = QStringLiteral("5000001")});
    const qint64 queued = OutboxRows::queue(QStringLiteral("0820000002"));
    frmMain window;
    window.show();
    auto *grid = window.findChild<QTableView *>(QStringLiteral("grdOutbox"));
    const QueryListModel *list = window.outboxList();
    grid->selectRow(rowOf(list, sent));
    grid->selectionModel()->select(list->index(rowOf(list, queued), 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    grid->setCurrentIndex(list->index(rowOf(list, queued), 2)); // the current row is the queued one
    grid->selectionModel()->select(list->index(rowOf(list, sent), 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QCOMPARE(grid->selectionModel()->selectedRows().size(), 2);

    ScriptedMessageBoxes boxes;
    QTest::keyClick(grid, Qt::Key_Delete);
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.last().title, QStringLiteral("DELETE"));
    QCOMPARE(boxes.last().text, QStringLiteral("Can not delete a message that has already been sent."));
    QCOMPARE(boxes.last().icon, QMessageBox::Information);
    QCOMPARE(OutboxRows::count(), 2);
}

void tst_frmMain::queuedRowsAreDeletedAfterConfirmation()
{
    TestHome home;
    const qint64 first = OutboxRows::queue(QStringLiteral("0820000001"));
    const qint64 second = OutboxRows::queue(QStringLiteral("0820000002"));
    const qint64 kept = OutboxRows::queue(QStringLiteral("0820000003"));
    frmMain window;
    window.show();
    auto *grid = window.findChild<QTableView *>(QStringLiteral("grdOutbox"));
    const QueryListModel *list = window.outboxList();
    auto selectTwo = [&] {
        grid->clearSelection();
        for (qint64 id : {first, second})
            grid->selectionModel()->select(list->index(rowOf(list, id), 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
    };

    ScriptedMessageBoxes boxes;
    selectTwo();
    boxes.answer(QMessageBox::No);
    QTest::keyClick(grid, Qt::Key_Delete);
    QCOMPARE(boxes.last().title, QStringLiteral("DELETE"));
    QCOMPARE(boxes.last().buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(OutboxRows::count(), 3);

    selectTwo();
    boxes.answer(QMessageBox::Yes);
    QTest::keyClick(grid, Qt::Key_Delete);
    QCOMPARE(OutboxRows::count(), 1);
    QCOMPARE(Database::value(QStringLiteral("SELECT SMSSendID FROM SMSSend")).toLongLong(), kept);
    QCOMPARE(list->rowCount(), 1); // the list was read again
}

void tst_frmMain::compositionWindowsOpenModallyAndTheListsAreReadAfterwards()
{
    TestHome home;
    ScriptedMessageBoxes boxes;
    frmMain window;
    window.show();
    const QueryListModel *outbox = window.outboxList();
    struct Entry
    {
        std::function<void()> open;
        const char *window;
    };
    const Entry entries[] = {
        {[&] { window.vbalCommandBar1_ButtonClick(QStringLiteral("NEW:SINGLE")); }, "frmSendToSingle"},
        {[&] { window.vbalCommandBar1_ButtonClick(QStringLiteral("new:bulk")); }, "frmSendToGroup"},
        {[&] { window.vbalCommandBar1_ButtonClick(QStringLiteral("NEW:NONUMBER")); }, "frmSendToGroupNo"},
        {[&] { window.findChild<QAction *>(QStringLiteral("mnuSMSKestrelImport"))->trigger(); }, "frmImport"},
    };
    int queued = 0;
    for (const Entry &entry : entries) {
        // What the window queues while it is open shows in the outbox once it closes.
        const QString opened =
            modalOpenedBy(entry.open, [&](QWidget *) { OutboxRows::queue(QStringLiteral("0820000001")); });
        QCOMPARE(opened, QString::fromLatin1(entry.window));
        QCOMPARE(outbox->rowCount(), ++queued);
    }
    // The address book: F5 and "CONTACTS" open the contact list, F6 the group list.
    const std::pair<std::function<void()>, const char *> book[] = {
        {[&] { QTest::keyClick(&window, Qt::Key_F5); }, "frmListClients"},
        {[&] { window.vbalCommandBar1_ButtonClick(QStringLiteral("CONTACTS")); }, "frmListClients"},
        {[&] { QTest::keyClick(&window, Qt::Key_F6); }, "frmListGroups"},
    };
    for (const auto &[open, opened] : book) {
        window.activateWindow(); // back from the last window
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QCOMPARE(modalOpenedBy(open), QString::fromLatin1(opened));
    }
    // The drop-down buttons themselves and unknown keys open nothing.
    for (const char *key : {"NEW", "SENDNOW", "SEP1", "NOSUCHKEY"})
        QCOMPARE(modalOpenedBy([&] { window.vbalCommandBar1_ButtonClick(QString::fromLatin1(key)); }), QString());
    QCOMPARE(boxes.count(), 0);
}

void tst_frmMain::aboutWindowShowsTheSupplierBlocks()
{
    TestHome home;
    frmAbout about;
    QCOMPARE(about.windowTitle(), QStringLiteral("About Program"));
    const QStringList contact = about.findChild<QLabel *>(QStringLiteral("Label1"))->text().split(QLatin1Char('\n'));
    const QStringList banking = about.findChild<QLabel *>(QStringLiteral("Label2"))->text().split(QLatin1Char('\n'));
    QCOMPARE(contact.size(), 5);
    QCOMPARE(banking.size(), 6);
    QCOMPARE(banking.first(), QStringLiteral("Banking Details"));
    for (const QString &line : contact + banking)
        QVERIFY(!line.trimmed().isEmpty());
    QCOMPARE(about.findChild<QPushButton *>(QStringLiteral("cmdClose"))->text(), QStringLiteral("Close"));
    about.show();
    saveScreenshot(&about, QStringLiteral("frmAbout"));
    QTest::mouseClick(about.findChild<QPushButton *>(QStringLiteral("cmdClose")), Qt::LeftButton);
    QVERIFY(!about.isVisible());

    // The main window's About entry opens it modally.
    frmMain window;
    window.show();
    QCOMPARE(modalOpenedBy([&] { window.findChild<QAction *>(QStringLiteral("mnuAbout"))->trigger(); }),
             QStringLiteral("frmAbout"));
}

void tst_frmMain::listsShareTheHeightWhenResized()
{
    TestHome home;
    frmMain window;
    window.resize(1200, 900);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *inbox = window.findChild<QTableView *>(QStringLiteral("grdInbox"));
    auto *outbox = window.findChild<QTableView *>(QStringLiteral("grdOutbox"));
    QVERIFY(qAbs(inbox->height() - outbox->height()) <= 1);
    QVERIFY(outbox->geometry().top() > inbox->geometry().bottom());
    const QSize before = inbox->size();
    window.resize(100, 60); // far below the smallest useful size
    QCoreApplication::processEvents();
    QVERIFY(inbox->height() >= 100);
    QVERIFY(inbox->width() >= 300);
    QVERIFY(qAbs(inbox->height() - outbox->height()) <= 1);
    Q_UNUSED(before);
}

QTEST_MAIN(tst_frmMain)
#include "tst_frmMain.moc"
