#include "ComposeTestSupport.h"
#include "GuiTestSupport.h"

#include "compose/BodyEdit.h"
#include "compose/ComposerBlock.h"
#include "compose/frmSendToSingle.h"
#include "data/ProcessSettings.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace ComposeTest;
using namespace Qt::StringLiterals;

// "Send SMS to Single Person": a typed number or a contact found with F4.
class tst_sendToSingle : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void typedNumberGoesOutWithoutAContact();
    void f4FillsTheChosenContact();

private:
    template<typename T>
    T *child(const char *name) const
    {
        T *found = window->findChild<T *>(QString::fromLatin1(name));
        if (!found)
            qFatal("no control %s", name);
        return found;
    }
    QString text(const char *box) const { return child<QLineEdit>(box)->text(); }
    void click(const char *button) { QTest::mouseClick(child<QPushButton>(button), Qt::LeftButton); }
    QString status() const { return child<QLabel>("lblStatus")->text(); }
    void setBody(int n, const QString &body) { window->findChild<ComposerBlock *>()->setBody(n, body); }
    // Presses F4 and picks this contact (0: none) in the search window it opens.
    QString pressF4Choosing(qint64 chosen)
    {
        window->activateWindow();
        if (!QTest::qWaitForWindowActive(window.get()))
            return u"inactive"_s;
        QString opened;
        QTimer::singleShot(0, [&] {
            if (QWidget *modal = QApplication::activeModalWidget()) {
                opened = QString::fromLatin1(modal->metaObject()->className());
                modMain::SelectedClientID = qint32(chosen);
                modal->close();
            }
        });
        QTest::keyClick(child<QLineEdit>("txtCellphone"), Qt::Key_F4);
        return opened;
    }

    TestHome home;
    std::unique_ptr<ScriptedMessageBoxes> boxes;
    std::unique_ptr<frmSendToSingle> window;
};

void tst_sendToSingle::init()
{
    home.freshDatabase();
    boxes = std::make_unique<ScriptedMessageBoxes>();
    window = std::make_unique<frmSendToSingle>();
    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
}

void tst_sendToSingle::cleanup()
{
    window.reset();
    boxes.reset();
}

void tst_sendToSingle::typedNumberGoesOutWithoutAContact()
{
    QCOMPARE(window->windowTitle(), u"Send SMS to Single Person"_s);
    QCOMPARE(status(), u"Ready ..."_s);
    QVERIFY(!child<QPushButton>("cmdSendNow")->isVisible());
    setBody(2, u"Your order is ready"_s);
    click("cmdSend");
    QCOMPARE(boxes->titles(), QStringList{u"NO NUMBER"_s});
    QCOMPARE(boxes->last().text, u"Customer has no cellphone number. Please edit the customer first."_s);
    QCOMPARE(boxes->last().icon, QMessageBox::Information);
    QCOMPARE(outboxCount(), 0);

    child<QLineEdit>("txtCellphone")->setText(u" 082 123 4567 "_s);
    setBody(4, u"  Thanks  "_s);
    click("cmdSend");
    QCOMPARE(status(), u"Added 1 records."_s);
    const auto rows = outbox();
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows[0].value("Message").toString(), u"Your order is ready"_s);
    QCOMPARE(rows[1].value("Message").toString(), u"Thanks"_s);
    for (const auto &row : rows) {
        QCOMPARE(row.value("Number").toString(), u"082 123 4567"_s);
        QCOMPARE(row.value("ClientID").toLongLong(), 0);
        QVERIFY(!row.value("ClientID").isNull());
    }
    QVERIFY(!child<QPushButton>("cmdSendNow")->isVisible());

    // A failing write is shown; the status still says whom it was adding.
    refuseNumber(u"0999"_s);
    child<QLineEdit>("txtCellphone")->setText(u"0999"_s);
    click("cmdSend");
    QCOMPARE(boxes->titles(), (QStringList{u"NO NUMBER"_s, u"ERROR"_s}));
    QCOMPARE(status(), u"Adding , "_s);
    QVERIFY(QApplication::overrideCursor() == nullptr);
    QCOMPARE(outboxCount(), 2);
}

void tst_sendToSingle::f4FillsTheChosenContact()
{
    const qint64 john = Database::insert(u"INSERT INTO Clients (LastName, FirstName, Mobile) "
                                         u"VALUES (' O''Brien ', 'John ', ' 0821234567 ')"_s);
    const qint64 nonumber = addClient(u"Blank"_s, u"Bo"_s, QVariant());
    QCOMPARE(child<QLabel>("Label7")->text(), u"Press F4 to search"_s);
    QCOMPARE(pressF4Choosing(0), u"frmSearchClients"_s);
    QCOMPARE(text("txtLastname"), QString());

    QCOMPARE(pressF4Choosing(john), u"frmSearchClients"_s);
    QCOMPARE(text("txtLastname"), u"O'Brien"_s);
    QCOMPARE(text("txtFirstname"), u"John"_s);
    QCOMPARE(text("txtCellphone"), u"0821234567"_s);
    QCOMPARE(window->focusWidget(), window->findChild<ComposerBlock *>()->body(1));
    QCOMPARE(pressF4Choosing(0), u"frmSearchClients"_s); // no choice keeps the contact
    QCOMPARE(text("txtLastname"), u"O'Brien"_s);
    setBody(1, u"Hello"_s);
    click("cmdSend");
    QCOMPARE(Database::value(u"SELECT ClientID FROM SMSSend"_s).toLongLong(), john);
    saveScreenshot(window.get(), u"frmSendToSingle"_s);

    QCOMPARE(pressF4Choosing(nonumber), u"frmSearchClients"_s);
    QCOMPARE(text("txtCellphone"), QString());
    click("cmdSend");
    QCOMPARE(boxes->titles(), QStringList{u"NO NUMBER"_s});
    QCOMPARE(outboxCount(), 1);
}

QTEST_MAIN(tst_sendToSingle)
#include "tst_sendToSingle.moc"
