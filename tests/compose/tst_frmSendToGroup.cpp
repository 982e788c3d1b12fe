#include "ComposeTestSupport.h"
#include "GuiTestSupport.h"

#include "compose/ComposerBlock.h"
#include "compose/frmSendToGroup.h"

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTest>

using namespace ComposeTest;

class tst_frmSendToGroup : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void opensWithGroupsAndAnEmptyList();
    void choosingAGroupListsItsMembers();
    void nothingHappensWithoutAGroup();
    void questionCountsMembersWithoutNumber();
    void answerNoQueuesNothing();
    void answerYesLeavesThemOut();
    void groupWithoutMembers();
    void contactInTwoGroups();
    void anErrorKeepsTheRowsBefore();

private:
    void open();
    QComboBox *groups() const { return window->findChild<QComboBox *>(QStringLiteral("cboGroups")); }
    QTableView *list() const { return window->findChild<QTableView *>(QStringLiteral("grdList")); }
    ComposerBlock *composer() const { return window->findChild<ComposerBlock *>(); }
    QString status() const { return window->findChild<QLabel *>(QStringLiteral("lblStatus"))->text(); }
    void clickSend() { QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("cmdSend")), Qt::LeftButton); }
    void choose(const QString &group)
    {
        const int index = groups()->findText(group);
        QVERIFY(index >= 0);
        groups()->setCurrentIndex(index);
    }
    QStringList visibleCaptions() const
    {
        QStringList captions;
        for (int c = 0; c < list()->model()->columnCount(); ++c)
            if (!list()->isColumnHidden(c))
                captions << list()->model()->headerData(c, Qt::Horizontal).toString();
        return captions;
    }
    QString cell(int row, const QString &caption) const
    {
        const auto *model = list()->model();
        for (int c = 0; c < model->columnCount(); ++c)
            if (model->headerData(c, Qt::Horizontal).toString() == caption)
                return model->index(row, c).data().toString();
        return QStringLiteral("<no column %1>").arg(caption);
    }

    TestHome home;
    ScriptedMessageBoxes *boxes = nullptr;
    frmSendToGroup *window = nullptr;
    qint64 staff = 0, friends = 0, empty = 0, nobody = 0;
    qint64 ann = 0, bob = 0, cy = 0, di = 0;
};

void tst_frmSendToGroup::init()
{
    home.freshDatabase();
    staff = addGroup(QStringLiteral("Staff"));
    friends = addGroup(QStringLiteral("Friends & Family"));
    empty = addGroup(QStringLiteral("Empty"));
    nobody = addGroup(QStringLiteral("No Numbers"));
    ann = addClient(QStringLiteral("Zimmer"), QStringLiteral("Ann"), QStringLiteral(" 0821111111 "));
    bob = addClient(QStringLiteral("Botha"), QStringLiteral("Bob"), QStringLiteral("   "));
    cy = addClient(QStringLiteral("Mokoena"), QStringLiteral("Cy"), QStringLiteral("0833333333"));
    di = addClient(QStringLiteral("Naidoo"), QStringLiteral("Di"), QVariant());
    for (qint64 client : {ann, bob, cy, di})
        link(staff, client);
    link(friends, ann);
    link(nobody, bob);
    link(nobody, di);
    boxes = new ScriptedMessageBoxes;
}

void tst_frmSendToGroup::open()
{
    window = new frmSendToGroup;
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
}

void tst_frmSendToGroup::cleanup()
{
    delete window;
    window = nullptr;
    delete boxes;
}

void tst_frmSendToGroup::opensWithGroupsAndAnEmptyList()
{
    open();
    QCOMPARE(window->windowTitle(), QStringLiteral("Send SMS to Group"));
    QCOMPARE(status(), QStringLiteral("Ready ..."));
    QCOMPARE(groups()->count(), 4);
    QStringList names;
    for (int i = 0; i < groups()->count(); ++i)
        names << groups()->itemText(i);
    QCOMPARE(names, (QStringList{QStringLiteral("Empty"), QStringLiteral("Friends & Family"),
                                 QStringLiteral("No Numbers"), QStringLiteral("Staff")}));
    QCOMPARE(groups()->itemData(3).toLongLong(), staff);
    QCOMPARE(groups()->currentIndex(), -1);
    QCOMPARE(list()->model()->rowCount(), 0);

    const QStringList captions = visibleCaptions();
    QCOMPARE(captions.value(0), QStringLiteral("Name"));
    QVERIFY(captions.contains(QStringLiteral("Last Name")));
    QVERIFY(captions.contains(QStringLiteral("First Name")));
    QVERIFY(captions.contains(QStringLiteral("Mobile")));
    QVERIFY(captions.contains(QStringLiteral("AssNo")));
    for (const char *hidden : {"GroupID", "ClientID", "Selected", "LastName"})
        QVERIFY2(!captions.contains(QString::fromLatin1(hidden)), hidden);
    QVERIFY(boxes->shown().isEmpty());
}

void tst_frmSendToGroup::choosingAGroupListsItsMembers()
{
    open();
    choose(QStringLiteral("Staff"));
    QCOMPARE(list()->model()->rowCount(), 4);
    QCOMPARE(cell(0, QStringLiteral("Last Name")), QStringLiteral("Botha"));
    QCOMPARE(cell(3, QStringLiteral("Last Name")), QStringLiteral("Zimmer"));
    QCOMPARE(cell(3, QStringLiteral("First Name")), QStringLiteral("Ann"));
    QCOMPARE(cell(0, QStringLiteral("Name")), QStringLiteral("Staff"));
    choose(QStringLiteral("Friends & Family"));
    QCOMPARE(list()->model()->rowCount(), 1);
    // The new statement keeps the hidden columns hidden.
    QVERIFY(!visibleCaptions().contains(QStringLiteral("ClientID")));
}

void tst_frmSendToGroup::nothingHappensWithoutAGroup()
{
    open();
    composer()->setBody(1, QStringLiteral("Hi"));
    clickSend();
    QVERIFY(boxes->shown().isEmpty());
    QCOMPARE(status(), QStringLiteral("Ready ..."));
    QCOMPARE(outboxCount(), 0);
    QVERIFY(QApplication::overrideCursor() == nullptr);
}

void tst_frmSendToGroup::questionCountsMembersWithoutNumber()
{
    open();
    choose(QStringLiteral("Staff"));
    composer()->setBody(1, QStringLiteral("Hi"));
    clickSend();
    QCOMPARE(boxes->titles(), QStringList{QStringLiteral("NUMBERS")});
    const MessageBoxes::Shown &question = boxes->last();
    QCOMPARE(question.text, QStringLiteral("There are 2 customers in this group that does not have mobile numbers. "
                                           "Press Yes to continue, but leave them out. Press No to cancel send."));
    QCOMPARE(question.buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(question.icon, QMessageBox::Information);

    boxes->clear();
    choose(QStringLiteral("No Numbers"));
    boxes->answer(QMessageBox::Yes);
    clickSend();
    QVERIFY(boxes->last().text.startsWith(QStringLiteral("There are 2 customers")));
    QCOMPARE(status(), QStringLiteral("Added 0 records."));
    QCOMPARE(outboxCount(), 0);
}

void tst_frmSendToGroup::answerNoQueuesNothing()
{
    open();
    choose(QStringLiteral("Staff"));
    composer()->setBody(1, QStringLiteral("Hi"));
    boxes->answer(QMessageBox::No);
    clickSend();
    QCOMPARE(outboxCount(), 0);
    QCOMPARE(status(), QStringLiteral("Ready ..."));
    QVERIFY(QApplication::overrideCursor() == nullptr);
}

void tst_frmSendToGroup::answerYesLeavesThemOut()
{
    open();
    choose(QStringLiteral("Staff"));
    composer()->setBody(1, QStringLiteral("Staff meeting at 10"));
    composer()->setBody(4, QStringLiteral("Bring your reports"));
    boxes->answer(QMessageBox::Yes);
    clickSend();
    QCOMPARE(boxes->count(), 1);
    QCOMPARE(status(), QStringLiteral("Added 2 records."));
    const auto rows = outbox();
    QCOMPARE(rows.size(), 4);
    QList<qint64> clients;
    for (const auto &row : rows)
        clients << row.value("ClientID").toLongLong();
    QCOMPARE(clients.count(ann), 2);
    QCOMPARE(clients.count(cy), 2);
    for (const auto &row : rows) {
        const bool isAnn = row.value("ClientID").toLongLong() == ann;
        QCOMPARE(row.value("Number").toString(), isAnn ? QStringLiteral("0821111111") : QStringLiteral("0833333333"));
    }
    QCOMPARE(rows[0].value("Message").toString(), QStringLiteral("Staff meeting at 10"));
    QCOMPARE(rows[1].value("Message").toString(), QStringLiteral("Bring your reports"));
    QCOMPARE(rows[0].value("ClientID"), rows[1].value("ClientID"));

    saveScreenshot(window, QStringLiteral("frmSendToGroup"));
    const QSize normal = window->size();
    window->resize(window->minimumSizeHint());
    saveScreenshot(window, QStringLiteral("frmSendToGroup-smallest"));
    window->resize(1280, 900);
    saveScreenshot(window, QStringLiteral("frmSendToGroup-large"));
    window->resize(normal);
}

void tst_frmSendToGroup::groupWithoutMembers()
{
    open();
    choose(QStringLiteral("Empty"));
    composer()->setBody(1, QStringLiteral("Hi"));
    clickSend();
    QVERIFY(boxes->shown().isEmpty());
    QCOMPARE(status(), QStringLiteral("Added 0 records."));
}

void tst_frmSendToGroup::contactInTwoGroups()
{
    open();
    composer()->setBody(2, QStringLiteral("Hello"));
    choose(QStringLiteral("Friends & Family"));
    clickSend();
    QCOMPARE(status(), QStringLiteral("Added 1 records."));
    choose(QStringLiteral("Staff"));
    boxes->answer(QMessageBox::Yes);
    clickSend();
    QCOMPARE(status(), QStringLiteral("Added 2 records."));
    QCOMPARE(Database::value(QStringLiteral("SELECT count(*) FROM SMSSend WHERE ClientID = ?"), {ann}).toInt(), 2);
    QCOMPARE(outboxCount(), 3);
}

void tst_frmSendToGroup::anErrorKeepsTheRowsBefore()
{
    // Members are queued in the database's order; the refused number is the
    // last contact added, so it comes after Ann and Cy.
    const qint64 late = addClient(QStringLiteral("Adams"), QStringLiteral("Al"), QStringLiteral("0999"));
    link(staff, late);
    refuseNumber(QStringLiteral("0999"));
    open();
    choose(QStringLiteral("Staff"));
    composer()->setBody(1, QStringLiteral("Hi"));
    boxes->answer(QMessageBox::Yes);
    clickSend();
    QCOMPARE(boxes->titles(), (QStringList{QStringLiteral("NUMBERS"), QStringLiteral("ERROR")}));
    QVERIFY2(boxes->last().text.contains(QStringLiteral("refused by test")), qPrintable(boxes->last().text));
    QCOMPARE(status(), QStringLiteral("Adding Adams, Al"));
    QVERIFY(QApplication::overrideCursor() == nullptr);
    Database::close();
    QCOMPARE(outboxCount(), 2);
}

QTEST_MAIN(tst_frmSendToGroup)
#include "tst_frmSendToGroup.moc"
