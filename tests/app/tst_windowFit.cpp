#include "EveryWindow.h"
#include "GuiTestSupport.h"
#include "OutboxRows.h"

#include "app/frmMain.h"
#include "campaigns/MessagePreview.h"
#include "campaigns/frmPreview.h"
#include "contacts/frmListClients.h"
#include "outbox/OptOutList.h"
#include "ui/QueryListModel.h"
#include "ui/Shades.h"
#include "ui/WindowPlacement.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QTableWidget>
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
        const auto *label = qobject_cast<const QLabel *>(widget);
        if (label ? label->wordWrap() || label->text().isEmpty() || !label->pixmap().isNull()
                  : !qobject_cast<const QAbstractButton *>(widget) && !qobject_cast<const QComboBox *>(widget)
                        && !qobject_cast<const QLineEdit *>(widget))
            continue;
        const QSize needed = widget->minimumSizeHint();
        if (widget->width() < needed.width() || widget->height() < needed.height())
            found << QString::asprintf("%s (%dx%d, needs %dx%d)", qPrintable(widget->objectName()), widget->width(),
                                       widget->height(), needed.width(), needed.height());
    }
    return found;
}

// The colour a cell is painted in: its own, else the palette's.
QColor shown(const QVariant &own, const QColor &fallback)
{
    if (own.canConvert<QBrush>() && own.value<QBrush>().style() != Qt::NoBrush)
        return own.value<QBrush>().color();
    return own.canConvert<QColor>() && own.value<QColor>().isValid() ? own.value<QColor>() : fallback;
}

// Text on a cell reads at WCAG AA (4.5:1), and a shaded cell is as light or
// as dark as the palette, so the check boxes and marks the style draws for
// the palette show on it.
void checkReadable(const QModelIndex &cell, const QPalette &palette, const QString &what)
{
    const QColor background = shown(cell.data(Qt::BackgroundRole), palette.color(QPalette::Base));
    const QColor text = shown(cell.data(Qt::ForegroundRole), palette.color(QPalette::Text));
    QVERIFY2(Shades::contrast(text, background) >= 4.5,
             qPrintable(u"%1: %2 on %3"_s.arg(what, text.name(), background.name())));
    QVERIFY2(Shades::isDark(palette) == (background.lightnessF() < 0.5),
             qPrintable(u"%1: %2 in a %3 palette"_s.arg(what, background.name(),
                                                        Shades::isDark(palette) ? u"dark"_s : u"light"_s)));
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

    void everyRowReadsInLightAndDark_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::newRow("light") << false;
        QTest::newRow("dark") << true;
    }

    void everyRowReadsInLightAndDark()
    {
        QFETCH(bool, dark);
        const QPalette palette = dark ? darkPalette() : QPalette();
        QApplication::setPalette(palette);
        OutboxRows::queue(u"0821111111"_s);
        OutboxRows::add({.number = u"0822222222"_s, .send = true, .eventId = u"1001"_s});
        OutboxRows::add({.number = u"0823333333"_s, .send = true, .eventId = u"1002"_s, .delivered = true});
        OutboxRows::add({.number = u"0824444444"_s, .send = true, .eventId = u"0"_s});
        OutboxRows::add({.number = u"0825555555"_s, .send = true, .eventId = OptOutList::OptedOutEventId});

        frmMain window;
        window.show();
        const QueryListModel *outbox = window.outboxList();
        QCOMPARE(outbox->rowCount(), 5);
        for (int row = 0; row < outbox->rowCount(); ++row)
            for (const QString &field : {u"Number"_s, u"Send"_s, u"Delivered"_s})
                checkReadable(outbox->index(row, outbox->columnOf(field)), palette,
                              u"outbox row %1, %2"_s.arg(row).arg(field));

        MessagePreview::Preview preview;
        preview.rows = {
            {.name = u"Ann"_s, .number = u"0821111111"_s, .text = u"Hi"_s},
            {.name = u"Ben"_s, .number = u"0822222222"_s, .text = u"Hi"_s, .note = u"opted out: left out"_s},
            {.name = u"Cas"_s, .number = u"123"_s, .text = u"Hi"_s, .numberNote = u"invalid number"_s}};
        frmPreview shownPreview(preview);
        const QTableWidget *grid = shownPreview.findChild<QTableWidget *>(u"grdPreview"_s);
        QVERIFY(grid);
        for (int row = 0; row < grid->rowCount(); ++row)
            for (int column = 0; column < grid->columnCount(); ++column)
                checkReadable(grid->model()->index(row, column), palette,
                              u"preview row %1, column %2"_s.arg(row).arg(column));
    }

private:
    std::unique_ptr<TestHome> home;
};

QTEST_MAIN(tst_windowFit)
#include "tst_windowFit.moc"
