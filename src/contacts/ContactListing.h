#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

// Every contact in the contact list's order, for a list that shows only a
// screenful at a time: the keys of all contacts are read in order when the
// list loads; a row's values are read, a page at a time, when it is shown.
class ContactListing
{
public:
    // The list's columns, in their order; each is a column of Clients.
    static const QStringList &columns();
    // " ORDER BY <column>", every text column in the name collation.
    static QString sortClauseFor(const QString &column);

    QString sortClause() const { return m_sortClause; }
    void setSortClause(const QString &clause) { m_sortClause = clause; }
    // The list's statement: "SELECT * FROM Clients" and the sort clause.
    QString query() const { return QStringLiteral("SELECT * FROM Clients") + m_sortClause; }

    // Reads the keys again; throws AppError.
    void load();

    int count() const { return int(m_ids.size()); }
    qint64 idAt(int row) const { return row >= 0 && row < m_ids.size() ? m_ids.at(row) : 0; }
    // The first row showing the contact, or -1.
    int rowOf(qint64 clientId) const { return int(m_ids.indexOf(clientId)); }

    // A row's value of a column (by its index in columns()); an invalid value
    // for a contact deleted since the list loaded or when the read fails.
    QVariant value(int row, int column) const;

private:
    static constexpr int PageRows = 100;
    static constexpr int KeptPages = 60;
    void readPage(int page) const;

    QString m_sortClause = sortClauseFor(QStringLiteral("AssNo"));
    QList<qint64> m_ids;
    mutable QHash<int, QList<QVariantList>> m_pages;
};
