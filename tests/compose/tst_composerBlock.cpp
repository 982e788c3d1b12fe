#include "GuiTestSupport.h"

#include "compose/BodyEdit.h"
#include "compose/ComposerBlock.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

class tst_composerBlock : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        block = std::make_unique<ComposerBlock>();
        block->show();
        QVERIFY(QTest::qWaitForWindowExposed(block.get()));
    }
    void cleanup() { block.reset(); }

    void bodyHolds160StoredCharacters();
    void veto_data();
    void veto();
    void vetoWaitsAcrossBodiesForATypedCharacter();
    void partsLabelFollowsTheTrimmedText();

private:
    BodyEdit *body(int n) const { return block->body(n); }
    QString left(int n) const { return block->findChild<QLineEdit *>(u"txtSMSLeft%1"_s.arg(n))->text(); }
    void fill(int n, int count)
    {
        body(n)->setPlainText(QString(count, u'a'));
        body(n)->moveCursor(QTextCursor::End);
    }
    // A key as the keyboard sends it: key code, modifiers and the text it gives (none for a dead key).
    static void press(QWidget *to, int key, Qt::KeyboardModifiers modifiers, const QString &text)
    {
        QKeyEvent down(QEvent::KeyPress, key, modifiers, text);
        QApplication::sendEvent(to, &down);
        QKeyEvent up(QEvent::KeyRelease, key, modifiers, text);
        QApplication::sendEvent(to, &up);
    }
    static void paste(BodyEdit *into, const QString &text)
    {
        QApplication::clipboard()->setText(text);
        into->paste();
    }

    std::unique_ptr<ComposerBlock> block;
};

// A body holds 160 characters as stored, a line break counting two, however the text arrives: typed, pasted (cut
// to fit; where a cut may fall is tst_composeRules' part) or set by the program.
void tst_composerBlock::bodyHolds160StoredCharacters()
{
    QTest::keyClicks(body(1), u"Hi"_s);
    QTest::keyClick(body(1), Qt::Key_Return);
    QTest::keyClicks(body(1), u"there"_s);
    QCOMPARE(left(1), u"151"_s);
    QCOMPARE(block->bodies().at(0), u"Hi\r\nthere"_s);

    fill(2, 159);
    QCOMPARE(left(2), u"1"_s);
    QTest::keyClick(body(2), Qt::Key_Return); // one character of room is not enough for a line break
    QTest::keyClicks(body(2), u"bc"_s);
    QCOMPARE(block->bodies().at(1), QString(159, u'a') + u'b');
    QCOMPARE(left(2), u"0"_s);
    fill(3, 158);
    QTest::keyClick(body(3), Qt::Key_Return);
    QCOMPARE(block->bodies().at(2), QString(158, u'a') + u"\r\n"_s);

    fill(4, 140);
    paste(body(4), u"0123456789ABCDEFGHIJKLMNOP"_s);
    QCOMPARE(block->bodies().at(3), QString(140, u'a') + u"0123456789ABCDEFGHIJ"_s);

    block->setBody(1, QString(200, u'z'));
    QCOMPARE(body(1)->storedLength(), 160);
}

// One key into a fresh composer, then "ab" typed: a refused key eats only itself, a dead key the next character.
void tst_composerBlock::veto_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("result");
    const Qt::KeyboardModifiers shift = Qt::ShiftModifier, none = Qt::NoModifier;
    QTest::newRow("Shift+= gives nothing") << int(Qt::Key_Equal) << shift << u"+"_s << u"ab"_s;
    QTest::newRow("= gives =, the first character") << int(Qt::Key_Equal) << none << u"="_s << u"=ab"_s;
    QTest::newRow("Shift+7 gives nothing") << int(Qt::Key_7) << shift << u"&"_s << u"ab"_s;
    QTest::newRow("7 gives 7") << int(Qt::Key_7) << none << u"7"_s << u"7ab"_s;
    QTest::newRow("Shift+= reported as plus") << int(Qt::Key_Plus) << shift << u"+"_s << u"ab"_s;
    QTest::newRow("Shift+7 reported as ampersand") << int(Qt::Key_Ampersand) << shift << u"&"_s << u"ab"_s;
    QTest::newRow("dead Shift+= waits") << int(Qt::Key_Plus) << shift << QString() << u"b"_s;
    QTest::newRow("other shifted key") << int(Qt::Key_Asterisk) << shift << u"*"_s << u"*ab"_s;
    QTest::newRow("keypad plus") << int(Qt::Key_Plus) << (shift | Qt::KeypadModifier) << u"+"_s << u"+ab"_s;
    QTest::newRow("Ctrl+Shift+= leaves no veto") << int(Qt::Key_Plus) << (shift | Qt::ControlModifier) << QString()
                                                 << u"ab"_s;
}

void tst_composerBlock::veto()
{
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(QString, text);
    QFETCH(QString, result);
    press(body(1), key, modifiers, text);
    QTest::keyClicks(body(1), u"ab"_s);
    QCOMPARE(body(1)->toPlainText(), result);
}

void tst_composerBlock::vetoWaitsAcrossBodiesForATypedCharacter()
{
    press(body(1), Qt::Key_Plus, Qt::ShiftModifier, QString());
    QTest::keyClick(body(3), Qt::Key_Left); // moving is not typing
    paste(body(3), u"Tom & Jerry + "_s);    // nor is pasting, and a pasted + and & stay
    QTest::keyClicks(body(3), u"xy"_s);
    QCOMPARE(body(3)->toPlainText(), u"Tom & Jerry + y"_s);
    QVERIFY(body(1)->toPlainText().isEmpty());
}

void tst_composerBlock::partsLabelFollowsTheTrimmedText()
{
    auto parts = [this] { return block->findChild<QLabel *>(u"lblParts1"_s)->text(); };
    QTest::keyClicks(body(1), u"Hello"_s);
    QCOMPARE(parts(), u"1 SMS"_s);
    press(body(1), 0x0416, Qt::NoModifier, QString(QChar(0x0436)));
    QCOMPARE(parts(), u"1 SMS \u00B7 Unicode"_s);
    body(1)->setPlainText(u"   "_s); // blanks at the ends are not sent
    QCOMPARE(parts(), u"0 SMS"_s);
}

QTEST_MAIN(tst_composerBlock)
#include "tst_composerBlock.moc"
