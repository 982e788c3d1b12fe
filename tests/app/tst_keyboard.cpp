#include "EveryWindow.h"
#include "GroupRows.h"
#include "OutboxRows.h"
#include "WindowFixture.h"

#include "ui/HelpWindow.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPointer>
#include <QRadioButton>
#include <QSet>
#include <QTextEdit>

using namespace Qt::StringLiterals;

namespace {

bool isInputControl(const QWidget *widget)
{
    return qobject_cast<const QAbstractButton *>(widget) || qobject_cast<const QLineEdit *>(widget)
           || qobject_cast<const QComboBox *>(widget) || qobject_cast<const QAbstractItemView *>(widget)
           || qobject_cast<const QPlainTextEdit *>(widget) || qobject_cast<const QTextEdit *>(widget)
           || qobject_cast<const QAbstractSpinBox *>(widget);
}

// Tab enters a set of option buttons at the chosen one; the arrow keys move
// between them.
bool isUncheckedRadio(const QWidget *widget)
{
    const auto *option = qobject_cast<const QRadioButton *>(widget);
    return option && option->autoExclusive() && !option->isChecked();
}

// The controls the operator can work: shown, enabled, and meant to take the
// focus from the keyboard.
QList<QWidget *> inputControls(QWidget *window)
{
    QList<QWidget *> controls;
    for (QWidget *widget : window->findChildren<QWidget *>()) {
        if (widget->window() == window && isInputControl(widget) && widget->isVisibleTo(window) && widget->isEnabled()
            && (widget->focusPolicy() & Qt::TabFocus) && !widget->focusProxy() && !isUncheckedRadio(widget))
            controls << widget;
    }
    return controls;
}

QString describe(const QWidget *widget)
{
    return widget ? QString::fromLatin1(widget->metaObject()->className()) + u' ' + widget->objectName() : u"nothing"_s;
}

// The control among `controls` that holds the focus, itself or through a
// part of it (the editor of an editable combo box, a cell editor).
QWidget *owner(QWidget *focus, const QList<QWidget *> &controls)
{
    for (QWidget *widget = focus; widget; widget = widget->parentWidget())
        if (controls.contains(widget))
            return widget;
    return nullptr;
}

} // namespace

class tst_keyboard : public QObject, public WindowFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { HelpWindow::installF1(*qApp); }
    void cleanup() { finish(); }

    void init()
    {
        start();
        m_groupId = qint32(GroupRows::addGroup(u"Team"_s));
        m_clientId = qint32(GroupRows::addClient(u"Botha"_s, u"0821234567"_s, u"Ann"_s));
        GroupRows::link(m_groupId, m_clientId);
        GroupRows::addClient(u"Cele"_s, u"0831234567"_s, u"Ben"_s);
        // Rows in every list, so that a list that kept the Tab key to itself would hold the focus.
        const qint64 sent = OutboxRows::add({.number = u"0821234567"_s, .send = true, .eventId = u"7"_s});
        OutboxRows::queue(u"0831234567"_s);
        Database::run(u"INSERT INTO SMSReplies (IncomingID, PhoneNumber, ReceivedDateTime, Message, SMSSendID) "
                      "VALUES ('r1', '0821234567', '2026-12-01 10:00:00', 'Yes', ?)"_s,
                      {sent});
        // The help page the program ships, which F1 opens.
        HelpWindow::useHelpFile(QStringLiteral(TELLWAVE_HELP_PAGE));
    }

    void tabReachesEveryControlAndEscapeCloses_data()
    {
        QTest::addColumn<int>("index");
        const QList<ProgramWindow> windows = everyWindow();
        for (int i = 0; i < windows.size(); ++i)
            QTest::newRow(windows.at(i).name) << i;
    }

    void tabReachesEveryControlAndEscapeCloses()
    {
        QFETCH(int, index);
        std::unique_ptr<QWidget> window(everyWindow(m_groupId, m_clientId).at(index).make());
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));

        // A full cycle of Tab from where the window puts the focus first, and
        // one of Shift+Tab, each reaches every control and comes back round.
        const QList<QWidget *> controls = inputControls(window.get());
        QVERIFY(!controls.isEmpty());
        for (const Qt::KeyboardModifiers direction :
             {Qt::KeyboardModifiers(), Qt::KeyboardModifiers(Qt::ShiftModifier)}) {
            if (!window->focusWidget())
                QTest::keyClick(window.get(), Qt::Key_Tab);
            QSet<QWidget *> reached;
            for (int press = 0; press < 2 * controls.size() + 2; ++press) {
                QWidget *focus = QApplication::focusWidget();
                QVERIFY2(focus && focus->window() == window.get(),
                         qPrintable(u"the focus left the window at "_s + describe(focus)));
                if (QWidget *control = owner(focus, controls))
                    reached.insert(control);
                QTest::keyClick(focus, Qt::Key_Tab, direction);
            }
            for (QWidget *control : controls)
                if (control->isEnabled()) // the editor's Save waits for a cell number no one has
                    QVERIFY2(reached.contains(control), qPrintable(u"Tab never reaches "_s + describe(control)));
        }

        // No two controls of the window answer the same Alt key.
        QMap<QChar, QSet<QString>> answering;
        const auto take = [&answering](const QString &text, const QString &who) {
            if (const qsizetype at = text.indexOf(u'&'); at >= 0 && at + 1 < text.size())
                answering[text.at(at + 1).toLower()].insert(who);
        };
        for (QWidget *widget : window->findChildren<QWidget *>()) {
            if (!widget->isVisibleTo(window.get()) || widget->window() != window.get())
                continue;
            if (auto *button = qobject_cast<QAbstractButton *>(widget))
                take(button->text(), describe(button));
            if (auto *label = qobject_cast<QLabel *>(widget); label && label->buddy())
                take(label->text(), describe(label));
            if (auto *bar = qobject_cast<QMenuBar *>(widget))
                for (QAction *menu : bar->actions())
                    take(menu->text(), menu->text());
        }
        for (auto key = answering.cbegin(); key != answering.cend(); ++key)
            QVERIFY2(key->size() == 1, qPrintable(u"Alt+"_s + key.key() + u": "_s + key->values().join(u", "_s)));

        // F1 opens the help page beside the window, wherever the focus is, at the section about the window.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F1);
        QPointer<HelpWindow> help = window->findChild<HelpWindow *>();
        QVERIFY2(help && help->isVisible(), "F1 opens no help");
        QVERIFY(QTest::qWaitForWindowActive(help));
        QVERIFY2(help->hasAnchor(window->objectName()),
                 qPrintable(u"the help page has no section about "_s + window->objectName()));
        QTRY_VERIFY2(helpShows(help, window->objectName()),
                     qPrintable(u"F1 does not open the help at "_s + window->objectName()));
        QTest::keyClick(help, Qt::Key_Escape);
        QTRY_VERIFY(!help || !help->isVisible());

        // Escape closes a modal window the way its Close or Cancel button does.
        auto *dialog = qobject_cast<QDialog *>(window.get());
        if (!dialog)
            return; // the main window lives as long as the program
        dialog->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(dialog));
        dialog->setResult(-1);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QVERIFY2(!dialog->isVisible(), "Escape leaves the window open");
        QCOMPARE(dialog->result(), int(QDialog::Rejected));
    }

private:
    qint32 m_groupId = 0;
    qint32 m_clientId = 0;
};

QTEST_MAIN(tst_keyboard)
#include "tst_keyboard.moc"
