#pragma once

#include "compose/DebitOrderList.h"

#include <QAbstractTableModel>

// The loaded debit-order list for its grid: columns "ID", "Cellphone",
// "Message"; each row coloured by its check as it is shown.
class DebitOrderModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit DebitOrderModel(QObject *parent = nullptr);

    void setRows(QList<DebitOrderList::Row> rows);
    const QList<DebitOrderList::Row> &rows() const { return m_rows; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The colour of a check (also used by the legend).
    static QColor colourOf(DebitOrderList::Style style);

private:
    QList<DebitOrderList::Row> m_rows;
};
