#include "campaigns/frmPreview.h"
#include "ui_frmPreview.h"

#include "campaigns/MessagePreview.h"
#include "ui/Shades.h"

#include <QHeaderView>

namespace {

void paint(QTableWidgetItem *item, const QColor &lightTint)
{
    const QColor background = Shades::forPalette(lightTint);
    item->setBackground(background);
    item->setForeground(Shades::textOn(background));
}

} // namespace

frmPreview::frmPreview(const MessagePreview::Preview &preview, QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::frmPreview>())
{
    ui->setupUi(this);
    connect(ui->cmdClose, &QPushButton::clicked, this, &QDialog::close);
    QTableWidget *grid = ui->grdPreview;
    grid->setColumnCount(6);
    grid->setHorizontalHeaderLabels({QStringLiteral("To"), QStringLiteral("Number"), QStringLiteral("Message"),
                                     QStringLiteral("Encoding"), QStringLiteral("Parts"), QStringLiteral("Note")});
    grid->setRowCount(int(preview.rows.size()));
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->verticalHeader()->hide();
    grid->setWordWrap(false);
    for (int row = 0; row < preview.rows.size(); ++row) {
        const MessagePreview::Row &r = preview.rows.at(row);
        QString text = r.text;
        text.replace(QStringLiteral("\r\n"), QStringLiteral(" / ")).replace(QLatin1Char('\n'), QStringLiteral(" / "));
        const QStringList cells = {r.name,
                                   r.number,
                                   text,
                                   r.parts.unicode ? QStringLiteral("Unicode") : QStringLiteral("GSM 7-bit"),
                                   QString::number(r.parts.parts),
                                   r.note};
        for (int column = 0; column < cells.size(); ++column) {
            auto *item = new QTableWidgetItem(cells.at(column));
            if (!r.note.isEmpty())
                paint(item, r.note.startsWith(QStringLiteral("opted out"))        ? QColor(215, 215, 215)
                            : r.pushed && r.note.contains(QStringLiteral("data")) ? QColor(255, 236, 179)
                                                                                  : QColor(255, 205, 205));
            grid->setItem(row, column, item);
        }
        if (!r.numberNote.isEmpty()) {
            QTableWidgetItem *number = grid->item(row, 1);
            paint(number, QColor(255, 128, 128));
            number->setToolTip(r.numberNote);
            QTableWidgetItem *note = grid->item(row, 5);
            note->setText(r.note.isEmpty() ? r.numberNote : r.note + QStringLiteral("; ") + r.numberNote);
        }
    }
    grid->resizeColumnsToContents();
    grid->setColumnWidth(2, std::min(grid->columnWidth(2), 420));
    grid->horizontalHeader()->setStretchLastSection(true);
    QString total = QStringLiteral("%1 messages, %2 credits (SMS parts) in all. %3 pushed into Unicode or an extra "
                                   "part by their data; %4 recipients opted out and left out; %5 messages "
                                   "with a field that has no value (nothing is queued until they are resolved).")
                        .arg(preview.messages)
                        .arg(preview.totalParts)
                        .arg(preview.pushed)
                        .arg(preview.leftOut)
                        .arg(preview.unresolved);
    if (preview.badNumbers > 0)
        total += QStringLiteral(" %1 recipients have a number no message goes to: invalid, not a cellphone's or "
                                "another country's (marked).")
                     .arg(preview.badNumbers);
    ui->lblTotal->setText(total);
}

frmPreview::~frmPreview() = default;
