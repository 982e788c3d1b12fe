#include "GuiTestSupport.h"

#include "compose/BodyEdit.h"
#include "compose/ComposerBlock.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QTest>

class tst_composerBlock : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void startsEmptyWithFullCounters();
    void bodyHoldsExactly160();
    void lineBreakCountsTwoAndIsStoredAsCrLf();
    void pasteIsCutToFit();
    void programTextIsCutToFit();
    void deletingRaisesTheCounter();
    void vetoRefusesShiftEqualsAndShiftSeven();
    void vetoStaysPendingAcrossBodies();
    void onlyShiftAloneOnTheMainKeyboardVetoes();
    void pastedPlusAndAmpersandStay();
    void partsLabelFollowsTheText();

private:
    BodyEdit *body(int n) const { return block->body(n); }
    QString left(int n) const { return block->findChild<QLineEdit *>(QStringLiteral("txtSMSLeft%1").arg(n))->text(); }
    QString parts(int n) const { return block->findChild<QLabel *>(QStringLiteral("lblParts%1").arg(n))->text(); }
    void type(QWidget *to, const QString &text) { QTest::keyClicks(to, text); }
    // A key press as the keyboard sends it: key code, modifiers and the text it
    // produces (none for a dead key).
    static void press(QWidget *to, Qt::Key key, Qt::KeyboardModifiers modifiers, const QString &text)
    {
        QKeyEvent down(QEvent::KeyPress, key, modifiers, text);
        QApplication::sendEvent(to, &down);
        QKeyEvent up(QEvent::KeyRelease, key, modifiers, text);
        QApplication::sendEvent(to, &up);
    }
    void paste(BodyEdit *into, const QString &text)
    {
        QApplication::clipboard()->setText(text);
        into->paste();
    }

    ComposerBlock *block = nullptr;
};

void tst_composerBlock::init()
{
    block = new ComposerBlock;
    block->resize(640, 260);
    block->show();
    QVERIFY(QTest::qWaitForWindowExposed(block));
}

void tst_composerBlock::cleanup()
{
    delete block;
    block = nullptr;
}

void tst_composerBlock::startsEmptyWithFullCounters()
{
    for (int n = 1; n <= 4; ++n) {
        QCOMPARE(body(n)->objectName(), QStringLiteral("txtBody%1").arg(n));
        QVERIFY(body(n)->toPlainText().isEmpty());
        QCOMPARE(left(n), QStringLiteral("160"));
        QLineEdit *counter = block->findChild<QLineEdit *>(QStringLiteral("txtSMSLeft%1").arg(n));
        QVERIFY(counter->isReadOnly());
        QCOMPARE(counter->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
        QCOMPARE(block->findChild<QLabel *>(QStringLiteral("lblBody%1").arg(n))->text(), QStringLiteral("Body %1").arg(n));
    }
    QCOMPARE(block->bodies(), QStringList(4, QString()));
    // The first character typed into a fresh composer goes in.
    type(body(1), QStringLiteral("+"));
    QCOMPARE(body(1)->toPlainText(), QStringLiteral("+"));
}

void tst_composerBlock::bodyHoldsExactly160()
{
    body(2)->setPlainText(QString(159, QLatin1Char('a')));
    QCOMPARE(left(2), QStringLiteral("1"));
    body(2)->moveCursor(QTextCursor::End);
    type(body(2), QStringLiteral("b"));
    QCOMPARE(body(2)->toPlainText().size(), 160);
    QCOMPARE(left(2), QStringLiteral("0"));

    type(body(2), QStringLiteral("c"));
    QTest::keyClick(body(2), Qt::Key_Return);
    body(2)->moveCursor(QTextCursor::Start);
    type(body(2), QStringLiteral("d"));
    QCOMPARE(body(2)->toPlainText(), QString(159, QLatin1Char('a')) + QLatin1Char('b'));
    QCOMPARE(left(2), QStringLiteral("0"));

    // With part of the text selected, typing replaces it and fits again.
    body(2)->selectAll();
    type(body(2), QStringLiteral("x"));
    QCOMPARE(body(2)->toPlainText(), QStringLiteral("x"));
    QCOMPARE(left(2), QStringLiteral("159"));
}

void tst_composerBlock::lineBreakCountsTwoAndIsStoredAsCrLf()
{
    type(body(1), QStringLiteral("Hi"));
    QTest::keyClick(body(1), Qt::Key_Return);
    type(body(1), QStringLiteral("there"));
    QCOMPARE(left(1), QStringLiteral("151"));
    QCOMPARE(block->bodies().at(0), QStringLiteral("Hi\r\nthere"));

    // One character of room is not enough for a line break.
    body(3)->setPlainText(QString(159, QLatin1Char('a')));
    body(3)->moveCursor(QTextCursor::End);
    QTest::keyClick(body(3), Qt::Key_Return);
    QCOMPARE(body(3)->toPlainText().size(), 159);
    QCOMPARE(left(3), QStringLiteral("1"));
    body(3)->setPlainText(QString(158, QLatin1Char('a')));
    body(3)->moveCursor(QTextCursor::End);
    QTest::keyClick(body(3), Qt::Key_Return);
    QCOMPARE(left(3), QStringLiteral("0"));
    QCOMPARE(block->bodies().at(2), QString(158, QLatin1Char('a')) + QStringLiteral("\r\n"));
}

void tst_composerBlock::pasteIsCutToFit()
{
    body(1)->setPlainText(QString(140, QLatin1Char('a')));
    body(1)->moveCursor(QTextCursor::End);
    paste(body(1), QStringLiteral("0123456789ABCDEFGHIJKLMNOP"));
    QCOMPARE(body(1)->toPlainText(), QString(140, QLatin1Char('a')) + QStringLiteral("0123456789ABCDEFGHIJ"));
    QCOMPARE(left(1), QStringLiteral("0"));

    // A pasted CR LF is one line break of two characters and is never split.
    body(4)->setPlainText(QString(155, QLatin1Char('a')));
    body(4)->moveCursor(QTextCursor::End);
    paste(body(4), QStringLiteral("xy\r\nz\r\nmore"));
    QCOMPARE(block->bodies().at(3), QString(155, QLatin1Char('a')) + QStringLiteral("xy\r\nz"));
    QCOMPARE(left(4), QStringLiteral("0"));

    // A drop goes through the same door.
    body(2)->setPlainText(QString(158, QLatin1Char('a')));
    body(2)->moveCursor(QTextCursor::End);
    QMimeData dropped;
    dropped.setText(QStringLiteral("dropped text"));
    const QPoint at = body(2)->viewport()->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(body(2)->viewport(), &enter);
    QDragMoveEvent move(at, Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(body(2)->viewport(), &move);
    QDropEvent drop(at, Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(body(2)->viewport(), &drop);
    QCOMPARE(body(2)->storedLength(), 160);
    QVERIFY(body(2)->toPlainText().contains(QStringLiteral("dr")));
    QVERIFY(!body(2)->toPlainText().contains(QStringLiteral("dro")));
}

void tst_composerBlock::programTextIsCutToFit()
{
    block->setBody(3, QString(200, QLatin1Char('z')));
    QCOMPARE(body(3)->toPlainText().size(), 160);
    body(3)->setPlainText(QString(100, QLatin1Char('y')) + QStringLiteral("\n").repeated(40));
    QCOMPARE(body(3)->storedLength(), 160);
    QCOMPARE(left(3), QStringLiteral("0"));
    // Undoing and redoing cannot push it past the limit either.
    body(3)->undo();
    body(3)->redo();
    QVERIFY(body(3)->storedLength() <= 160);
}

void tst_composerBlock::deletingRaisesTheCounter()
{
    type(body(2), QStringLiteral("abc"));
    QCOMPARE(left(2), QStringLiteral("157"));
    QTest::keyClick(body(2), Qt::Key_Backspace);
    QCOMPARE(left(2), QStringLiteral("158"));
    QTest::keyClick(body(2), Qt::Key_Backspace);
    QTest::keyClick(body(2), Qt::Key_Backspace);
    QCOMPARE(left(2), QStringLiteral("160"));
    // Blanks count although they are never queued.
    type(body(2), QStringLiteral("   "));
    QCOMPARE(left(2), QStringLiteral("157"));
}

void tst_composerBlock::vetoRefusesShiftEqualsAndShiftSeven()
{
    QTest::keyClick(body(1), Qt::Key_Equal, Qt::ShiftModifier);
    QCOMPARE(body(1)->toPlainText(), QString());
    QTest::keyClick(body(1), Qt::Key_Equal);
    QCOMPARE(body(1)->toPlainText(), QStringLiteral("="));
    QTest::keyClick(body(1), Qt::Key_7, Qt::ShiftModifier);
    QCOMPARE(body(1)->toPlainText(), QStringLiteral("="));
    QTest::keyClick(body(1), Qt::Key_7);
    QCOMPARE(body(1)->toPlainText(), QStringLiteral("=7"));

    // As a US keyboard reports them: the shifted symbols.
    press(body(1), Qt::Key_Plus, Qt::ShiftModifier, QStringLiteral("+"));
    press(body(1), Qt::Key_Ampersand, Qt::ShiftModifier, QStringLiteral("&"));
    QCOMPARE(body(1)->toPlainText(), QStringLiteral("=7"));
    // Other shifted keys are not touched.
    press(body(1), Qt::Key_Asterisk, Qt::ShiftModifier, QStringLiteral("*"));
    QCOMPARE(body(1)->toPlainText(), QStringLiteral("=7*"));
    QCOMPARE(left(1), QStringLiteral("157"));
}

void tst_composerBlock::vetoStaysPendingAcrossBodies()
{
    // A dead key: the combination produces no character, so the veto waits
    // for the next character, wherever it is typed.
    press(body(1), Qt::Key_Plus, Qt::ShiftModifier, QString());
    QTest::keyClick(body(3), Qt::Key_Left); // moving is not typing
    type(body(3), QStringLiteral("xy"));
    QCOMPARE(body(3)->toPlainText(), QStringLiteral("y"));
    QCOMPARE(body(1)->toPlainText(), QString());

    // A refused line break clears it too.
    press(body(2), Qt::Key_Ampersand, Qt::ShiftModifier, QString());
    QTest::keyClick(body(4), Qt::Key_Return);
    type(body(4), QStringLiteral("k"));
    QCOMPARE(block->bodies().at(3), QStringLiteral("k"));

    // A character refused because the body is full still clears it.
    body(2)->setPlainText(QString(160, QLatin1Char('a')));
    body(2)->moveCursor(QTextCursor::End);
    press(body(1), Qt::Key_Equal, Qt::ShiftModifier, QString());
    type(body(2), QStringLiteral("b"));
    type(body(1), QStringLiteral("c"));
    QCOMPARE(body(1)->toPlainText(), QStringLiteral("c"));
}

void tst_composerBlock::onlyShiftAloneOnTheMainKeyboardVetoes()
{
    // Ctrl or Alt with Shift, and the keypad plus, leave no veto behind.
    press(body(1), Qt::Key_Plus, Qt::ShiftModifier | Qt::ControlModifier, QString());
    type(body(1), QStringLiteral("a"));
    press(body(1), Qt::Key_Plus, Qt::ShiftModifier | Qt::AltModifier, QString());
    type(body(1), QStringLiteral("b"));
    press(body(1), Qt::Key_Plus, Qt::ShiftModifier | Qt::KeypadModifier, QStringLiteral("+"));
    type(body(1), QStringLiteral("c"));
    press(body(1), Qt::Key_Plus, Qt::KeypadModifier, QStringLiteral("+"));
    QCOMPARE(body(1)->toPlainText(), QStringLiteral("ab+c+"));

    // Each composer has its own veto.
    ComposerBlock other;
    press(body(1), Qt::Key_Equal, Qt::ShiftModifier, QString());
    type(other.body(1), QStringLiteral("o"));
    QCOMPARE(other.body(1)->toPlainText(), QStringLiteral("o"));
    type(body(1), QStringLiteral("d"));
    QCOMPARE(body(1)->toPlainText(), QStringLiteral("ab+c+"));
}

void tst_composerBlock::pastedPlusAndAmpersandStay()
{
    paste(body(2), QStringLiteral("Tom & Jerry + friends"));
    QCOMPARE(body(2)->toPlainText(), QStringLiteral("Tom & Jerry + friends"));

    // A paste is not typing: a pending veto still waits for a typed character.
    press(body(2), Qt::Key_Equal, Qt::ShiftModifier, QString());
    paste(body(2), QStringLiteral(" & co"));
    type(body(2), QStringLiteral("!?"));
    QCOMPARE(body(2)->toPlainText(), QStringLiteral("Tom & Jerry + friends & co?"));
}

void tst_composerBlock::partsLabelFollowsTheText()
{
    QCOMPARE(parts(1), QStringLiteral("0 SMS"));
    type(body(1), QStringLiteral("Hello"));
    QCOMPARE(parts(1), QStringLiteral("1 SMS"));
    press(body(1), Qt::Key(0x0416), Qt::NoModifier, QString(QChar(0x0436)));
    QCOMPARE(parts(1), QStringLiteral("1 SMS \u00B7 Unicode"));
    body(1)->setPlainText(QString(80, QLatin1Char('[')));
    QCOMPARE(parts(1), QStringLiteral("1 SMS"));
    body(1)->setPlainText(QString(81, QLatin1Char('[')));
    QCOMPARE(parts(1), QStringLiteral("2 SMS"));
    // Blanks at the ends are not sent, so they do not count.
    body(1)->setPlainText(QStringLiteral("   "));
    QCOMPARE(parts(1), QStringLiteral("0 SMS"));
    QCOMPARE(parts(2), QStringLiteral("0 SMS"));
}

QTEST_MAIN(tst_composerBlock)
#include "tst_composerBlock.moc"
