#include "AppScenes.h"

#include "data/Database.h"
#include "settings/frmAbout.h"
#include "ui/HelpWindow.h"
#include "ui/MessageBoxes.h"

#include <QApplication>
#include <QFont>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

using namespace Qt::StringLiterals;

namespace {

QStringList actionNames(const QList<QAction *> &actions)
{
    QStringList names;
    for (const QAction *action : actions)
        names << action->objectName();
    return names;
}

QStringList shownCaptions(const QTableView *grid)
{
    QStringList captions;
    for (int column = 0; column < grid->model()->columnCount(); ++column)
        if (!grid->isColumnHidden(column))
            captions << grid->model()->headerData(column, Qt::Horizontal).toString();
    return captions;
}

} // namespace

class tst_frmMain : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { HelpWindow::installF1(*qApp); }
    void init() { home = std::make_unique<TestHome>(); }
    void cleanup() { home.reset(); }

    void freshStartShowsTitleCreditsStatusAndLists()
    {
        frmMain window;
        window.show();
        QCOMPARE(window.windowTitle(), u"Tellwave - V %1"_s.arg(QStringLiteral(TELLWAVE_VERSION)));
        const std::pair<const char *, QString> labels[] = {{"lblCredits", u"0"_s},
                                                           {"Panels_1", u"Ready ..."_s},
                                                           {"Panels_2", Database::path()},
                                                           {"grdInbox_Caption", u"Inbox"_s},
                                                           {"grdOutbox_Caption", u"Outbox"_s}};
        for (const auto &[name, text] : labels)
            QCOMPARE(window.findChild<QLabel *>(QLatin1String(name))->text(), text);
        QVERIFY(!window.findChild<QWidget *>(u"ProgressBar1"_s)->isVisible());

        auto *inbox = window.findChild<QTableView *>(u"grdInbox"_s);
        auto *outbox = window.findChild<QTableView *>(u"grdOutbox"_s);
        const QStringList outboxCaptions{u"To"_s,        u"Message"_s, u"Send Date"_s,
                                         u"Send Time"_s, u"Sent"_s,    u"Delivered"_s};
        QCOMPARE(shownCaptions(inbox), QStringList({"Received", "From", "Message"}));
        QCOMPARE(shownCaptions(outbox), outboxCaptions);
        saveScreenshot(&window, u"frmMain-empty"_s);
        // Hidden columns stay hidden after the lists are read again.
        OutboxRows::queue(u"0820000001"_s);
        window.refreshOutbox();
        QCOMPARE(shownCaptions(outbox), outboxCaptions);
        QCOMPARE(outbox->horizontalHeader()->sectionResizeMode(3), QHeaderView::Stretch);

        // The lists share the height, one above the other, at any size.
        window.resize(1200, 900);
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCoreApplication::processEvents();
        QVERIFY(qAbs(inbox->height() - outbox->height()) <= 1);
        QVERIFY(outbox->geometry().top() > inbox->geometry().bottom());
        window.resize(100, 60); // far below the smallest useful size
        QCoreApplication::processEvents();
        QVERIFY(inbox->height() >= 100 && inbox->width() >= 300);
        QVERIFY(qAbs(inbox->height() - outbox->height()) <= 1);
    }

    void commandBarAndMenusHaveTheirEntries()
    {
        frmMain window;
        window.show();
        auto *bar = window.findChild<QToolBar *>(u"vbalCommandBar1"_s);
        QCOMPARE(actionNames(bar->actions()), QStringList({"NEW", "CONTACTS", "SENDNOW"}));
        QCOMPARE(window.commandButton(u"SENDNOW"_s)->text(), u"Send/Receive"_s);
        // The "SENDNOW" bar, titled "New", is the drop-down of "NEW"; the "EDIT" bar that of "SENDNOW". The
        // drop-down buttons open their bar when their face is clicked.
        const std::tuple<QString, QString, QStringList> dropDowns[] = {
            {u"NEW"_s, u"SENDNOW"_s, {"NEW:SINGLE", "NEW:BULK", "NEW:SEP1", "NEW:NONUMBER"}},
            {u"SENDNOW"_s, u"EDIT"_s, {"SENDNOW:SENDRECEIVE", "SENDNOW:SEP1", "SENDNOW:SENDNOW", "SENDNOW:RECEIVENOW"}},
        };
        for (const auto &[button, menu, entries] : dropDowns) {
            QCOMPARE(window.commandButton(button)->menu(), window.commandBar(menu));
            QCOMPARE(actionNames(window.commandBar(menu)->actions()), entries);
            auto *face = qobject_cast<QToolButton *>(bar->widgetForAction(window.commandButton(button)));
            QCOMPARE(face->popupMode(), QToolButton::InstantPopup);
        }
        QCOMPARE(window.commandBar(u"SENDNOW"_s)->title(), u"New"_s);

        auto visibleTexts = [&window](const char *menu) { // no menu: the menu bar
            QStringList texts;
            const QWidget *holder =
                menu ? static_cast<QWidget *>(window.findChild<QMenu *>(QLatin1String(menu))) : window.menuBar();
            for (const QAction *action : holder->actions())
                if (action->isVisible())
                    texts << (action->isSeparator() ? u"-"_s : action->text());
            return texts;
        };
        QCOMPARE(visibleTexts("mnuSetup"), QStringList({"&Contacts", "&Groups", "&Message Templates...", "-",
                                                        "&Program Setup", "&Opt-out List...", "&Reports..."}));
        QCOMPARE(visibleTexts("mnuSMS"), QStringList({"Import &Text File"}));
        QCOMPARE(visibleTexts(nullptr), QStringList({"&File", "&Setup", "&Bulk Import", "&Help"}));
        QCOMPARE(visibleTexts("mnuHelp"), QStringList({"Help &Contents", "-", "&About"}));
        QCOMPARE(window.findChild<QAction *>(u"mnuHelpContents"_s)->shortcut(), QKeySequence(Qt::Key_F1));

        // About is found under Help, from the keyboard too.
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTest::keyClick(&window, Qt::Key_H, Qt::AltModifier);
        QTRY_VERIFY(QApplication::activePopupWidget());
        QCOMPARE(QApplication::activePopupWidget(), window.findChild<QMenu *>(u"mnuHelp"_s));
        QCOMPARE(modalOpenedBy([] { QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_A); }), u"frmAbout"_s);
    }

    // Help Contents, from the Help menu, opens the help page at its top, where its contents are; F1 opens it at the
    // section about the window in use, also from a message box over it.
    void helpOpensAtItsTopFromTheMenuAndAtTheWindowWithF1_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("shows"); // the anchor; empty: the top
        QTest::newRow("Help Contents") << QStringList{u"menu"_s} << u""_s;
        QTest::newRow("F1 in the outbox") << QStringList{u"F1"_s} << u"frmMain"_s;
        QTest::newRow("Help Contents after F1") << QStringList{u"F1"_s, u"menu"_s} << u""_s;
        QTest::newRow("F1 in a message box") << QStringList{u"box"_s} << u"frmMain"_s;
    }

    void helpOpensAtItsTopFromTheMenuAndAtTheWindowWithF1()
    {
        QFETCH(QStringList, steps);
        QFETCH(QString, shows);
        HelpWindow::useHelpFile(QStringLiteral(TELLWAVE_HELP_PAGE));
        frmMain window;
        window.show();
        std::unique_ptr<QMessageBox> box;
        for (const QString &step : steps) {
            window.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&window));
            if (step == u"menu"_s) {
                QTest::keyClick(&window, Qt::Key_H, Qt::AltModifier);
                QTRY_VERIFY(QApplication::activePopupWidget());
                QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_C);
            } else if (step == u"F1"_s) {
                QTest::keyClick(window.findChild<QTableView *>(u"grdOutbox"_s), Qt::Key_F1);
            } else {
                box = MessageBoxes::build(
                    &window, {u"DELETE"_s, u"Delete?"_s, QMessageBox::Question, QMessageBox::Yes | QMessageBox::No});
                box->show();
                QVERIFY(QTest::qWaitForWindowActive(box.get()));
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_F1);
            }
        }
        HelpWindow *help = window.findChild<HelpWindow *>();
        QVERIFY2(help && help->isVisible(), "no help opened");
        QTRY_VERIFY2(helpShows(help, shows),
                     qPrintable(u"the help is not at "_s + (shows.isEmpty() ? u"its top"_s : shows)));
        if (QTest::currentDataTag() == "F1 in the outbox"_L1)
            saveScreenshot(help, u"HelpWindow-frmMain"_s);
        box.reset();
        HelpWindow::useHelpFile(QString());
    }

    void outboxRowsAreStyledByTheirState()
    {
        struct Case
        {
            OutboxRows::Row row;
            QColor colour; // invalid: no colour, and the text is bold
        };
        const Case cases[] = {
            {{.number = u"0820000001"_s}, QColor()},
            {{.number = u"0820000002"_s, .send = true, .eventId = u"5000001"_s}, QColor(251, 253, 187)},
            {{.number = u"0820000003"_s, .send = true, .eventId = u"0"_s}, QColor(255, 205, 205)},
            {{.number = u"0820000004"_s, .send = true, .eventId = u"5000002"_s, .delivered = true},
             QColor(206, 251, 208)},
        };
        QList<qint64> ids;
        for (const Case &c : cases)
            ids << OutboxRows::add(c.row);
        frmMain window;
        window.show();
        const QueryListModel *list = window.outboxList();
        QCOMPARE(list->rowCount(), 4);
        QCOMPARE(rowWithKey(list, ids.last()), 0); // newest first
        for (qsizetype i = 0; i < ids.size(); ++i) {
            const QModelIndex sent = outboxCell(window, ids[i], u"Send"_s);
            // Every cell of the row carries the style, and yes/no columns are check boxes.
            for (const QModelIndex &cell : {sent.siblingAtColumn(3), sent}) {
                QCOMPARE(cell.data(Qt::BackgroundRole).value<QColor>(), cases[i].colour);
                QCOMPARE(cell.data(Qt::FontRole).value<QFont>().bold(), !cases[i].colour.isValid());
            }
            QCOMPARE(sent.data(Qt::CheckStateRole).toInt(), int(cases[i].row.send ? Qt::Checked : Qt::Unchecked));
        }
        QCOMPARE(outboxCell(window, ids[0], u"SendDate"_s).data().toString(), u"06/12/2026"_s);
        saveScreenshot(&window, u"frmMain-styles"_s);
    }

    void onlyQueuedRowsAreDeletedAndOnlyAfterConfirmation()
    {
        const qint64 sent = OutboxRows::add({.number = u"0820000001"_s, .send = true, .eventId = u"5000001"_s});
        const qint64 first = OutboxRows::queue(u"0820000002"_s);
        const qint64 second = OutboxRows::queue(u"0820000003"_s);
        frmMain window;
        window.show();
        auto *grid = window.findChild<QTableView *>(u"grdOutbox"_s);
        const QueryListModel *list = window.outboxList();
        ScriptedMessageBoxes boxes;
        auto deleteRows = [&](const QList<qint64> &ids, QMessageBox::StandardButton answer) {
            grid->setCurrentIndex(list->index(rowWithKey(list, ids.first()), 2)); // selects that row alone
            for (qint64 id : ids)
                grid->selectionModel()->select(list->index(rowWithKey(list, id), 0),
                                               QItemSelectionModel::Select | QItemSelectionModel::Rows);
            QCOMPARE(grid->selectionModel()->selectedRows().size(), ids.size());
            boxes.answer(answer);
            QTest::keyClick(grid, Qt::Key_Delete);
        };

        // Refused when any selected row was sent, not only the current one.
        deleteRows({first, sent}, QMessageBox::Yes);
        QCOMPARE(boxes.titles(), QStringList{u"DELETE"_s});
        QCOMPARE(boxes.last().text, u"Can not delete a message that has already been sent."_s);
        QCOMPARE(boxes.last().icon, QMessageBox::Information);
        QCOMPARE(OutboxRows::count(), 3);

        boxes.clear();
        deleteRows({first, second}, QMessageBox::No);
        QCOMPARE(boxes.titles(), QStringList{u"DELETE"_s});
        QCOMPARE(boxes.last().buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(OutboxRows::count(), 3);
        deleteRows({first, second}, QMessageBox::Yes);
        QCOMPARE(OutboxRows::states(), QStringList{u"5000001"_s});
        QCOMPARE(list->rowCount(), 1); // the list was read again
    }

    void entriesOpenTheirWindowsModallyAndTheListsAreReadAfterwards()
    {
        ScriptedMessageBoxes boxes;
        frmMain window;
        window.show();
        // Command-bar keys, menu entries (hidden ones too) and function keys; what a composition window queues
        // while it is open shows in the outbox once it closes. The drop-down buttons and unknown keys open nothing.
        const std::tuple<const char *, const char *, bool> entries[] = {
            {"NEW:SINGLE", "frmSendToSingle", true},
            {"new:bulk", "frmSendToGroup", true},
            {"NEW:NONUMBER", "frmSendToGroupNo", true},
            {"mnuSMSKestrelImport", "frmImport", true},
            {"F5", "frmListClients", false},
            {"CONTACTS", "frmListClients", false},
            {"F6", "frmListGroups", false},
            {"mnuSetupSetup", "frmSetup", false},
            {"mnuAbout", "frmAbout", false},
            {"NEW", "", false},
            {"SENDNOW", "", false},
            {"SEP1", "", false},
            {"NOSUCHKEY", "", false},
            {"mnuSMSSendReceiveSend", "frmSendMessages", false},
            {"mnuSMSSendReceiveReport", "frmGetSendReport", false},
            {"mnuSMSSendReceiveReplies", "frmGetReplies", false},
            {"mnuSetupTemplates", "frmTemplates", false},
        };
        int queued = 0;
        for (const auto &[entry, opened, queues] : entries) {
            window.activateWindow(); // back from the last window
            QVERIFY(QTest::qWaitForWindowActive(&window));
            const QString name = QLatin1String(entry);
            const auto open = [&] {
                if (name.startsWith(u"mnu"_s))
                    window.findChild<QAction *>(name)->trigger();
                else if (name == u"F5"_s || name == u"F6"_s)
                    QTest::keyClick(&window, name == u"F5"_s ? Qt::Key_F5 : Qt::Key_F6);
                else
                    window.vbalCommandBar1_ButtonClick(name);
            };
            const auto queue = [queues](QWidget *) {
                if (queues)
                    OutboxRows::queue(u"0820000001"_s);
            };
            QCOMPARE(modalOpenedBy(open, queue), QLatin1String(opened));
            QCOMPARE(window.outboxList()->rowCount(), queues ? ++queued : queued);
        }
        QCOMPARE(boxes.count(), 0);

        frmAbout about;
        QCOMPARE(about.windowTitle(), u"About Program"_s);
        QVERIFY(about.findChild<QLabel *>(u"Label2"_s)->text().startsWith(u"Banking Details\n"_s));
        about.show();
        saveScreenshot(&about, u"frmAbout"_s);
        QTest::mouseClick(about.findChild<QPushButton *>(u"cmdClose"_s), Qt::LeftButton);
        QVERIFY(!about.isVisible());
    }

    // The outbox shows its newest page first and reads the next as the view scrolls to the end, every row
    // once, newest first; read again after a change it shows as many rows as before, the new one on top,
    // and the one pushed off the end comes with the next scroll.
    void theOutboxReadsOnAsItScrollsAndKeepsItsRowsWhenReadAgain()
    {
        QList<qint64> ids;
        {
            Database::Transaction transaction;
            for (int i = 0; i < 600; ++i)
                ids.prepend(OutboxRows::queue(u"082%1"_s.arg(1000000 + i)));
            transaction.commit();
        }
        frmMain window;
        window.resize(1000, 700);
        window.show();
        QueryListModel *list = window.outboxList();
        QVERIFY(list->rowCount() < ids.size());
        auto *grid = window.findChild<QTableView *>(u"grdOutbox"_s);
        for (int scrolls = 0; scrolls < 10 && list->rowCount() < ids.size(); ++scrolls) {
            grid->scrollToBottom();
            QCoreApplication::processEvents();
        }
        QList<qint64> shown;
        for (int row = 0; row < list->rowCount(); ++row)
            shown << list->value(row, u"SMSSendID"_s).toLongLong();
        QCOMPARE(shown, ids);

        const qint64 newest = OutboxRows::queue(u"0829999999"_s);
        window.refreshOutbox();
        QCOMPARE(list->rowCount(), ids.size());
        QCOMPARE(list->value(0, u"SMSSendID"_s).toLongLong(), newest);
        grid->scrollToBottom();
        QCoreApplication::processEvents();
        QCOMPARE(list->rowCount(), ids.size() + 1);
        QCOMPARE(list->value(int(ids.size()), u"SMSSendID"_s).toLongLong(), ids.last());
    }

private:
    std::unique_ptr<TestHome> home;
};

QTEST_MAIN(tst_frmMain)
#include "tst_frmMain.moc"
