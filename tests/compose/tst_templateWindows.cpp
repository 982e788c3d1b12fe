#include "GroupRows.h"
#include "OutboxColumn.h"
#include "WindowFixture.h"

#include "compose/BodyEdit.h"
#include "compose/ComposerBlock.h"
#include "compose/NumberGrid.h"
#include "compose/TemplateBook.h"
#include "compose/frmImport.h"
#include "compose/frmSendToGroup.h"
#include "compose/frmSendToGroupNo.h"
#include "compose/frmSendToSingle.h"
#include "compose/frmTemplates.h"
#include "settings/cRegistry.h"

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QRadioButton>

using namespace GroupRows;
using namespace Qt::StringLiterals;

// Templates: saved from a composer, chosen in each of the four, kept in their own window.
class tst_templateWindows : public QObject, private WindowFixture
{
    Q_OBJECT

private slots:
    void init()
    {
        start();
        QFile::remove(cRegistry::hivePath()); // the importer starts with no message
    }
    void cleanup() { finish(); }

    void savedInOneComposerQueuedFromEvery_data();
    void savedInOneComposerQueuedFromEvery();
    void choosingAsksBeforeReplacingAndLeavesFieldsToTheQueueing();
    void templateWindowAddsRenamesAndDeletes();

private:
    ComposerBlock *composer() const { return window->findChild<ComposerBlock *>(); }
    QStringList bodies() const { return composer()->bodies(); }
    void setNumbers(const QStringList &cells)
    {
        auto *grid = child<NumberGrid>("grdList");
        grid->setRowCount(int(cells.size()));
        for (int row = 0; row < cells.size(); ++row)
            grid->setItem(row, 0, new QTableWidgetItem(cells.at(row)));
    }
    // Drops the template list down and picks the entry of this name; false when it is not listed.
    bool chooseTemplate(const QString &name)
    {
        auto *menu = child<QMenu>("mnuTemplates");
        emit menu->aboutToShow();
        for (QAction *action : menu->actions())
            if (action->text() == name && action->isEnabled()) {
                action->trigger();
                return true;
            }
        return false;
    }
    // Save as Template, typing this name in the window it opens.
    QString saveAsTemplate(const QString &name)
    {
        return withModal([this] { click("cmdSaveTemplate"); },
                         [name](QWidget *modal) {
                             child<QLineEdit>(modal, "txtName")->setText(name);
                             click(modal, "cmdSave");
                         });
    }
    QString file(const QString &name, const QByteArray &bytes) const { return home.file(name, bytes); }
};

void tst_templateWindows::savedInOneComposerQueuedFromEvery_data()
{
    QTest::addColumn<QString>("kind");         // the composer's class
    QTest::addColumn<QStringList>("messages"); // the queued rows' text
    const QString first = u"Your debit order of 1 March was returned.\r\nPlease call Mary's desk."_s;
    const QString third = u"Thank you"_s;
    QTest::newRow("contact") << u"frmSendToSingle"_s << QStringList{first, third};
    QTest::newRow("group") << u"frmSendToGroup"_s << QStringList{first, third};
    QTest::newRow("number list") << u"frmSendToGroupNo"_s << QStringList{first, third};
    // The importer has one message for each line: the first body.
    QTest::newRow("importer") << u"frmImport"_s << QStringList{first};
}

void tst_templateWindows::savedInOneComposerQueuedFromEvery()
{
    QFETCH(QString, kind);
    QFETCH(QStringList, messages);
    const QString name = u"Returned debit's reminder"_s;
    open(new frmSendToGroupNo);
    composer()->setBody(1, u"Your debit order of 1 March was returned.\nPlease call Mary's desk."_s);
    composer()->setBody(3, u"Thank you"_s);
    QCOMPARE(saveAsTemplate(name), u"frmSaveTemplate"_s);
    QCOMPARE(TemplateBook::list().size(), 1);
    // The same name again, in another case, is refused; the window stays open until cancelled.
    QCOMPARE(saveAsTemplate(u" RETURNED DEBIT'S REMINDER"_s), u"frmSaveTemplate"_s);
    QCOMPARE(boxes->last().title, u"EXIST"_s);
    QCOMPARE(TemplateBook::list().size(), 1);
    boxes->clear();

    const QString sendButton = kind == u"frmImport"_s ? u"cmdImport"_s : u"cmdSend"_s;
    if (kind == u"frmSendToSingle"_s) {
        open(new frmSendToSingle);
        child<QLineEdit>("txtCellphone")->setText(u"0821234567"_s);
    } else if (kind == u"frmSendToGroup"_s) {
        link(addGroup(u"Staff"_s), addClient(u"Zimmer"_s, u"0821234567"_s, u"Ann"_s));
        open(new frmSendToGroup);
        child<QComboBox>("cboGroups")->setCurrentText(u"Staff"_s);
    } else if (kind == u"frmSendToGroupNo"_s) {
        open(new frmSendToGroupNo);
        setNumbers({u"0821234567"_s});
    } else {
        open(new frmImport);
    }
    QVERIFY(chooseTemplate(name));
    if (kind == u"frmImport"_s) {
        QCOMPARE(child<QPlainTextEdit>("txtMessage")->toPlainText(),
                 u"Your debit order of 1 March was returned.\nPlease call Mary's desk."_s);
        QCOMPARE(boxes->titles(), QStringList{u"TEMPLATE"_s}); // the third body was left out
        dialogs->choose(file(u"list.txt"_s, "1001,0821234567\n"));
        click("cmdBrowse");
    } else {
        QCOMPARE(bodies(), (QStringList{messages.at(0), {}, messages.at(1), {}}));
        QVERIFY(boxes->titles().isEmpty());
    }
    QTest::mouseClick(child<QPushButton>(sendButton.toLatin1().constData()), Qt::LeftButton);
    QCOMPARE(outboxColumn(u"Message"_s), messages);
    QCOMPARE(outboxColumn(u"Number"_s), QStringList(messages.size(), u"0821234567"_s));
    if (kind == u"frmSendToGroupNo"_s)
        screenshots(u"frmSendToGroupNo-templates"_s);
}

void tst_templateWindows::choosingAsksBeforeReplacingAndLeavesFieldsToTheQueueing()
{
    TemplateBook::add(u"Nickname"_s, {{u"Dear {Nickname}, see you on Friday."_s, {}, {}, {}}, true});
    open(new frmSendToGroupNo);
    setNumbers({u"0821234567"_s});
    composer()->setBody(2, u"typed by hand"_s);
    QVERIFY(chooseTemplate(u"Nickname"_s)); // unanswered, the question takes No
    QCOMPARE(boxes->titles(), QStringList{u"TEMPLATE"_s});
    QCOMPARE(bodies(), (QStringList{{}, u"typed by hand"_s, {}, {}}));
    QVERIFY(!child<QRadioButton>("optMarketing")->isChecked());
    boxes->answer(QMessageBox::Yes);
    QVERIFY(chooseTemplate(u"Nickname"_s));
    QCOMPARE(bodies(), (QStringList{u"Dear {Nickname}, see you on Friday."_s, {}, {}, {}}));
    QVERIFY(child<QRadioButton>("optMarketing")->isChecked());
    // A field no contact has is found when queueing, as in typed text: nothing is queued.
    boxes->clear();
    click("cmdSend");
    QVERIFY(boxes->titles().contains(u"ERROR"_s));
    QVERIFY2(boxes->shown().first().text.contains(u"{Nickname}"_s), qPrintable(boxes->shown().first().text));
    QCOMPARE(OutboxRows::count(), 0);
}

void tst_templateWindows::templateWindowAddsRenamesAndDeletes()
{
    TemplateBook::add(u"Meeting"_s, {{u"AGM on Friday"_s, {}, {}, {}}, false});
    open(new frmTemplates);
    auto *list = child<QListWidget>("lstTemplates");
    auto *name = child<QLineEdit>("txtName");
    QCOMPARE(name->text(), u"Meeting"_s); // the first is shown
    QCOMPARE(composer()->bodies().first(), u"AGM on Friday"_s);
    QVERIFY(!child<QWidget>("TemplateChooser")->isVisible());

    click("cmdNew");
    QVERIFY(name->text().isEmpty());
    name->setText(u"Payment thanks"_s);
    composer()->setBody(1, u"Thank you for your payment."_s);
    child<QRadioButton>("optMarketing")->setChecked(true);
    click("cmdSave");
    QCOMPARE(column(list->model(), 0), (QStringList{u"Meeting"_s, u"Payment thanks"_s}));
    QCOMPARE(list->currentItem()->text(), u"Payment thanks"_s);
    std::optional<MessageTemplate> saved = TemplateBook::find(TemplateBook::list().last().id);
    QCOMPARE(saved->text.bodies.first(), u"Thank you for your payment."_s);
    QVERIFY(saved->text.marketing);

    // Renamed onto the other's name: refused, the typed name stays to be changed.
    name->setText(u" MEETING"_s);
    click("cmdSave");
    QCOMPARE(boxes->last().title, u"EXIST"_s);
    QCOMPARE(name->text(), u" MEETING"_s);
    name->setText(u"Members' thanks"_s);
    click("cmdSave");
    QCOMPARE(column(list->model(), 0), (QStringList{u"Meeting"_s, u"Members' thanks"_s}));

    // Another template chosen with changes unsaved: the operator is asked, and No lets them go.
    composer()->setBody(2, u"never saved"_s);
    list->setCurrentRow(0);
    QCOMPARE(boxes->last().title, u"SAVE"_s);
    QCOMPARE(name->text(), u"Meeting"_s);
    screenshots(u"frmTemplates"_s);

    boxes->answer(QMessageBox::Yes);
    click("cmdDelete");
    QCOMPARE(boxes->last().title, u"DELETE"_s);
    QCOMPARE(column(list->model(), 0), QStringList{u"Members' thanks"_s});
    QCOMPARE(name->text(), u"Members' thanks"_s);
    QCOMPARE(TemplateBook::find(TemplateBook::list().first().id)->text.bodies.at(1), QString());
}

QTEST_MAIN(tst_templateWindows)
#include "tst_templateWindows.moc"
