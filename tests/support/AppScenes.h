#pragma once

#include "AppSendRuns.h"
#include "GuiTestSupport.h"

#include "app/frmMain.h"
#include "compose/NumberGrid.h"
#include "ui/QueryListModel.h"

#include <QLabel>

// What the main-window and send tests set up and read back the same way.

// The outbox list's cell in this column of the row with this key.
inline QModelIndex outboxCell(const frmMain &window, qint64 key, const QString &field = QStringLiteral("Message"))
{
    const QueryListModel *list = window.outboxList();
    return list->index(rowWithKey(list, key), list->columnOf(field));
}

// A label's text, by objectName.
inline QString labelText(const QWidget *window, const char *label)
{
    return window->findChild<QLabel *>(QString::fromLatin1(label))->text();
}

// The numbers typed into a number list, one a row.
inline void typeNumbers(QWidget *window, const QStringList &numbers)
{
    auto *grid = window->findChild<NumberGrid *>();
    grid->setRowCount(int(numbers.size()));
    for (int row = 0; row < numbers.size(); ++row)
        grid->setItem(row, 0, new QTableWidgetItem(numbers[row]));
}
