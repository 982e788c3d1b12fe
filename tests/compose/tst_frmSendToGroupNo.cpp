#include "ComposeTestSupport.h"
#include "GuiTestSupport.h"

#include "compose/BodyEdit.h"
#include "compose/ComposerBlock.h"
#include "compose/NumberGrid.h"
#include "compose/frmSendToGroupNo.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>

using namespace ComposeTest;

class tst_frmSendToGroupNo : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void opensReady();
    void emptyGridGivesBothMessages();
    void typedNumbersAreQueuedBodyByBody();
    void blankRowsAreSkippedAndNotCounted();
    void numbersCountWhenEveryBodyIsBlank();
    void anErrorKeepsTheNumbersBefore();

private:
    NumberGrid *grid() const { return window->findChild<NumberGrid *>(QStringLiteral("grdList")); }
    ComposerBlock *composer() const { return window->findChild<ComposerBlock *>(); }
    QString status() const { return window->findChild<QLabel *>(QStringLiteral("lblStatus"))->text(); }
    void clickSend() { QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("cmdSend")), Qt::LeftButton); }
    void setRows(const QStringList &cells)
    {
        for (int row = 0; row < cells.size(); ++row) {
            if (row >= grid()->rowCount())
                grid()->insertRow(row);
            grid()->setItem(row, 0, new QTableWidgetItem(cells.at(row)));
        }
    }
    // Keys go where the keyboard sends them: the grid, then the cell editor
    // the first key opened.
    void typeIntoFocus(const QString &text)
    {
        for (QChar c : text)
            QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
    }
    void pressEnterInFocus()
    {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCoreApplication::processEvents(); // the editor hands its text over through the event loop
    }

    TestHome home;
    ScriptedMessageBoxes *boxes = nullptr;
    frmSendToGroupNo *window = nullptr;
};

void tst_frmSendToGroupNo::init()
{
    home.freshDatabase();
    boxes = new ScriptedMessageBoxes;
    window = new frmSendToGroupNo;
    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window));
}

void tst_frmSendToGroupNo::cleanup()
{
    delete window;
    delete boxes;
}

void tst_frmSendToGroupNo::opensReady()
{
    QCOMPARE(window->windowTitle(), QStringLiteral("Send SMS to Group of People"));
    QCOMPARE(status(), QStringLiteral("Ready ..."));
    QCOMPARE(grid()->columnCount(), 1);
    QCOMPARE(grid()->horizontalHeaderItem(0)->text(), QStringLiteral("Number"));
    QVERIFY(grid()->numbers().isEmpty());
    QCOMPARE(window->findChild<QPushButton *>(QStringLiteral("cmdSend"))->text(), QStringLiteral("Add To Queue"));
    QCOMPARE(window->findChild<QPushButton *>(QStringLiteral("cmdCancel"))->text(), QStringLiteral("Close"));
    auto *sendNow = window->findChild<QPushButton *>(QStringLiteral("cmdSendNow"));
    QVERIFY(sendNow);
    QVERIFY(!sendNow->isVisible());
    clickSend();
    QVERIFY(!sendNow->isVisible());
    for (int n = 1; n <= 4; ++n)
        QVERIFY(window->findChild<BodyEdit *>(QStringLiteral("txtBody%1").arg(n)));

    QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("cmdCancel")), Qt::LeftButton);
    QVERIFY(!window->isVisible());
}

void tst_frmSendToGroupNo::emptyGridGivesBothMessages()
{
    composer()->setBody(1, QStringLiteral("Hello"));
    clickSend();
    QCOMPARE(boxes->titles(), (QStringList{QStringLiteral("NO NUMBER"), QStringLiteral("ADDED")}));
    QCOMPARE(boxes->shown()[0].text, QStringLiteral("No Cellphone Numbers Added."));
    QCOMPARE(boxes->shown()[0].icon, QMessageBox::Information);
    QCOMPARE(boxes->shown()[1].text, QStringLiteral("0 records added."));
    QCOMPARE(outboxCount(), 0);
    QVERIFY(QApplication::overrideCursor() == nullptr);
}

void tst_frmSendToGroupNo::typedNumbersAreQueuedBodyByBody()
{
    grid()->setFocus();
    grid()->setCurrentCell(0, 0);
    typeIntoFocus(QStringLiteral(" 0821111111 "));
    pressEnterInFocus();
    typeIntoFocus(QStringLiteral("082 222 2222"));
    pressEnterInFocus();
    pressEnterInFocus(); // Enter on the empty row stays there
    typeIntoFocus(QStringLiteral("0821111111"));
    pressEnterInFocus();
    QCOMPARE(grid()->numbers(), (QStringList{QStringLiteral(" 0821111111 "), QStringLiteral("082 222 2222"),
                                             QStringLiteral("0821111111")}));
    QCOMPARE(grid()->rowCount(), 4); // the empty row to type the next number into
    QVERIFY(window->isVisible());    // Enter never reached the window's buttons

    {
        BodyEdit *second = composer()->body(2);
        QTest::keyClicks(second, QStringLiteral("Meeting at 10"));
        QTest::keyClick(second, Qt::Key_Return);
        QTest::keyClicks(second, QStringLiteral("Bring the forms"));
        composer()->setBody(4, QStringLiteral("  Thanks  "));
    }
    clickSend();
    QCOMPARE(boxes->titles(), QStringList{QStringLiteral("ADDED")});
    QCOMPARE(boxes->last().text, QStringLiteral("3 records added."));
    QCOMPARE(status(), QStringLiteral("Added record for 0821111111"));

    const auto rows = outbox();
    QCOMPARE(rows.size(), 6);
    const QStringList numbers = {QStringLiteral("0821111111"), QStringLiteral("0821111111"),
                                 QStringLiteral("082 222 2222"), QStringLiteral("082 222 2222"),
                                 QStringLiteral("0821111111"), QStringLiteral("0821111111")};
    for (int i = 0; i < 6; ++i) {
        QCOMPARE(rows[i].value("Number").toString(), numbers[i]);
        QCOMPARE(rows[i].value("Message").toString(),
                 i % 2 == 0 ? QStringLiteral("Meeting at 10\r\nBring the forms") : QStringLiteral("Thanks"));
        QVERIFY(rows[i].value("ClientID").isNull());
        QVERIFY(!rows[i].value("SendDate").isNull());
    }

    // The window stays as it was; pressing again queues everything again.
    clickSend();
    QCOMPARE(outboxCount(), 12);
    QCOMPARE(composer()->bodies().at(3), QStringLiteral("  Thanks  "));

    saveScreenshot(window, QStringLiteral("frmSendToGroupNo"));
    const QSize normal = window->size();
    window->resize(window->minimumSizeHint());
    saveScreenshot(window, QStringLiteral("frmSendToGroupNo-smallest"));
    window->resize(1280, 900);
    saveScreenshot(window, QStringLiteral("frmSendToGroupNo-large"));
    window->resize(normal);
}

void tst_frmSendToGroupNo::blankRowsAreSkippedAndNotCounted()
{
    setRows({QStringLiteral("0821111111"), QStringLiteral("    "), QStringLiteral("x"), QStringLiteral("0823333333")});
    grid()->item(2, 0)->setText(QString()); // a number cleared again
    QCOMPARE(grid()->numbers().size(), 4);
    composer()->setBody(1, QStringLiteral("Hi"));
    clickSend();
    QCOMPARE(boxes->titles(), QStringList{QStringLiteral("ADDED")});
    QCOMPARE(boxes->last().text, QStringLiteral("2 records added."));
    QCOMPARE(status(), QStringLiteral("Added record for 0823333333"));
    QCOMPARE(outboxCount(), 2);
}

void tst_frmSendToGroupNo::numbersCountWhenEveryBodyIsBlank()
{
    setRows({QStringLiteral("0821111111"), QStringLiteral("0822222222"), QStringLiteral("0823333333")});
    composer()->setBody(2, QStringLiteral("      "));
    clickSend();
    QCOMPARE(boxes->last().text, QStringLiteral("3 records added."));
    QCOMPARE(outboxCount(), 0);
}

void tst_frmSendToGroupNo::anErrorKeepsTheNumbersBefore()
{
    refuseNumber(QStringLiteral("0999"));
    setRows({QStringLiteral("0821111111"), QStringLiteral("0999"), QStringLiteral("0823333333")});
    composer()->setBody(1, QStringLiteral("One"));
    composer()->setBody(3, QStringLiteral("Three"));
    clickSend();
    QCOMPARE(boxes->titles(), QStringList{QStringLiteral("ERROR")});
    QCOMPARE(boxes->last().icon, QMessageBox::Critical);
    QVERIFY2(boxes->last().text.contains(QStringLiteral(" - ")), qPrintable(boxes->last().text));
    QVERIFY2(boxes->last().text.contains(QStringLiteral("refused by test")), qPrintable(boxes->last().text));
    QCOMPARE(status(), QStringLiteral("Adding 0999"));
    QVERIFY(QApplication::overrideCursor() == nullptr);
    Database::close();
    const auto rows = outbox();
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows[1].value("Message").toString(), QStringLiteral("Three"));
}

QTEST_MAIN(tst_frmSendToGroupNo)
#include "tst_frmSendToGroupNo.moc"
