#pragma once

#include "data/Database.h"

#include <QAbstractTableModel>
#include <QHash>

// A read-only list of database rows with their column names as captions
// (some renamed for display).
class RecordTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit RecordTableModel(QObject *parent = nullptr);

    void setCaption(const QString &column, const QString &caption);
    void setTable(Database::Table table);
    int columnOf(const QString &column) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    Database::Table m_table;
    QHash<QString, QString> m_captions;
};
