#include "app/frmMain.h"
#include "compose/SingleQueue.h"
#include "contacts/frmListClients.h"
#include "conversations/Conversation.h"
#include "conversations/ConversationView.h"
#include "conversations/frmConversation.h"
#include "data/Database.h"
#include "gateway/RepliesRetrieval.h"
#include "outbox/OptOutList.h"
#include "ui/QueryListModel.h"
#include "ui/Shades.h"

#include "../gateway/GatewayTestSupport.h"
#include "GroupRows.h"
#include "GuiTestSupport.h"
#include "OutboxRows.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSqlQuery>
#include <QTableView>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// Queues one message through the outbox, then gives it the time and the state a send run would have.
qint64 sent(const QString &number, const QString &text, const QString &time, const QString &state = {})
{
    SingleQueue::queue({text}, number, 0);
    const qint64 id = Database::value(u"SELECT max(SMSSendID) FROM SMSSend"_s).toLongLong();
    Database::run(u"UPDATE SMSSend SET SendDate = '2026-12-06', SendTime = ? WHERE SMSSendID = ?"_s, {time, id});
    if (state == u"delivered"_s)
        Database::run(u"UPDATE SMSSend SET Send = 1, EventID = '5001', Delivered = 1 WHERE SMSSendID = ?"_s, {id});
    else if (state == u"failed"_s)
        Database::run(u"UPDATE SMSSend SET Send = 1, EventID = '0', FailReason = 'Refused' WHERE SMSSendID = ?"_s,
                      {id});
    else if (state == u"opted out"_s)
        Database::run(u"UPDATE SMSSend SET Send = 1, EventID = ? WHERE SMSSendID = ?"_s,
                      {OptOutList::OptedOutEventId, id});
    return id;
}

// A reply the gateway holds, from the number at the time (2026-12-06).
void reply(const GatewayProcess &gateway, const QString &id, const QString &from, const QString &text,
           const QString &time)
{
    gateway.admin(u"/admin/reply?user=demo&id=%1&from=%2&text=%3&sentmessage=x&received=2026-12-06%20%4"_s.arg(
        id, encodedForAdmin(from), encodedForAdmin(text), time));
}

QStringList rowsOf(const QTableView *view)
{
    QStringList rows;
    const QAbstractItemModel *model = view->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < model->columnCount(); ++column)
            cells << model->index(row, column).data().toString();
        rows << cells.join(u'|');
    }
    return rows;
}

} // namespace

class tst_conversations : public QObject
{
    Q_OBJECT

private slots:
    void oneThreadForEveryFormOfTheNumberInTimeOrderWithStates_data()
    {
        QTest::addColumn<QString>("opened");
        QTest::newRow("082...") << u"082 123 4567"_s;
        QTest::newRow("+27 82...") << u"+27 82 123 4567"_s;
        QTest::newRow("27 82...") << u"27 82 123 4567"_s;
    }

    void oneThreadForEveryFormOfTheNumberInTimeOrderWithStates()
    {
        QFETCH(QString, opened);
        GatewaySetup s;
        sent(u"082 123 4567"_s, u"Your order is ready"_s, u"09:00"_s, u"delivered"_s);
        sent(u"+27 82 123 4567"_s, u"Collect by Friday"_s, u"09:20"_s, u"failed"_s);
        sent(u"27 82 123 4567"_s, u"Reminder"_s, u"09:30"_s);
        sent(u"0821234567"_s, u"Special offer"_s, u"09:50"_s, u"opted out"_s);
        sent(u"0831234567"_s, u"Someone else"_s, u"09:15"_s);
        reply(s.gateway, u"R1"_s, u"27821234567"_s, u"Thanks"_s, u"09:10:05"_s);
        reply(s.gateway, u"R2"_s, u"+27821234567"_s, u"When?"_s, u"09:40:00"_s);
        reply(s.gateway, u"R3"_s, u"0831234567"_s, u"Not me"_s, u"09:16:00"_s);
        QVERIFY(RepliesRetrieval(s.host).FetchReplies());

        frmConversation window(opened, u"Ann Smith"_s);
        window.show();
        QCOMPARE(window.findChild<QLabel *>(u"lblWho"_s)->text(), u"Ann Smith (%1)"_s.arg(opened));
        QCOMPARE(rowsOf(window.view()),
                 QStringList({u"2026-12-06 09:00|Your order is ready||delivered"_s, u"2026-12-06 09:10||Thanks|"_s,
                              u"2026-12-06 09:20|Collect by Friday||failed \u2014 Refused"_s,
                              u"2026-12-06 09:30|Reminder||queued"_s, u"2026-12-06 09:40||When?|"_s,
                              u"2026-12-06 09:50|Special offer||opted out"_s}));
        // Sent rows are shaded as the outbox shades them; replies keep the list's colours.
        const QAbstractItemModel *model = window.view()->model();
        QCOMPARE(model->index(0, 1).data(Qt::BackgroundRole).value<QColor>(),
                 Shades::forPalette(Shades::outboxTint(Outbox::Style::Delivered)));
        QCOMPARE(model->index(2, 1).data(Qt::BackgroundRole).value<QColor>(),
                 Shades::forPalette(Shades::outboxTint(Outbox::Style::Failed)));
        QVERIFY(!model->index(1, 2).data(Qt::BackgroundRole).isValid());
        saveScreenshot(&window, u"frmConversation"_s);
        const QPalette light = qApp->palette();
        qApp->setPalette(darkPalette());
        saveScreenshot(&window, u"frmConversation-dark"_s);
        qApp->setPalette(light);
    }

    void replyFromTheInboxQueuesOneRowWithTheConversationBeside()
    {
        GatewaySetup s;
        ScriptedMessageBoxes boxes;
        const qint64 contact = GroupRows::addClient(u"Smith"_s, u"082 123 4567"_s, u"Ann"_s);
        SingleQueue::queue({u"Your order is ready"_s}, u"082 123 4567"_s, contact);
        reply(s.gateway, u"R1"_s, u"27821234567"_s, u"Can I come at five?"_s, u"09:10:00"_s);
        QVERIFY(RepliesRetrieval(s.host).FetchReplies());

        frmMain window;
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        auto *inbox = window.findChild<QTableView *>(u"grdInbox"_s);
        inbox->setFocus();
        inbox->setCurrentIndex(inbox->model()->index(0, 3));
        QStringList panel;
        const QString opened = modalOpenedBy(
            [&] { QTest::keyClick(inbox, Qt::Key_R, Qt::ControlModifier); },
            [&](QWidget *composer) {
                QCOMPARE(composer->findChild<QLineEdit *>(u"txtCellphone"_s)->text(), u"27821234567"_s);
                QCOMPARE(composer->findChild<QLabel *>(u"lblID"_s)->text(), QString::number(contact));
                QCOMPARE(composer->findChild<QLineEdit *>(u"txtFirstname"_s)->text(), u"Ann"_s);
                auto *view = composer->findChild<ConversationView *>(u"grdConversation"_s);
                QVERIFY(view->isVisible());
                QCOMPARE(view->model()->rowCount(), 2);
                composer->findChild<QPlainTextEdit *>(u"txtBody1"_s)->setPlainText(u"Yes, five is fine"_s);
                QTest::mouseClick(composer->findChild<QPushButton *>(u"cmdSend"_s), Qt::LeftButton);
                saveScreenshot(composer, u"frmSendToSingle-reply"_s);
                panel = rowsOf(view);
            });
        QCOMPARE(opened, u"frmSendToSingle"_s);
        QCOMPARE(boxes.count(), 0);
        QCOMPARE(panel.size(), 3);
        QVERIFY(panel.last().contains(u"|Yes, five is fine||queued"_s));
        QCOMPARE(OutboxRows::count(), 2);
        QCOMPARE(queryValues(u"SELECT Number, ClientID, NumberKey FROM SMSSend ORDER BY SMSSendID DESC LIMIT 1"_s),
                 QStringList({u"27821234567"_s, QString::number(contact), u"+27821234567"_s}));
        QCOMPARE(OutboxRows::states().last(), u"queued"_s);
        QCOMPARE(window.outboxList()->rowCount(), 2);
    }

    void conversationOpensFromTheOutboxInboxAndContactList()
    {
        GatewaySetup s;
        ScriptedMessageBoxes boxes;
        Database::insert(
            u"INSERT INTO Clients (AssNo, LastName, FirstName, Mobile) VALUES ('1', 'Smith', 'Ann', '+27 82 123 4567')"_s);
        sent(u"0821234567"_s, u"Your order is ready"_s, u"09:00"_s, u"delivered"_s);
        reply(s.gateway, u"R1"_s, u"27821234567"_s, u"Thanks"_s, u"09:10:00"_s);
        QVERIFY(RepliesRetrieval(s.host).FetchReplies());
        const QStringList thread{u"2026-12-06 09:00|Your order is ready||delivered"_s, u"2026-12-06 09:10||Thanks|"_s};

        frmMain window;
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        for (const char *grid : {"grdOutbox", "grdInbox"}) {
            auto *view = window.findChild<QTableView *>(QLatin1String(grid));
            view->setCurrentIndex(view->model()->index(0, 3));
            QStringList shown;
            const QString opened = modalOpenedBy(
                [&] {
                    if (QLatin1String(grid) == "grdOutbox")
                        window.grdOutbox_Conversation();
                    else
                        window.grdInbox_Conversation();
                },
                [&](QWidget *conversation) {
                    shown = rowsOf(conversation->findChild<QTableView *>(u"grdConversation"_s));
                });
            QCOMPARE(opened, u"frmConversation"_s);
            QCOMPARE(shown, thread);
        }

        frmListClients contacts;
        contacts.show();
        QVERIFY(QTest::qWaitForWindowActive(&contacts));
        QStringList shown;
        const QString opened = modalOpenedBy(
            [&] { contacts.findChild<QAction *>(u"mnuListConversation"_s)->trigger(); },
            [&](QWidget *conversation) {
                shown = rowsOf(conversation->findChild<QTableView *>(u"grdConversation"_s));
                QCOMPARE(conversation->findChild<QLabel *>(u"lblWho"_s)->text(), u"Ann Smith (+27 82 123 4567)"_s);
            });
        QCOMPARE(opened, u"frmConversation"_s);
        QCOMPARE(shown, thread);
        QCOMPARE(boxes.count(), 0);
    }

    // Rows stored before the key existed get it when the database is brought up to date; the index
    // that finds a conversation is there afterwards.
    void upgradeFillsTheKeyOfExistingRows()
    {
        TestHome home;
        const bool server = Database::engine() == Database::Engine::PostgreSQL;
        for (const QString &statement :
             {u"DROP INDEX SMSSend_NumberKey"_s, u"DROP INDEX SMSReplies_NumberKey"_s,
              u"ALTER TABLE SMSSend DROP COLUMN NumberKey"_s, u"ALTER TABLE SMSReplies DROP COLUMN NumberKey"_s,
              server ? u"UPDATE TellwaveSchema SET Version = 7"_s : u"PRAGMA user_version = 7"_s})
            Database::run(statement);
        // More rows than one lot of the upgrade reads, in every form, and numbers without a key.
        Database::Batch batch;
        Database::Statement add(u"INSERT INTO SMSSend (Number, Message) VALUES (?, 'x')"_s);
        const QStringList forms{u"082 123 4567"_s, u"+27 82 123 4567"_s, u"27821234567"_s, u"BANK"_s, QString()};
        for (int i = 0; i < 6000; ++i)
            add.run({forms.at(i % forms.size())});
        batch.commit();
        Database::run(
            u"INSERT INTO SMSReplies (IncomingID, PhoneNumber) VALUES ('R1', '0027 82 123 4567'), ('R2', '')"_s);

        QSqlDatabase db = Database::connection();
        Database::migrate(db);
        QStringList keys =
            queryValues("SELECT coalesce(NumberKey, '-') || ':' || count(*) FROM SMSSend GROUP BY NumberKey");
        keys.sort(); // the engines' collations order '+' and '-' differently
        QCOMPARE(keys, QStringList({u"+27821234567:3600"_s, u"-:1200"_s, u"BANK:1200"_s}));
        QCOMPARE(queryValues("SELECT coalesce(NumberKey, '-') FROM SMSReplies ORDER BY IncomingID"),
                 QStringList({u"+27821234567"_s, u"-"_s}));
        QCOMPARE(Conversation::read(u"0821234567"_s).messages().size(), 3601);
        if (server)
            Database::run(u"SET enable_seqscan = off"_s);
        const QString plan =
            server ? queryValues("EXPLAIN SELECT 1 FROM SMSSend WHERE NumberKey = 'x'").join(u' ')
                   : queryValues("EXPLAIN QUERY PLAN SELECT 1 FROM SMSSend WHERE NumberKey = 'x'").join(u' ');
        QVERIFY2(plan.contains(u"SMSSend_NumberKey"_s, Qt::CaseInsensitive), qPrintable(plan));
    }
};

QTEST_MAIN(tst_conversations)
#include "tst_conversations.moc"
