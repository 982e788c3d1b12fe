#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

// The rows of one table in one order, for a list that shows a screenful at a
// time however large the table grows. Keys are read a page at a time from
// where the last page ended (a seek on the order's index, never an OFFSET),
// so the first screen costs the same at a thousand rows as at ten million;
// a row's values are read, a page at a time, when it is shown.
//
// The order is one column and the key after it, both ascending or both
// descending; a row with no value in the column sorts before every value, on
// both engines. An order is quick when an index on (column, key) serves it
// (the schema says which lists have one); any other column still sorts, but
// the engine reads the whole table to find the first page.
class KeysetList
{
public:
    struct Order
    {
        QString column;     // empty: the key alone
        bool names = false; // compared in the name collation
        bool descending = false;
        bool nullable = true;
    };
    struct Size
    {
        qint64 rows = 0;
        bool exact = true; // false: the engine's estimate, shown as "about N"
    };

    // `columns` are what value() reads, by their index; `key` is the table's
    // unique integer key.
    KeysetList(QString table, QStringList columns, QString key, Order order);

    // Reads the keys and the order column from `table` (the table under a
    // view, where the view's joins would slow the seek) and the values still
    // from the list's own table.
    void setKeysFrom(const QString &table) { m_keyTable = table; }

    const QStringList &columns() const { return m_columns; }
    const Order &order() const { return m_order; }
    // Forgets the rows read; the next readMore() starts at the first row.
    void setOrder(const Order &order);

    // Forgets the rows read.
    void clear();
    // Reads up to `rows` more keys; returns how many came. Throws AppError.
    int readMore(int rows);
    // Reads on until the row with `key` has been read (at most `most` rows in
    // all); its row, or -1.
    int readUntil(qint64 key, int most);
    bool complete() const { return m_segment >= segments().size(); }

    int count() const { return int(m_keys.size()); }
    qint64 keyAt(int row) const { return row >= 0 && row < m_keys.size() ? m_keys.at(row) : 0; }
    int rowOf(qint64 key) const { return int(m_keys.indexOf(key)); }
    // A row's value of a column (by its index in columns()); an invalid value
    // for a row deleted since its key was read, or when the read fails.
    QVariant value(int row, int column) const;

    // How many rows the whole table holds: exact where counting is cheap,
    // else the engine's estimate. Throws AppError.
    Size size() const;

private:
    enum class Segment { Values, Nulls };
    QList<Segment> segments() const;
    QString orderTerm(const QString &direction) const;
    void readPage(int page) const;

    static constexpr int PageRows = 100;
    static constexpr int KeptPages = 60;

    QString m_table;
    QString m_keyTable;
    QStringList m_columns;
    QString m_key;
    Order m_order;

    QList<qint64> m_keys;
    qsizetype m_segment = 0;
    qsizetype m_segmentStart = 0; // the first row read in the current segment
    QVariant m_lastValue;         // the order column's value in the last row read
    mutable QHash<int, QList<QVariantList>> m_pages;
};
