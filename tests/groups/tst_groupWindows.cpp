#include "GroupRows.h"
#include "QueryRows.h"
#include "WindowFixture.h"

#include "contacts/frmSearchClients.h"
#include "groups/GroupBook.h"
#include "groups/frmEditGroups.h"
#include "groups/frmEditGroupsListContacts.h"
#include "groups/frmListGroups.h"
#include "ui/QueryListModel.h"
#include "ui/RecordTableModel.h"

#include <QLineEdit>
#include <QMessageBox>
#include <QTableView>
#include <QTimer>

using namespace GroupRows;
using namespace Qt::StringLiterals;

namespace {

// A real message box as the operator saw it.
struct RealBox
{
    QString text;
    QString defaultButton; // its caption, empty when it has none
    Qt::TextFormat format;
};

// Runs `action` with real message boxes and presses Enter on each one it opens.
QList<RealBox> enterOnEveryBox(const std::function<void()> &action)
{
    QList<RealBox> seen;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &poll, [&seen] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        const QPushButton *byDefault = box->defaultButton();
        seen.append({box->text(), byDefault ? byDefault->text().remove(u'&') : QString(), box->textFormat()});
        QTest::keyClick(box, Qt::Key_Return);
    });
    poll.start(5);
    action();
    return seen;
}

} // namespace

// The group list, the new-group window, the group editor and its picker, driven as the operator drives them.
class tst_groupWindows : public QObject, private WindowFixture
{
    Q_OBJECT

private slots:
    // As start-up hands it over.
    void initTestCase() { frmEditGroups::setContactSearch(&frmSearchClients::pick); }
    void init() { start(); }
    void cleanup() { finish(); }

    void listAddsInNameOrderRefusesATakenNameAndDeletes()
    {
        for (const char *group : {"zulu", "SALES", "Émile", "anna"})
            addGroup(QString::fromUtf8(group));
        const qint64 other = addGroup(u"Other"_s);
        const qint64 ann = addClient(u"Ann"_s);
        link(other, ann);
        link(addGroup(u"Board"_s), ann);
        open(new frmListGroups);
        const auto groups = [this] { return column(static_cast<frmListGroups *>(window.get())->list(), 1); };
        QCOMPARE(groups(), (QStringList{u"anna"_s, u"Board"_s, u"Émile"_s, u"Other"_s, u"SALES"_s, u"zulu"_s}));

        const QString opened = clickOpening("cmdAdd", [this](QWidget *add) {
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
        QCOMPARE(groups().at(3), u"Mary's"_s);
        saveScreenshot(window.get(), u"frmListGroups"_s);

        child<QTableView>("grdList")->selectRow(4);
        click("cmdDelete"); // unanswered, the first question takes No
        QCOMPARE(groups().size(), 7);
        // Yes to both questions: Other goes with its member, whose membership of Board goes too.
        boxes->answer(QMessageBox::Yes);
        boxes->answer(QMessageBox::Yes);
        click("cmdDelete");
        QCOMPARE(groups().size(), 6);
        QVERIFY(!groups().contains(u"Other"_s));
        QCOMPARE(queryCount(u"SELECT count(*) FROM Clients"_s) + queryCount(u"SELECT count(*) FROM GroupLinking"_s), 0);
        QVERIFY(QApplication::overrideCursor() == nullptr);
    }

    void pickerMarksBecomeMembersAndAreCleared()
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
        const QString opened = clickOpening("cmdAdd", [](QWidget *picker) {
            QCOMPARE(child<QLabel>(picker, "lblCount")->text(), u"3"_s);
            auto *grid = child<QTableView>(picker, "grdClients");
            QCOMPARE(column(grid->model(), 2), (QStringList{u"botha"_s, u"Élan"_s, u"Zimmer"_s}));
            for (int row = 0; row < 3; ++row)
                tick(grid, row);
            QCOMPARE(static_cast<frmEditGroupsListContacts *>(picker)->marked().size(), 3);
            saveScreenshot(picker, u"frmEditGroupsListContacts"_s);
        });
        QCOMPARE(opened, u"frmEditGroupsListContacts"_s);
        QCOMPARE(members(), (QStringList{u"botha"_s, u"Élan"_s, u"Zimmer"_s}));

        // The picker opens without marks; All then None leaves none to add.
        clickOpening("cmdAdd", [](QWidget *picker) {
            const QModelIndex first = child<QTableView>(picker, "grdClients")->model()->index(0, 0);
            QCOMPARE(first.data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
            click(picker, "cmdAll");
            QCOMPARE(first.model()->index(0, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
            click(picker, "cmdNone");
        });
        QCOMPARE(queryCount(u"SELECT count(*) FROM GroupLinking"_s), 3);

        // Removing a member asks with the name as typed, saved or not; the contact stays.
        name()->setText(u"New Team"_s);
        auto *grid = child<QTableView>("grdList");
        grid->setCurrentIndex(grid->model()->index(1, 0));
        boxes->answer(QMessageBox::Yes);
        click("cmdDelete");
        QCOMPARE(boxes->last().text, u"Are you sure you want to delete Élan, X from group New Team?"_s);
        QCOMPARE(members(), (QStringList{u"botha"_s, u"Zimmer"_s}));
        QCOMPARE(queryCount(u"SELECT count(*) FROM Clients"_s), 4);
        saveScreenshot(window.get(), u"frmEditGroups"_s);
    }

    // Enter on both questions, as an operator hurrying through them: the group goes, its contacts stay.
    void enterTwiceDeletesTheGroupButKeepsItsContacts()
    {
        const qint64 team = addGroup(u"Team"_s);
        link(team, addClient(u"Ann"_s));
        link(team, addClient(u"Bob"_s));
        open(new frmListGroups);
        child<QTableView>("grdList")->selectRow(0);
        boxes.reset(); // real boxes
        const auto seen = enterOnEveryBox([this] { click("cmdDelete"); });
        QCOMPARE(seen.size(), 2);
        QCOMPARE(seen.at(0).text, u"Are you sure you want group : Team?"_s);
        QCOMPARE(seen.at(1).text, u"Do you want to delete all the contacts associated with this group as well?"_s);
        QCOMPARE(seen.at(1).defaultButton, u"No"_s);
        QCOMPARE(queryCount(u"SELECT count(*) FROM Groups"_s) + queryCount(u"SELECT count(*) FROM GroupLinking"_s), 0);
        QCOMPARE(queryCount(u"SELECT count(*) FROM Clients"_s), 2);
    }

    // Two operators pick contacts for two groups at once: neither sees, adds or clears the other's marks.
    void twoPickersAtOnceKeepTheirOwnMarks()
    {
        const qint64 team = addGroup(u"Team"_s), crew = addGroup(u"Crew"_s);
        addClient(u"Ann"_s);
        addClient(u"Bob"_s);
        addClient(u"Cy"_s);
        const auto ticked = [](QWidget *picker) {
            const QAbstractItemModel *list = child<QTableView>(picker, "grdClients")->model();
            QStringList names;
            for (int row = 0; row < list->rowCount(); ++row)
                if (list->index(row, 0).data(Qt::CheckStateRole).toInt() == Qt::Checked)
                    names << list->index(row, 2).data().toString();
            return names;
        };
        auto *other = new frmEditGroups;
        other->LoadDetails(qint32(crew));
        const std::unique_ptr<frmEditGroups> theirs(other);
        theirs->show();
        openEditor(team);

        clickOpening("cmdAdd", [&](QWidget *mine) {
            tick(child<QTableView>(mine, "grdClients"), 0); // Ann
            const QString nested = modalOpenedBy([&] { theirs->cmdAdd_Click(); },
                                                 [&](QWidget *picker) {
                                                     QCOMPARE(ticked(picker), QStringList());
                                                     tick(child<QTableView>(picker, "grdClients"), 2); // Cy
                                                 });
            QCOMPARE(nested, u"frmEditGroupsListContacts"_s);
            QCOMPARE(ticked(mine), QStringList{u"Ann"_s});
        });
        QCOMPARE(members(), QStringList{u"Ann"_s});
        const RecordTableModel *theirMembers = theirs->members();
        QCOMPARE(column(theirMembers, theirMembers->columnOf(u"LastName"_s)), QStringList{u"Cy"_s});
    }

    // A name holding markup is quoted as written in a real box, never formatted or hidden.
    void questionsQuoteNamesAsWritten()
    {
        const qint64 team = addGroup(u"Team"_s);
        link(team, addClient(u"<b>Ann</b>"_s, u"082"_s, u"<font color=white>Hidden</font>"_s));
        openEditor(team);
        auto *grid = child<QTableView>("grdList");
        grid->setCurrentIndex(grid->model()->index(0, 0));
        boxes.reset();
        const auto seen = enterOnEveryBox([this] { click("cmdDelete"); });
        QCOMPARE(seen.size(), 1);
        QCOMPARE(seen.at(0).text,
                 u"Are you sure you want to delete <b>Ann</b>, <font color=white>Hidden</font> from group Team?"_s);
        QCOMPARE(seen.at(0).format, Qt::PlainText);
        QCOMPARE(members(), QStringList{}); // Enter answered Yes
    }

    // F4 adds the chosen contact, once. Of two groups of one name, Save renames the one shown; Cancel keeps the name.
    void f4AddsTheChosenContactOnceAndSaveRenamesTheShownGroup()
    {
        const qint64 first = addGroup(u"Team"_s), second = addGroup(u"Team"_s);
        const qint64 ann = addClient(u"Zimmer"_s);
        openEditor(second);
        QCOMPARE(child<QLabel>("Label16")->text(), u"Press F4 to add Contact"_s);
        for (const qint64 chosen : {qint64(0), ann, ann}) {
            ClientHandOver::SelectedClientID = 99; // the editor resets it before the search opens
            const auto choose = [chosen](QWidget *) {
                QCOMPARE(ClientHandOver::SelectedClientID, 0);
                ClientHandOver::SelectedClientID = qint32(chosen);
            };
            QCOMPARE(withModal([this] { QTest::keyClick(name(), Qt::Key_F4); }, choose), u"frmSearchClients"_s);
            QCOMPARE(members(), chosen ? QStringList{u"Zimmer"_s} : QStringList());
        }
        QCOMPARE(name()->text(), u"Team"_s); // the key went nowhere else

        name()->setText(u" O'Brien's "_s);
        click("cmdSave");
        QVERIFY(!window->isVisible());
        QCOMPARE(GroupBook::nameOf(second), std::optional(u" O'Brien's "_s));
        QCOMPARE(GroupBook::nameOf(first), std::optional(u"Team"_s));
        openEditor(first);
        name()->setText(u"Changed"_s);
        click("cmdCancel");
        QCOMPARE(GroupBook::nameOf(first), std::optional(u"Team"_s));
        QVERIFY(boxes->shown().isEmpty());
    }

private:
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
    QLineEdit *name() const { return child<QLineEdit>("txtName"); }
    QString clickOpening(const char *button, const std::function<void(QWidget *)> &whileOpen)
    {
        return withModal([this, button] { click(button); }, whileOpen);
    }
};

QTEST_MAIN(tst_groupWindows)
#include "tst_groupWindows.moc"
