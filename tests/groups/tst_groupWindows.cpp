#include "GuiTestSupport.h"

#include "compose/RecordTableModel.h"
#include "data/Database.h"
#include "data/ProcessSettings.h"
#include "groups/frmEditGroups.h"
#include "groups/frmEditGroupsListContacts.h"
#include "groups/frmListGroups.h"
#include "ui/QueryListModel.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyleOptionViewItem>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

qint64 addGroup(const QString &name)
{
    return Database::insert(u"INSERT INTO Groups (Name) VALUES (?)"_s, {name});
}

qint64 addClient(const QString &lastName, const QString &firstName, const QVariant &mobile = u"0821234567"_s)
{
    return Database::insert(u"INSERT INTO Clients (LastName, FirstName, Mobile) VALUES (?, ?, ?)"_s,
                            {lastName, firstName, mobile});
}

void link(qint64 groupId, qint64 clientId)
{
    Database::run(u"INSERT INTO GroupLinking (GroupID, ClientID) VALUES (?, ?)"_s, {groupId, clientId});
}

int count(const QString &sql, const QVariantList &values = {})
{
    return Database::value(sql, values).toInt();
}

template<typename T>
T *child(QWidget *window, const char *name)
{
    T *found = window->findChild<T *>(QString::fromLatin1(name));
    if (!found)
        qFatal("no control %s", name);
    return found;
}

void click(QWidget *window, const char *button)
{
    QTest::mouseClick(child<QPushButton>(window, button), Qt::LeftButton);
}

// Runs an action that opens a modal window; whileOpen works in that window,
// which is closed afterwards unless whileOpen closed it. Gives its class name.
QString withModal(const std::function<void()> &action, const std::function<void(QWidget *)> &whileOpen)
{
    QString seen;
    QTimer::singleShot(0, [&] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            seen = QString::fromLatin1(modal->metaObject()->className());
            whileOpen(modal);
            if (modal->isVisible())
                modal->close();
        }
    });
    action();
    return seen;
}

// Where a list draws the check box of a row's first cell.
QRect checkBoxOf(QTableView *grid, int row)
{
    QStyleOptionViewItem option;
    option.initFrom(grid->viewport());
    option.rect = grid->visualRect(grid->model()->index(row, 0));
    option.features = QStyleOptionViewItem::HasCheckIndicator;
    return grid->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, grid);
}

QStringList column(const QAbstractItemModel *model, int section)
{
    QStringList values;
    for (int row = 0; row < model->rowCount(); ++row)
        values << model->index(row, section).data().toString();
    return values;
}

} // namespace

// The group list, the new-group window, the group editor and its picker, driven as the operator drives them.
class tst_groupWindows : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void listAddsInNameOrderAndRefusesATakenName();
    void deletingFromTheListAsksTwice();
    void pickerMarksBecomeMembersAndAreCleared();
    void f4AddsTheChosenContactOnce();
    void saveRenamesTheShownGroupAndCancelKeepsTheName();

private:
    void open(QDialog *dialog)
    {
        window.reset(dialog);
        window->show();
        QVERIFY(QTest::qWaitForWindowActive(dialog));
    }
    frmEditGroups *openEditor(qint64 groupId)
    {
        auto *editor = new frmEditGroups;
        editor->LoadDetails(qint32(groupId));
        open(editor);
        return editor;
    }
    QStringList memberNames() const
    {
        const RecordTableModel *members = static_cast<frmEditGroups *>(window.get())->members();
        return column(members, members->columnOf(u"LastName"_s));
    }
    QStringList groupNames() const
    {
        return column(static_cast<frmListGroups *>(window.get())->list(), 1);
    }
    void screenshots(const QString &name)
    {
        saveScreenshot(window.get(), name);
        const QSize normal = window->size();
        window->resize(window->minimumSizeHint());
        saveScreenshot(window.get(), name + u"-smallest"_s);
        window->resize(normal);
    }

    TestHome home;
    std::unique_ptr<ScriptedMessageBoxes> boxes;
    std::unique_ptr<QDialog> window;
};

void tst_groupWindows::init()
{
    home.freshDatabase();
    boxes = std::make_unique<ScriptedMessageBoxes>();
    modMain::SelectedClientID = 0;
}

void tst_groupWindows::cleanup()
{
    window.reset();
    boxes.reset();
}

void tst_groupWindows::listAddsInNameOrderAndRefusesATakenName()
{
    for (const char *name : {"zulu", "SALES", "Émile", "anna"})
        addGroup(QString::fromUtf8(name));
    open(new frmListGroups);
    QCOMPARE(window->windowTitle(), u"Groups"_s);
    QCOMPARE(groupNames(), (QStringList{u"anna"_s, u"Émile"_s, u"SALES"_s, u"zulu"_s}));

    const QString opened = withModal([this] { click(window.get(), "cmdAdd"); }, [this](QWidget *add) {
        QCOMPARE(add->windowTitle(), u"Add Group"_s);
        auto *name = child<QLineEdit>(add, "txtName");
        name->setText(u"  sales "_s);
        click(add, "cmdSave");
        QVERIFY(add->isVisible()); // refused: the window stays with the typed name
        QCOMPARE(boxes->titles(), QStringList{u"EXIST"_s});
        QCOMPARE(boxes->last().text, u"This group name already exist. Please choose another one."_s);
        QCOMPARE(boxes->last().icon, QMessageBox::Warning);
        QCOMPARE(name->text(), u"  sales "_s);
        name->setText(u"Mary's"_s);
        click(add, "cmdSave");
        QVERIFY(!add->isVisible());
    });
    QCOMPARE(opened, u"frmAddGroups"_s);
    QCOMPARE(groupNames(), (QStringList{u"anna"_s, u"Émile"_s, u"Mary's"_s, u"SALES"_s, u"zulu"_s}));
    QVERIFY(QApplication::overrideCursor() == nullptr);
    screenshots(u"frmListGroups"_s);
}

void tst_groupWindows::deletingFromTheListAsksTwice()
{
    // Answers: first question, then second (none: the first was No).
    struct Case
    {
        QList<QMessageBox::StandardButton> answers;
        int groups, clients, links;
    };
    const Case cases[] = {
        {{QMessageBox::No}, 2, 2, 3},
        {{QMessageBox::Yes, QMessageBox::No}, 1, 2, 1},
        {{QMessageBox::Yes, QMessageBox::Yes}, 1, 0, 0},
    };
    for (const Case &c : cases) {
        home.freshDatabase();
        boxes->clear();
        const qint64 marys = addGroup(u"Mary's"_s), other = addGroup(u"Other"_s);
        const qint64 ann = addClient(u"Ann"_s, u"A"_s), bob = addClient(u"Bob"_s, u"B"_s);
        link(marys, ann);
        link(marys, bob);
        link(other, ann);
        open(new frmListGroups);
        for (QMessageBox::StandardButton answer : c.answers)
            boxes->answer(answer);
        click(window.get(), "cmdDelete"); // the first row is current: Mary's
        QCOMPARE(boxes->count(), c.answers.size());
        QCOMPARE(boxes->shown().first().text, u"Are you sure you want group : Mary's?"_s);
        QCOMPARE(count(u"SELECT count(*) FROM Groups"_s), c.groups);
        QCOMPARE(count(u"SELECT count(*) FROM Clients"_s), c.clients);
        QCOMPARE(count(u"SELECT count(*) FROM GroupLinking"_s), c.links);
        QCOMPARE(groupNames().size(), c.groups);
        QVERIFY(QApplication::overrideCursor() == nullptr);
    }
    // An empty list: Edit and Delete do nothing.
    home.freshDatabase();
    boxes->clear();
    open(new frmListGroups);
    click(window.get(), "cmdDelete");
    click(window.get(), "cmdEdit");
    QCOMPARE(boxes->count(), 0);
}

void tst_groupWindows::pickerMarksBecomeMembersAndAreCleared()
{
    const qint64 team = addGroup(u"Team"_s);
    const qint64 member = addClient(u"Zimmer"_s, u"Ann"_s);
    link(team, member);
    addClient(u"botha"_s, u"Bob"_s);
    addClient(u"Élan"_s, u"Cy"_s);
    addClient(u"Adams"_s, u"Di"_s, QVariant()); // no number: not offered
    openEditor(team);
    QCOMPARE(child<QLineEdit>(window.get(), "txtName")->text(), u"Team"_s);
    QCOMPARE(memberNames(), QStringList{u"Zimmer"_s});

    // Tick all three listed contacts (one a member already) by clicking their check boxes.
    const QString opened = withModal([this] { click(window.get(), "cmdAdd"); }, [](QWidget *picker) {
        QCOMPARE(child<QLabel>(picker, "lblCount")->text(), u"3"_s);
        auto *grid = child<QTableView>(picker, "grdClients");
        QCOMPARE(column(grid->model(), 2), (QStringList{u"botha"_s, u"Élan"_s, u"Zimmer"_s}));
        for (int row = 0; row < 3; ++row)
            QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, checkBoxOf(grid, row).center());
        QCOMPARE(count(u"SELECT count(*) FROM Clients WHERE Selected <> 0"_s), 3);
        saveScreenshot(picker, u"frmEditGroupsListContacts"_s);
    });
    QCOMPARE(opened, u"frmEditGroupsListContacts"_s);
    QCOMPARE(memberNames(), (QStringList{u"botha"_s, u"Élan"_s, u"Zimmer"_s}));
    QCOMPARE(count(u"SELECT count(*) FROM GroupLinking"_s), 3);
    QCOMPARE(count(u"SELECT count(*) FROM Clients WHERE Selected <> 0"_s), 0);

    // The picker opens without marks; All then None leaves none to add.
    withModal([this] { click(window.get(), "cmdAdd"); }, [](QWidget *picker) {
        auto *grid = child<QTableView>(picker, "grdClients");
        QCOMPARE(grid->model()->index(0, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
        click(picker, "cmdAll");
        QCOMPARE(grid->model()->index(0, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
        click(picker, "cmdNone");
    });
    QCOMPARE(count(u"SELECT count(*) FROM GroupLinking"_s), 3);

    // Removing a member asks with the name as typed, saved or not; the contact stays.
    child<QLineEdit>(window.get(), "txtName")->setText(u"New Team"_s);
    auto *grid = child<QTableView>(window.get(), "grdList");
    grid->setCurrentIndex(grid->model()->index(1, 0));
    boxes->answer(QMessageBox::Yes);
    click(window.get(), "cmdDelete");
    QCOMPARE(boxes->last().text, u"Are you sure you want to delete Élan, Cy from group New Team?"_s);
    QCOMPARE(memberNames(), (QStringList{u"botha"_s, u"Zimmer"_s}));
    QCOMPARE(count(u"SELECT count(*) FROM Clients"_s), 4);
    screenshots(u"frmEditGroups"_s);
}

void tst_groupWindows::f4AddsTheChosenContactOnce()
{
    const qint64 team = addGroup(u"Team"_s);
    const qint64 ann = addClient(u"Zimmer"_s, u"Ann"_s);
    openEditor(team);
    QCOMPARE(child<QLabel>(window.get(), "Label16")->text(), u"Press F4 to add Contact"_s);
    const auto pressF4Choosing = [this](qint64 chosen) {
        modMain::SelectedClientID = 99; // the editor resets it before the search opens
        window->activateWindow(); // back from the last search
        if (!QTest::qWaitForWindowActive(window.get()))
            return u"inactive"_s;
        return withModal([this] { QTest::keyClick(child<QLineEdit>(window.get(), "txtName"), Qt::Key_F4); },
                         [chosen](QWidget *) {
                             QCOMPARE(modMain::SelectedClientID, 0);
                             modMain::SelectedClientID = qint32(chosen);
                         });
    };
    QCOMPARE(pressF4Choosing(0), u"frmSearchClients"_s);
    QVERIFY(memberNames().isEmpty());
    for (int time = 0; time < 2; ++time) {
        QCOMPARE(pressF4Choosing(ann), u"frmSearchClients"_s);
        QCOMPARE(memberNames(), QStringList{u"Zimmer"_s});
        QCOMPARE(count(u"SELECT count(*) FROM GroupLinking"_s), 1);
    }
    QCOMPARE(child<QLineEdit>(window.get(), "txtName")->text(), u"Team"_s); // the key went nowhere else
}

void tst_groupWindows::saveRenamesTheShownGroupAndCancelKeepsTheName()
{
    // Two groups of one name: the editor renames the one it shows.
    const qint64 first = addGroup(u"Team"_s), second = addGroup(u"Team"_s), marys = addGroup(u"Mary's"_s);
    for (const qint64 shown : {second, marys}) {
        openEditor(shown);
        child<QLineEdit>(window.get(), "txtName")->setText(u" O'Brien's "_s);
        click(window.get(), "cmdSave");
        QVERIFY(!window->isVisible());
        QCOMPARE(Database::value(u"SELECT Name FROM Groups WHERE GroupID = ?"_s, {shown}).toString(), u" O'Brien's "_s);
    }
    QCOMPARE(Database::value(u"SELECT Name FROM Groups WHERE GroupID = ?"_s, {first}).toString(), u"Team"_s);

    openEditor(first);
    child<QLineEdit>(window.get(), "txtName")->setText(u"Changed"_s);
    click(window.get(), "cmdCancel");
    QVERIFY(!window->isVisible());
    QCOMPARE(Database::value(u"SELECT Name FROM Groups WHERE GroupID = ?"_s, {first}).toString(), u"Team"_s);

    // A group that is not there leaves the editor empty.
    openEditor(marys + 10);
    QCOMPARE(child<QLineEdit>(window.get(), "txtName")->text(), QString());
    QCOMPARE(child<QLabel>(window.get(), "lblGroupID")->text(), u"0"_s);
    QVERIFY(memberNames().isEmpty());
    QVERIFY(boxes->shown().isEmpty());
}

QTEST_MAIN(tst_groupWindows)
#include "tst_groupWindows.moc"
