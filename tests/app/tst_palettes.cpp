#include "GuiTestSupport.h"
#include "OutboxRows.h"

#include "app/frmMain.h"
#include "campaigns/MessagePreview.h"
#include "campaigns/frmPreview.h"
#include "outbox/OptOutList.h"
#include "ui/QueryListModel.h"
#include "ui/Shades.h"

#include <QApplication>
#include <QPalette>
#include <QTableWidget>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

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

class tst_palettes : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { home = std::make_unique<TestHome>(); }
    void cleanup()
    {
        QApplication::setPalette(QPalette());
        home.reset();
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

QTEST_MAIN(tst_palettes)
#include "tst_palettes.moc"
