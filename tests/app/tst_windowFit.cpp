#include "EveryWindow.h"
#include "GuiTestSupport.h"

#include "contacts/frmListClients.h"
#include "ui/WindowPlacement.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// The visible labels, buttons and boxes that are given less room than their
// text needs: "To" shown as "Tc".
QStringList clipped(const QWidget *window)
{
    QStringList found;
    for (const QWidget *widget : window->findChildren<QWidget *>()) {
        // The edit inside a spin or combo box is the box's to size.
        if (!widget->isVisibleTo(window) || widget->width() == 0 || qobject_cast<QAbstractSpinBox *>(widget->parent())
            || qobject_cast<QComboBox *>(widget->parent()))
            continue;
        QSize needed;
        if (const auto *label = qobject_cast<const QLabel *>(widget)) {
            if (label->wordWrap() || label->text().isEmpty() || label->pixmap().isNull() == false)
                continue;
            needed = label->minimumSizeHint();
        } else if (qobject_cast<const QAbstractButton *>(widget) || qobject_cast<const QComboBox *>(widget)
                   || qobject_cast<const QLineEdit *>(widget)) {
            needed = widget->minimumSizeHint();
        } else {
            continue;
        }
        if (widget->width() < needed.width() || widget->height() < needed.height())
            found << u"%1 (%2x%3, needs %4x%5)"_s.arg(widget->objectName())
                         .arg(widget->width())
                         .arg(widget->height())
                         .arg(needed.width())
                         .arg(needed.height());
    }
    return found;
}

} // namespace

class tst_windowFit : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { WindowPlacement::install(); }
    void init() { home = std::make_unique<TestHome>(); }
    void cleanup()
    {
        QApplication::setPalette(QPalette());
        home.reset();
    }

    void aWindowLargerThanTheScreenIsMadeToFit_data()
    {
        QTest::addColumn<QRect>("window");
        QTest::addColumn<QRect>("fitted");
        const QRect screen(0, 0, 960, 540);
        QTest::newRow("fits already") << QRect(10, 10, 400, 300) << QRect(10, 10, 400, 300);
        QTest::newRow("too large") << QRect(0, 0, 2080, 1400) << QRect(0, 0, 960, 540);
        QTest::newRow("off to the right") << QRect(800, 400, 400, 300) << QRect(560, 240, 400, 300);
        QTest::newRow("above and left") << QRect(-50, -20, 400, 300) << QRect(0, 0, 400, 300);
    }

    void aWindowLargerThanTheScreenIsMadeToFit()
    {
        QFETCH(QRect, window);
        QFETCH(QRect, fitted);
        QCOMPARE(WindowPlacement::fitted(window, QRect(0, 0, 960, 540)), fitted);
    }

    void everyWindowFitsTheScreenUnclippedInLightAndDark_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<bool>("dark");
        const QList<ProgramWindow> windows = everyWindow();
        for (int i = 0; i < windows.size(); ++i) {
            QTest::addRow("%s, light", windows[i].name) << i << false;
            QTest::addRow("%s, dark", windows[i].name) << i << true;
        }
    }

    void everyWindowFitsTheScreenUnclippedInLightAndDark()
    {
        QFETCH(int, index);
        QFETCH(bool, dark);
        QApplication::setPalette(dark ? darkPalette() : QPalette());
        ScriptedMessageBoxes boxes;
        const std::unique_ptr<QWidget> window(everyWindow().at(index).make());
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        // Inside the screen: the two together take no more room than the screen alone.
        const QRect screen = window->screen()->availableGeometry();
        QCOMPARE(screen.united(window->frameGeometry()), screen);
        const QStringList cut = clipped(window.get());
        QVERIFY2(cut.isEmpty(), qPrintable(window->objectName() + u": "_s + cut.join(u", "_s)));
        saveScreenshot(
            window.get(),
            u"%1-%2-%3x"_s.arg(window->objectName(), dark ? u"dark"_s : u"light"_s).arg(window->devicePixelRatio()));
    }

    // Closed where the operator left it, a window opens there again.
    void aWindowOpensWhereItWasLeft()
    {
        QRect left;
        {
            frmListClients list;
            list.show();
            QVERIFY(QTest::qWaitForWindowExposed(&list));
            list.setGeometry(QRect(list.geometry().topLeft() + QPoint(37, 21), list.minimumSizeHint()));
            left = list.geometry();
            list.close();
        }
        frmListClients again;
        again.show();
        QVERIFY(QTest::qWaitForWindowExposed(&again));
        QCOMPARE(again.geometry(), left);
    }

private:
    std::unique_ptr<TestHome> home;
};

QTEST_MAIN(tst_windowFit)
#include "tst_windowFit.moc"
