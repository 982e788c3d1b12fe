#include "ContactTestSupport.h"
#include "GuiTestSupport.h"

#include "contacts/frmSearchClients.h"
#include "data/ProcessSettings.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTest>

#include <memory>

using namespace ContactTest;
using namespace Qt::StringLiterals;

// The contact windows driven as the operator drives them: list, editor and search.
class tst_contactWindows : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void searchPicksByEnterOrDoubleClickAndNothingFromAnEmptyList();
    void searchOptionsSetTheNameBoxes();

private:
    void open(QDialog *dialog)
    {
        window.reset(dialog);
        window->show();
        QVERIFY(QTest::qWaitForWindowActive(dialog));
    }
    template<typename T>
    T *child(const char *name) const
    {
        T *found = window->findChild<T *>(QString::fromLatin1(name));
        if (!found)
            qFatal("no control %s", name);
        return found;
    }
    void click(const char *button) { QTest::mouseClick(child<QPushButton>(button), Qt::LeftButton); }
    void type(const char *box, const QString &text)
    {
        auto *edit = child<QLineEdit>(box);
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, text);
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

void tst_contactWindows::init()
{
    home.freshDatabase();
    boxes = std::make_unique<ScriptedMessageBoxes>();
    modMain::SelectedClientID = 0;
    modMain::SavedClientID = 0;
}

void tst_contactWindows::cleanup()
{
    window.reset();
    boxes.reset();
}

void tst_contactWindows::searchPicksByEnterOrDoubleClickAndNothingFromAnEmptyList()
{
    addContact({{"LastName", u"Zulu"_s}, {"FirstName", u"Jo"_s}, {"AssNo", u"A2"_s}});
    const qint64 obrien = addContact({{"LastName", u"O'Brien"_s}, {"FirstName", u"Sean"_s}, {"AssNo", u"A1"_s}});
    const qint64 adams = addContact({{"LastName", u"Adams"_s}, {"FirstName", u"Joan"_s}, {"AssNo", u"A3"_s}});

    // Enter in the criteria searches (and does not close the window); Enter in the list picks.
    open(new frmSearchClients);
    type("txtCriteria", u"jo"_s);
    QTest::keyClick(child<QLineEdit>("txtCriteria"), Qt::Key_Return);
    QVERIFY(window->isVisible());
    auto *results = child<QTableView>("grdResults");
    QCOMPARE(results->model()->rowCount(), 2);
    QCOMPARE(results->model()->headerData(1, Qt::Horizontal).toString(), u"Last Name"_s);
    QCOMPARE(results->model()->index(0, 1).data().toString(), u"Adams"_s);
    QVERIFY(results->isColumnHidden(0));
    screenshots(u"frmSearchClients"_s);
    results->setFocus();
    QTest::keyClick(results, Qt::Key_Down);
    QTest::keyClick(results, Qt::Key_Return);
    QVERIFY(!window->isVisible());
    QCOMPARE(modMain::SelectedClientID, 1);

    // A quote stays in the criteria and finds the name that holds it; a double click picks.
    modMain::SelectedClientID = 0;
    open(new frmSearchClients);
    type("txtCriteria", u"O'Brien"_s);
    click("cmdSearch");
    QCOMPARE(child<QLineEdit>("txtCriteria")->text(), u"O'Brien"_s);
    results = child<QTableView>("grdResults");
    QCOMPARE(results->model()->rowCount(), 1);
    const QRect cell = results->visualRect(results->model()->index(0, 1));
    QTest::mouseClick(results->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(results->viewport(), Qt::LeftButton, {}, cell.center());
    QCOMPARE(modMain::SelectedClientID, qint32(obrien));

    // Nothing found: Enter and a double click pick nothing; Close leaves the opener's value.
    modMain::SelectedClientID = 0;
    open(new frmSearchClients);
    type("txtCriteria", u"nobody"_s);
    click("cmdSearch");
    results = child<QTableView>("grdResults");
    QCOMPARE(results->model()->rowCount(), 0);
    results->setFocus();
    QTest::keyClick(results, Qt::Key_Return);
    QTest::mouseClick(results->viewport(), Qt::LeftButton, {}, QPoint(20, 20));
    QTest::mouseDClick(results->viewport(), Qt::LeftButton, {}, QPoint(20, 20));
    QVERIFY(window->isVisible());
    type("txtCriteria", u"adams"_s);
    click("cmdSearch");
    QCOMPARE(results->model()->rowCount(), 1);
    click("cmdClose");
    QVERIFY(!window->isVisible());
    QCOMPARE(modMain::SelectedClientID, 0);
    QVERIFY(boxes->shown().isEmpty());
    Q_UNUSED(adams);
}

void tst_contactWindows::searchOptionsSetTheNameBoxes()
{
    addContact({{"LastName", u"Adams"_s}, {"EMail", u"ann@example.com"_s}, {"Mobile", u"0821234567"_s}});
    open(new frmSearchClients);
    const QList<QCheckBox *> names{child<QCheckBox>("chkContact_0"), child<QCheckBox>("chkContact_1"),
                                   child<QCheckBox>("chkContact_2"), child<QCheckBox>("chkContact_3")};
    QVERIFY(child<QRadioButton>("optOptions_0")->isChecked());
    for (int option : {2, 0, 1}) {
        child<QRadioButton>(qPrintable(u"optOptions_%1"_s.arg(option)))->click();
        for (QCheckBox *box : names) {
            QCOMPARE(box->isChecked(), option == 0);
            QCOMPARE(box->isEnabled(), option == 0);
        }
        QCOMPARE(QApplication::focusWidget(), child<QLineEdit>("txtCriteria"));
    }
    type("txtCriteria", u"EXAMPLE"_s); // e-mail option, any case
    click("cmdSearch");
    QCOMPARE(child<QTableView>("grdResults")->model()->rowCount(), 1);
}

QTEST_MAIN(tst_contactWindows)
#include "tst_contactWindows.moc"
