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
        block->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(block.get()));
    }
    void cleanup() { block.reset(); }

    // A body holds 160 characters as stored, a line break counting two, typed or set by the program. (Typing on past a
    // full body and pasting: textBeyondAFullBodyGoesOnInTheNext.)
    void bodyHolds160StoredCharacters()
    {
        QTest::keyClicks(body(1), u"Hi"_s);
        QTest::keyClick(body(1), Qt::Key_Return);
        QTest::keyClicks(body(1), u"there"_s);
        QCOMPARE(left(1), u"151"_s);
        QCOMPARE(block->bodies().at(0), u"Hi\r\nthere"_s);

        fill(2, 159);
        QTest::keyClick(body(2), Qt::Key_Return); // one character of room is not enough for a line break
        QCOMPARE(block->bodies().mid(1, 2), (QStringList{QString(159, u'a'), QString()}));
        fill(3, 158);
        QTest::keyClick(body(3), Qt::Key_Return);
        QCOMPARE(block->bodies().at(2), QString(158, u'a') + u"\r\n"_s);
        QCOMPARE(left(3), u"0"_s);

        block->setBody(1, QString(200, u'z'));
        QCOMPARE(body(1)->storedLength(), 160);
    }

    // One key into a fresh composer, then "ab" typed: a refused key eats only itself, a dead key the next character.
    void veto_data()
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
        QTest::newRow("Ctrl+Shift+= leaves no veto")
            << int(Qt::Key_Plus) << (shift | Qt::ControlModifier) << QString() << u"ab"_s;
    }

    void veto()
    {
        QFETCH(int, key);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        QFETCH(QString, text);
        QFETCH(QString, result);
        press(body(1), key, modifiers, text);
        QTest::keyClicks(body(1), u"ab"_s);
        QCOMPARE(body(1)->toPlainText(), result);
    }

    void vetoWaitsAcrossBodiesForATypedCharacter()
    {
        press(body(1), Qt::Key_Plus, Qt::ShiftModifier, QString());
        QTest::keyClick(body(3), Qt::Key_Left); // moving is not typing
        paste(body(3), u"Tom & Jerry + "_s);    // nor is pasting, and a pasted + and & stay
        QTest::keyClicks(body(3), u"xy"_s);
        QCOMPARE(body(3)->toPlainText(), u"Tom & Jerry + y"_s);
        QVERIFY(body(1)->toPlainText().isEmpty());
    }

    void partsLabelFollowsTheTrimmedText()
    {
        auto parts = [this] { return block->findChild<QLabel *>(u"lblParts1"_s)->text(); };
        QTest::keyClicks(body(1), u"Hello"_s);
        QCOMPARE(parts(), u"1 SMS"_s);
        press(body(1), 0x0416, Qt::NoModifier, QString(QChar(0x0436)));
        QCOMPARE(parts(), u"1 SMS \u00B7 Unicode"_s);
        body(1)->setPlainText(u"   "_s); // blanks at the ends are not sent
        QCOMPARE(parts(), u"0 SMS"_s);
    }

    // Typed at the end of a full body, or pasted beyond its room, text goes on at the start of the next body with room,
    // which takes the focus; each body stays a message of at most 160. Typed inside a full body, or with no room after
    // it, it stops. The note under the bodies says which, until the full body has room again; a paste says what it
    // left.
    void textBeyondAFullBodyGoesOnInTheNext_data()
    {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<int>("into");      // the body, the cursor at its end
        QTest::addColumn<int>("at");        // or here
        QTest::addColumn<QString>("input"); // typed key by key ("\n": Enter), or "paste:" and a text
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<int>("focus");
        QTest::addColumn<QString>("said");
        QTest::addColumn<QString>("leftOut");
        QString text; // every character tells its place
        for (int i = 0; i < 700; ++i)
            text += QChar(u'0' + i % 10);
        const QString full = text.left(160), on = u" full \u2014 continuing in Body "_s;
        QTest::newRow("typed on") << QStringList{full, u""_s, u""_s, u""_s} << 1 << -1 << u"xy"_s
                                  << QStringList{full, u"xy"_s, u""_s, u""_s} << 2 << u"Body 1"_s + on + u'2' << u""_s;
        QTest::newRow("past a full body, before text")
            << QStringList{full, full, u"abc"_s, u""_s} << 1 << -1 << u"xy"_s
            << QStringList{full, full, u"xyabc"_s, u""_s} << 3 << u"Body 1"_s + on + u'3' << u""_s;
        QTest::newRow("Enter only moves on")
            << QStringList{full, u""_s, u""_s, u""_s} << 1 << -1 << u"\nx"_s << QStringList{full, u"x"_s, u""_s, u""_s}
            << 2 << u"Body 1"_s + on + u'2' << u""_s;
        QTest::newRow("Body 4 full") << QStringList{u""_s, u""_s, u""_s, full} << 4 << -1 << u"xy"_s
                                     << QStringList{u""_s, u""_s, u""_s, full} << 4
                                     << u"Body 4 full \u2014 no room left"_s << u""_s;
        QTest::newRow("inside a full body") << QStringList{full, u""_s, u""_s, u""_s} << 1 << 10 << u"xy"_s
                                            << QStringList{full, u""_s, u""_s, u""_s} << 1 << u"Body 1 full"_s << u""_s;
        QTest::newRow("paste over three bodies")
            << QStringList{u"Dear all, "_s, u"end"_s, u""_s, u""_s} << 1 << -1 << u"paste:"_s + text.left(400)
            << QStringList{u"Dear all, "_s + text.left(150), text.mid(150, 157) + u"end"_s, text.mid(307, 93), u""_s}
            << 3 << u"Body 1"_s + on + u'3' << u""_s;
        QTest::newRow("paste beyond the four")
            << QStringList{u""_s, u""_s, u""_s, u""_s} << 1 << -1 << u"paste:"_s + text
            << QStringList{full, text.mid(160, 160), text.mid(320, 160), text.mid(480, 160)} << 4
            << u"Body 1"_s + on + u'4' << text.mid(640);
    }

    void textBeyondAFullBodyGoesOnInTheNext()
    {
        QFETCH(QStringList, before);
        QFETCH(int, into);
        QFETCH(int, at);
        QFETCH(QString, input);
        QFETCH(QStringList, after);
        QFETCH(int, focus);
        QFETCH(QString, said);
        QFETCH(QString, leftOut);
        ScriptedMessageBoxes boxes;
        for (int n = 1; n <= ComposerBlock::BodyCount; ++n)
            body(n)->setPlainText(before.at(n - 1));
        body(into)->setFocus();
        body(into)->moveCursor(QTextCursor::End);
        if (at >= 0) {
            QTextCursor cursor = body(into)->textCursor();
            cursor.setPosition(at);
            body(into)->setTextCursor(cursor);
        }
        if (input.startsWith(u"paste:"_s))
            paste(body(into), input.mid(6));
        else
            for (const QChar key : input)
                press(QApplication::focusWidget(), key == u'\n' ? Qt::Key_Return : Qt::Key_X, {}, key);
        QCOMPARE(block->bodies(), after);
        QCOMPARE(QApplication::focusWidget(), body(focus));
        QCOMPARE(block->findChild<QLabel *>(u"lblBodyNote"_s)->text(), said);
        QCOMPARE(boxes.titles(), leftOut.isEmpty() ? QStringList() : QStringList{u"PASTE"_s});
        if (!leftOut.isEmpty())
            QVERIFY2(boxes.last().text.endsWith(u"\n\n"_s + leftOut), qPrintable(boxes.last().text));
        if (QTest::currentDataTag() == "typed on"_L1)
            saveScreenshot(block.get(), u"ComposerBlock-continuing"_s);
        body(into)->moveCursor(QTextCursor::End);
        QTest::keyClick(body(into), Qt::Key_Backspace);
        QCOMPARE(block->findChild<QLabel *>(u"lblBodyNote"_s)->text(), QString());
    }

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

QTEST_MAIN(tst_composerBlock)
#include "tst_composerBlock.moc"
