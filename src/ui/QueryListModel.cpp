#include "ui/QueryListModel.h"

#include "data/Database.h"
#include "data/KeysetList.h"
#include "ui/KeysetTableModel.h"
#include "ui/Shades.h"

#include <QDateTime>
#include <QFont>
#include <QHeaderView>
#include <QSqlQueryModel>
#include <QTableView>

QueryListModel::QueryListModel(QList<Column> columns, QObject *parent)
    : QIdentityProxyModel(parent), m_columns(std::move(columns))
{}

QueryListModel::~QueryListModel() = default;

void QueryListModel::setQuery(const QString &sql)
{
    if (!m_query) {
        m_query = new QSqlQueryModel(this);
        setSourceModel(m_query);
    }
    m_sql = sql;
    refresh();
}

void QueryListModel::setList(std::unique_ptr<KeysetList> list)
{
    auto *pages = new KeysetTableModel(std::move(list), this);
    setSourceModel(pages);
    delete m_pages;
    m_pages = pages;
    m_pages->reload();
}

void QueryListModel::refresh()
{
    if (m_pages)
        m_pages->reload();
    else if (!m_sql.isEmpty())
        Database::fill(*m_query, m_sql);
}

void QueryListModel::showIn(QTableView *view, const QString &widestField)
{
    m_view = view;
    m_widestField = widestField;
    view->setModel(this);
    connect(this, &QAbstractItemModel::modelReset, this, &QueryListModel::arrangeColumns, Qt::UniqueConnection);
    arrangeColumns();
}

void QueryListModel::arrangeColumns()
{
    if (!m_view)
        return;
    QHeaderView *header = m_view->horizontalHeader();
    const int count = int(std::min<qsizetype>(m_columns.size(), columnCount()));
    for (int column = 0; column < count; ++column) {
        const Column &shown = m_columns.at(column);
        m_view->setColumnHidden(column, !shown.visible);
        if (shown.field == m_widestField) {
            header->setSectionResizeMode(column, QHeaderView::Stretch);
        } else {
            header->setSectionResizeMode(column, QHeaderView::Interactive);
            if (shown.width > 0)
                m_view->setColumnWidth(column, shown.width);
        }
    }
}

int QueryListModel::columnOf(const QString &field) const
{
    for (int column = 0; column < m_columns.size(); ++column)
        if (m_columns.at(column).field.compare(field, Qt::CaseInsensitive) == 0)
            return column;
    return -1;
}

QVariant QueryListModel::value(int row, int column) const
{
    return sourceModel() ? sourceModel()->index(row, column).data(Qt::EditRole) : QVariant();
}

QVariant QueryListModel::value(int row, const QString &field) const
{
    const int column = columnOf(field);
    return column < 0 ? QVariant() : value(row, column);
}

QVariant QueryListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    const Kind kind = index.column() < m_columns.size() ? m_columns.at(index.column()).kind : Kind::Text;
    switch (role) {
    case Qt::DisplayRole: {
        const QVariant raw = value(index.row(), index.column());
        if (kind == Kind::Check)
            return {};
        if (kind == Kind::Date || kind == Kind::DateTime) {
            const QString text = raw.toString();
            const QDateTime when = QDateTime::fromString(text, Qt::ISODate);
            if (when.isValid())
                return kind == Kind::Date ? when.date().toString(QStringLiteral("dd/MM/yyyy"))
                                          : when.toString(QStringLiteral("dd/MM/yyyy HH:mm"));
            const QDate day = QDate::fromString(text, Qt::ISODate);
            return day.isValid() ? day.toString(QStringLiteral("dd/MM/yyyy")) : raw;
        }
        return raw;
    }
    case Qt::CheckStateRole:
        if (kind == Kind::Check)
            return value(index.row(), index.column()).toInt() != 0 ? Qt::Checked : Qt::Unchecked;
        return {};
    case Qt::BackgroundRole:
        if (m_look) {
            const QColor background = m_look(*this, index.row()).background;
            if (background.isValid())
                return background;
        }
        return {};
    case Qt::ForegroundRole:
        if (m_look) {
            const QColor background = m_look(*this, index.row()).background;
            if (background.isValid())
                return Shades::textOn(background);
        }
        return {};
    case Qt::FontRole:
        if (m_look) {
            const Look look = m_look(*this, index.row());
            if (look.bold || look.italic) {
                QFont font;
                font.setBold(look.bold);
                font.setItalic(look.italic);
                return font;
            }
        }
        return {};
    case Qt::ToolTipRole:
        if (m_look) {
            const QString tip = m_look(*this, index.row()).toolTip;
            if (!tip.isEmpty())
                return tip;
        }
        return QIdentityProxyModel::data(index, role);
    case Qt::TextAlignmentRole:
        if (kind == Kind::Check)
            return int(Qt::AlignCenter);
        return {};
    default:
        return QIdentityProxyModel::data(index, role);
    }
}

QVariant QueryListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section < m_columns.size())
        return m_columns.at(section).caption;
    return QIdentityProxyModel::headerData(section, orientation, role);
}

Qt::ItemFlags QueryListModel::flags(const QModelIndex &index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}
