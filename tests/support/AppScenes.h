#pragma once

#include "../gateway/GatewayTestSupport.h"
#include "AppSendRuns.h"
#include "GuiTestSupport.h"

#include "app/frmMain.h"
#include "compose/NumberGrid.h"
#include "ui/QueryListModel.h"

#include <QLabel>

#include <algorithm>

// What the main-window and send tests set up and read back the same way.

// The CustomerIDs of the messages the gateway received since the last look, sorted (a key posted twice shows twice).
inline QList<qint64> postedKeys(const GatewayProcess &gateway)
{
    QList<qint64> keys;
    for (const QString &key : postedCustomers(gateway))
        keys << key.toLongLong();
    std::sort(keys.begin(), keys.end());
    return keys;
}

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
