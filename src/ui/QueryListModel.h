#pragma once

#include <QColor>
#include <QIdentityProxyModel>
#include <QList>
#include <QString>

#include <functional>
#include <memory>

class KeysetList;
class KeysetTableModel;
class QSqlQueryModel;
class QTableView;

// A read-only list over one statement, for a QTableView: a caption per
// column, hidden columns, yes/no columns as check boxes, dates in a display
// form, and a per-row look (background, bold) computed as each row is shown.
class QueryListModel : public QIdentityProxyModel
{
    Q_OBJECT

public:
    enum class Kind { Text, Date, DateTime, Check };
    struct Column
    {
        QString field;
        QString caption;
        bool visible = true;
        Kind kind = Kind::Text;
        int width = 0; // 0: the view's default
    };
    struct Look
    {
        QColor background; // invalid: the view's own
        bool bold = false;
        bool italic = false;
        QString toolTip;
    };
    using LookOf = std::function<Look(const QueryListModel &model, int row)>;

    explicit QueryListModel(QList<Column> columns, QObject *parent = nullptr);
    ~QueryListModel() override;

    // Runs the statement on the program's connection; throws AppError.
    void setQuery(const QString &sql);
    // Shows the rows of `list` (its columns in this list's order), read a
    // page at a time as the view scrolls; throws AppError.
    void setList(std::unique_ptr<KeysetList> list);
    // Reads the rows again, so the list shows the database as it is now.
    void refresh();

    void setLook(LookOf look) { m_look = std::move(look); }

    // Shows the list in a view: hidden columns hidden, widths set, the widest
    // column taking the spare room; kept so after every refresh.
    void showIn(QTableView *view, const QString &widestField);

    int columnOf(const QString &field) const;
    QVariant value(int row, const QString &field) const;
    QVariant value(int row, int column) const;

    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    void arrangeColumns();

    QSqlQueryModel *m_query = nullptr;
    KeysetTableModel *m_pages = nullptr;
    QTableView *m_view = nullptr;
    QString m_widestField;
    QList<Column> m_columns;
    QString m_sql;
    LookOf m_look;
};
