#include "compose/NumberGrid.h"

#include <QHeaderView>
#include <QKeyEvent>

NumberGrid::NumberGrid(QWidget *parent) : QTableWidget(parent)
{
    setColumnCount(1);
    setHorizontalHeaderLabels({QStringLiteral("Number")});
    horizontalHeader()->setStretchLastSection(true);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setTabKeyNavigation(false);
    setRowCount(1);
    setCurrentCell(0, 0);
    connect(this, &QTableWidget::cellChanged, this, &NumberGrid::keepEntryRow);
}

QString NumberGrid::cellText(int row) const
{
    const QTableWidgetItem *cell = item(row, 0);
    return cell ? cell->text() : QString();
}

QStringList NumberGrid::numbers() const
{
    int rows = rowCount();
    if (rows > 0 && cellText(rows - 1).isEmpty())
        --rows;
    QStringList result;
    result.reserve(rows);
    for (int row = 0; row < rows; ++row)
        result << cellText(row);
    return result;
}

void NumberGrid::keepEntryRow()
{
    if (rowCount() == 0 || !cellText(rowCount() - 1).isEmpty())
        insertRow(rowCount());
}

void NumberGrid::moveToNextRow()
{
    keepEntryRow();
    const int next = std::min(currentRow() + 1, rowCount() - 1);
    setCurrentCell(std::max(next, 0), 0);
}

void NumberGrid::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        // While a cell is edited the editor's Enter ends the edit and
        // closeEditor() moves on; either way the key stops here.
        if (state() != QAbstractItemView::EditingState)
            moveToNextRow();
        event->accept();
        return;
    }
    QTableWidget::keyPressEvent(event);
}

void NumberGrid::closeEditor(QWidget *editor, QAbstractItemDelegate::EndEditHint hint)
{
    // SubmitModelCache is how the item delegate reports Enter in the editor.
    if (hint == QAbstractItemDelegate::SubmitModelCache) {
        QTableWidget::closeEditor(editor, QAbstractItemDelegate::NoHint);
        moveToNextRow();
        return;
    }
    QTableWidget::closeEditor(editor, hint);
}
