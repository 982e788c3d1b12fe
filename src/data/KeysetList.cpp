#include "data/KeysetList.h"

#include "data/AppError.h"
#include "data/Database.h"

#include <QSqlQuery>

namespace {

// Below this many rows (by the server's estimate) a list counts exactly.
constexpr qint64 EstimatedFrom = 200000;

} // namespace

KeysetList::KeysetList(QString table, QStringList columns, QString key, Order order)
    : m_table(std::move(table)), m_keyTable(m_table), m_columns(std::move(columns)), m_key(std::move(key)),
      m_order(std::move(order))
{}

void KeysetList::setOrder(const Order &order)
{
    m_order = order;
    clear();
}

void KeysetList::clear()
{
    m_keys.clear();
    m_pages.clear();
    m_segment = 0;
    m_segmentStart = 0;
    m_lastValue = QVariant();
}

// Rows without a value come first in an ascending order and last in a
// descending one, as SQLite orders them. Each part is read by a statement of
// its own, so neither engine's own place for NULLs matters and each part
// seeks in the same index.
QList<KeysetList::Segment> KeysetList::segments() const
{
    if (m_order.column.isEmpty() || !m_order.nullable)
        return {Segment::Values};
    return m_order.descending ? QList<Segment>{Segment::Values, Segment::Nulls}
                              : QList<Segment>{Segment::Nulls, Segment::Values};
}

QString KeysetList::orderTerm(const QString &direction) const
{
    QString term = m_order.column;
    if (m_order.names)
        term += QStringLiteral(" COLLATE ") + QLatin1StringView(Database::NameCollation);
    return term + direction;
}

int KeysetList::readMore(int rows)
{
    const QList<Segment> parts = segments();
    const QString direction = m_order.descending ? QStringLiteral(" DESC") : QString();
    const QString beyond = m_order.descending ? QStringLiteral(" < ") : QStringLiteral(" > ");
    // A page read before these rows came holds fewer rows than it will now.
    m_pages.remove(int(m_keys.size() / PageRows));
    int read = 0;
    while (read < rows && m_segment < parts.size()) {
        const bool started = m_keys.size() > m_segmentStart;
        QStringList conditions;
        QVariantList values;
        QString orderBy;
        QString selected = m_key;
        if (m_order.column.isEmpty()) {
            if (started) {
                conditions << m_key + beyond + QStringLiteral("?");
                values << m_keys.constLast();
            }
            orderBy = m_key + direction;
        } else if (parts.at(m_segment) == Segment::Nulls) {
            conditions << m_order.column + QStringLiteral(" IS NULL");
            if (started) {
                conditions << m_key + beyond + QStringLiteral("?");
                values << m_keys.constLast();
            }
            orderBy = m_key + direction;
        } else {
            selected += QStringLiteral(", ") + m_order.column;
            if (started) {
                // Written out rather than as a row comparison: both engines
                // seek on the first term in the (column, key) index, where
                // SQLite would scan for a row comparison in a collation.
                const QString column = orderTerm({});
                conditions << QStringLiteral("%1 %2= ?").arg(column, beyond.trimmed())
                           << QStringLiteral("(%1%2? OR %3%2?)").arg(column, beyond, m_key);
                values << m_lastValue << m_lastValue << m_keys.constLast();
            } else if (m_order.nullable) {
                conditions << m_order.column + QStringLiteral(" IS NOT NULL");
            }
            orderBy = orderTerm(direction) + QStringLiteral(", ") + m_key + direction;
        }
        const int wanted = rows - read;
        QString sql = QStringLiteral("SELECT %1 FROM %2").arg(selected, m_keyTable);
        if (!conditions.isEmpty())
            sql += QStringLiteral(" WHERE ") + conditions.join(QStringLiteral(" AND "));
        sql += QStringLiteral(" ORDER BY %1 LIMIT %2").arg(orderBy).arg(wanted);
        QSqlQuery query = Database::run(sql, values);
        int got = 0;
        while (query.next()) {
            m_keys.append(query.value(0).toLongLong());
            if (selected != m_key)
                m_lastValue = query.value(1);
            ++got;
        }
        read += got;
        if (got < wanted) {
            ++m_segment;
            m_segmentStart = m_keys.size();
            m_lastValue = QVariant();
        }
    }
    return read;
}

int KeysetList::readUntil(qint64 key, int most)
{
    constexpr int Step = 5000;
    int row = rowOf(key);
    while (row < 0 && !complete() && count() < most) {
        const int from = count();
        readMore(std::min(Step, most - from));
        const int found = int(m_keys.indexOf(key, from));
        if (found >= 0)
            row = found;
    }
    return row;
}

QVariant KeysetList::value(int row, int column) const
{
    if (row < 0 || row >= m_keys.size() || column < 0 || column >= m_columns.size())
        return {};
    const int page = row / PageRows;
    auto found = m_pages.constFind(page);
    if (found == m_pages.cend()) {
        readPage(page);
        found = m_pages.constFind(page);
    }
    if (row % PageRows >= found->size())
        return {};
    const QVariantList &values = found->at(row % PageRows);
    return column < values.size() ? values.at(column) : QVariant();
}

void KeysetList::readPage(int page) const
{
    if (m_pages.size() >= KeptPages)
        m_pages.clear();
    const int first = page * PageRows;
    const int last = std::min<int>(first + PageRows, int(m_keys.size()));
    QList<QVariantList> rows(last - first);
    try {
        QVariantList keys;
        QHash<qint64, int> position;
        for (int row = first; row < last; ++row) {
            keys.append(m_keys.at(row));
            position.insert(m_keys.at(row), row - first);
        }
        QSqlQuery query = Database::run(
            QStringLiteral("SELECT %1, %2 FROM %3 WHERE %1 IN (%4)")
                .arg(m_key, m_columns.join(QStringLiteral(", ")), m_table, Database::placeholders(keys.size())),
            keys);
        const int width = int(m_columns.size());
        while (query.next()) {
            const auto at = position.constFind(query.value(0).toLongLong());
            if (at == position.cend())
                continue;
            QVariantList values;
            values.reserve(width);
            for (int column = 0; column < width; ++column)
                values.append(query.value(column + 1));
            rows[*at] = std::move(values);
        }
    } catch (const AppError &) {
        // The rows stay empty; the list shows blanks rather than stopping to paint.
    }
    m_pages.insert(page, std::move(rows));
}

KeysetList::Size KeysetList::size() const
{
    if (Database::engine() == Database::Engine::PostgreSQL) {
        // Counting a large table on the server reads all of it; its planner's
        // estimate costs nothing and is close once the table has been analysed.
        const qint64 estimate =
            Database::value(QStringLiteral("SELECT reltuples::bigint FROM pg_class WHERE oid = to_regclass(?)"),
                            {m_keyTable.toLower()})
                .toLongLong();
        if (estimate >= EstimatedFrom)
            return {estimate, false};
    }
    // SQLite counts from the table's smallest index without reading the rows.
    return {Database::value(QStringLiteral("SELECT count(*) FROM ") + m_keyTable).toLongLong(), true};
}
