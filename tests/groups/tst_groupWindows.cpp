#include "GuiTestSupport.h"

#include "compose/RecordTableModel.h"
#include "data/Database.h"
#include "data/ProcessSettings.h"
#include "groups/frmEditGroups.h"
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

qint64 addClient(const QString &lastName, const QVariant &mobile = u"082"_s)
{
    return Database::insert(u"INSERT INTO Clients (LastName, FirstName, Mobile) VALUES (?, 'X', ?)"_s,
                            {lastName, mobile});
}

void link(qint64 groupId, qint64 clientId)
{
    Database::run(u"INSERT INTO GroupLinking (GroupID, ClientID) VALUES (?, ?)"_s, {groupId, clientId});
}

int count(const QString &sql)
{
    return Database::value(sql).toInt();
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

// Runs an action that opens a modal window; whileOpen works in it, then it is
// closed. Gives the modal window's class name.
QString withModal(QWidget *owner, const std::function<void()> &action, const std::function<void(QWidget *)> &whileOpen)
{
    owner->activateWindow(); // back from an earlier modal window
    if (!QTest::qWaitForWindowActive(owner))
        return u"inactive"_s;
    QString seen;
    QTimer::singleShot(0, [&] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            seen = QString::fromLatin1(modal->metaObject()->className());
            whileOpen(modal);
            modal->close();
        }
    });
    action();
    return seen;
}

QStringList column(const QAbstractItemModel *model, int section)
{
    QStringList values;
    for (int row = 0; row < model->rowCount(); ++row)
        values << model->index(row, section).data().toString();
    return values;
}

// Clicks the check box a list draws in a row's first cell.
void tick(QTableView *grid, int row)
{
    QStyleOptionViewItem option;
    option.initFrom(grid->viewport());
    option.rect = grid->visualRect(grid->model()->index(row, 0));
    option.features = QStyleOptionViewItem::HasCheckIndicator;
    const QRect box = grid->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, grid);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, box.center());
}

} // namespace

// The group list, the new-group window, the group editor and its picker, driven as the operator drives them.
class tst_groupWindows : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void listAddsInNameOrderRefusesATakenNameAndDeletes();
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
    void openEditor(qint64 groupId)
    {
        auto *editor = new frmEditGroups;
        editor->LoadDetails(qint32(groupId));
        open(editor);
    }
    QStringList members() const
    {
        const RecordTableModel *list = static_cast<frmEditGroups *>(window.get())->members();
        return column(list, list->columnOf(u"LastName"_s));
    }
    QLineEdit *name() const { return child<QLineEdit>(window.get(), "txtName"); }

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

void tst_groupWindows::listAddsInNameOrderRefusesATakenNameAndDeletes()
{
    for (const char *group : {"zulu", "SALES", "Émile", "anna"})
        addGroup(QString::fromUtf8(group));
    const qint64 other = addGroup(u"Other"_s);
    open(new frmListGroups);
    const auto groups = [this] { return column(static_cast<frmListGroups *>(window.get())->list(), 1); };
    QCOMPARE(groups(), (QStringList{u"anna"_s, u"Émile"_s, u"Other"_s, u"SALES"_s, u"zulu"_s}));

    const QString opened = withModal(window.get(), [this] { click(window.get(), "cmdAdd"); }, [this](QWidget *add) {
        auto *typed = child<QLineEdit>(add, "txtName");
        typed->setText(u"  sales "_s);
        click(add, "cmdSave");
        QVERIFY(add->isVisible()); // refused: the window stays with the typed name
        QCOMPARE(boxes->titles(), QStringList{u"EXIST"_s});
        QCOMPARE(boxes->last().text, u"This group name already exist. Please choose another one."_s);
        QCOMPARE(boxes->last().icon, QMessageBox::Warning);
        typed->setText(u"Mary's"_s);
        click(add, "cmdSave");
        QVERIFY(!add->isVisible());
    });
    QCOMPARE(opened, u"frmAddGroups"_s);
    QCOMPARE(groups(), (QStringList{u"anna"_s, u"Émile"_s, u"Mary's"_s, u"Other"_s, u"SALES"_s, u"zulu"_s}));
    saveScreenshot(window.get(), u"frmListGroups"_s);

    // Mary's with its two members, one of them also in Other.
    const qint64 marys = Database::value(u"SELECT GroupID FROM Groups WHERE Name = 'Mary''s'"_s).toLongLong();
    const qint64 ann = addClient(u"Ann"_s);
    link(marys, ann);
    link(marys, addClient(u"Bob"_s));
    link(other, ann);
    auto *grid = child<QTableView>(window.get(), "grdList");
    grid->selectRow(2);
    boxes->clear();
    click(window.get(), "cmdDelete"); // unanswered, the first question takes No
    QCOMPARE(boxes->last().text, u"Are you sure you want group : Mary's?"_s);
    boxes->answer(QMessageBox::Yes);
    boxes->answer(QMessageBox::Yes);
    click(window.get(), "cmdDelete");
    QCOMPARE(boxes->last().text, u"Do you want to delete all the contacts associated with this group as well?"_s);
    QCOMPARE(groups().size(), 5);
    QCOMPARE(count(u"SELECT count(*) FROM Clients"_s), 0);
    QCOMPARE(count(u"SELECT count(*) FROM GroupLinking"_s), 0);
    QVERIFY(QApplication::overrideCursor() == nullptr);
}

void tst_groupWindows::pickerMarksBecomeMembersAndAreCleared()
{
    const qint64 team = addGroup(u"Team"_s);
    link(team, addClient(u"Zimmer"_s));
    addClient(u"botha"_s);
    addClient(u"Élan"_s);
    addClient(u"Adams"_s, QVariant()); // no number: not offered
    openEditor(team);
    QCOMPARE(name()->text(), u"Team"_s);
    QCOMPARE(members(), QStringList{u"Zimmer"_s});

    // All three listed contacts ticked, one of them a member already.
    const QString opened = withModal(window.get(), [this] { click(window.get(), "cmdAdd"); }, [](QWidget *picker) {
        QCOMPARE(child<QLabel>(picker, "lblCount")->text(), u"3"_s);
        auto *grid = child<QTableView>(picker, "grdClients");
        QCOMPARE(column(grid->model(), 2), (QStringList{u"botha"_s, u"Élan"_s, u"Zimmer"_s}));
        for (int row = 0; row < 3; ++row)
            tick(grid, row);
        QCOMPARE(count(u"SELECT count(*) FROM Clients WHERE Selected <> 0"_s), 3);
        saveScreenshot(picker, u"frmEditGroupsListContacts"_s);
    });
    QCOMPARE(opened, u"frmEditGroupsListContacts"_s);
    QCOMPARE(members(), (QStringList{u"botha"_s, u"Élan"_s, u"Zimmer"_s}));
    QCOMPARE(count(u"SELECT count(*) FROM GroupLinking"_s), 3);
    QCOMPARE(count(u"SELECT count(*) FROM Clients WHERE Selected <> 0"_s), 0);

    // The picker opens without marks; All then None leaves none to add.
    withModal(window.get(), [this] { click(window.get(), "cmdAdd"); }, [](QWidget *picker) {
        const QModelIndex first = child<QTableView>(picker, "grdClients")->model()->index(0, 0);
        QCOMPARE(first.data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
        click(picker, "cmdAll");
        QCOMPARE(first.model()->index(0, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
        click(picker, "cmdNone");
    });
    QCOMPARE(count(u"SELECT count(*) FROM GroupLinking"_s), 3);

    // Removing a member asks with the name as typed, saved or not; the contact stays.
    name()->setText(u"New Team"_s);
    auto *grid = child<QTableView>(window.get(), "grdList");
    grid->setCurrentIndex(grid->model()->index(1, 0));
    boxes->answer(QMessageBox::Yes);
    click(window.get(), "cmdDelete");
    QCOMPARE(boxes->last().text, u"Are you sure you want to delete Élan, X from group New Team?"_s);
    QCOMPARE(members(), (QStringList{u"botha"_s, u"Zimmer"_s}));
    QCOMPARE(count(u"SELECT count(*) FROM Clients"_s), 4);
    saveScreenshot(window.get(), u"frmEditGroups"_s);
}

void tst_groupWindows::f4AddsTheChosenContactOnce()
{
    const qint64 team = addGroup(u"Team"_s);
    const qint64 ann = addClient(u"Zimmer"_s);
    openEditor(team);
    QCOMPARE(child<QLabel>(window.get(), "Label16")->text(), u"Press F4 to add Contact"_s);
    for (const qint64 chosen : {qint64(0), ann, ann}) {
        modMain::SelectedClientID = 99; // the editor resets it before the search opens
        const QString opened = withModal(
            window.get(), [this] { QTest::keyClick(name(), Qt::Key_F4); }, [chosen](QWidget *) {
                QCOMPARE(modMain::SelectedClientID, 0);
                modMain::SelectedClientID = qint32(chosen);
            });
        QCOMPARE(opened, u"frmSearchClients"_s);
        QCOMPARE(members(), chosen ? QStringList{u"Zimmer"_s} : QStringList());
    }
    QCOMPARE(count(u"SELECT count(*) FROM GroupLinking"_s), 1);
    QCOMPARE(name()->text(), u"Team"_s); // the key went nowhere else
}

void tst_groupWindows::saveRenamesTheShownGroupAndCancelKeepsTheName()
{
    // Two groups of one name: the editor renames the one it shows.
    const qint64 first = addGroup(u"Team"_s), second = addGroup(u"Team"_s);
    const auto stored = [](qint64 id) {
        return Database::value(u"SELECT Name FROM Groups WHERE GroupID = ?"_s, {id}).toString();
    };
    openEditor(second);
    name()->setText(u" O'Brien's "_s);
    click(window.get(), "cmdSave");
    QVERIFY(!window->isVisible());
    QCOMPARE(stored(second), u" O'Brien's "_s);
    QCOMPARE(stored(first), u"Team"_s);

    openEditor(first);
    name()->setText(u"Changed"_s);
    click(window.get(), "cmdCancel");
    QVERIFY(!window->isVisible());
    QCOMPARE(stored(first), u"Team"_s);
    QVERIFY(boxes->shown().isEmpty());
}

QTEST_MAIN(tst_groupWindows)
#include "tst_groupWindows.moc"
