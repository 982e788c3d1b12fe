#include "data/DatabaseCopy.h"

#include "data/AppError.h"
#include "data/Database.h"

#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

namespace DatabaseCopy {

namespace {

const QString FromName = QStringLiteral("tellwave-copy-from");
const QString ToName = QStringLiteral("tellwave-copy-to");
constexpr qint64 ErrorNotEmpty = 3012;

QSqlQuery exec(const QSqlDatabase &db, const QString &sql)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(sql))
        throw Database::errorFrom(query.lastError(), sql);
    return query;
}

qint64 count(const QSqlDatabase &db, const QString &table)
{
    QSqlQuery query = exec(db, QStringLiteral("SELECT count(*) FROM %1").arg(table));
    return query.next() ? query.value(0).toLongLong() : 0;
}

// The tables a new database starts with rows in (the schema script fills
// them); the copy replaces those. Rows anywhere else mean the target is in use.
bool startsFilled(const QString &table)
{
    static const QStringList filled{QStringLiteral("PostalCodes"), QStringLiteral("Setup"),
                                    QStringLiteral("OptOutWords"), QStringLiteral("PublicHolidays")};
    return filled.contains(table, Qt::CaseInsensitive);
}

struct Connections
{
    ~Connections()
    {
        Database::closeNamed(FromName);
        Database::closeNamed(ToName);
    }
};

} // namespace

void copy(const QString &from, const QString &to, const Progress &progress)
{
    if (from == to)
        throw AppError(3000, QStringLiteral("The database cannot be copied onto itself."));
    if (!Database::isServerAddress(to) && QFileInfo::exists(to))
        throw AppError(3000, QStringLiteral("A file is already there: %1").arg(to));
    Connections connections;
    QSqlDatabase source = Database::openNamed(FromName, from);
    if (!Database::isServerAddress(to))
        Database::create(to);
    QSqlDatabase target = Database::openNamed(ToName, to);
    const bool server = target.driverName() == QLatin1String("QPSQL");

    QList<Database::TableShape> tables;
    for (const Database::TableShape &shape : Database::schemaShape(source))
        if (!shape.view)
            tables << shape;
    for (const Database::TableShape &shape : tables)
        if (!startsFilled(shape.name) && count(target, shape.name) > 0)
            throw AppError(
                ErrorNotEmpty,
                QStringLiteral("The database %1 is not empty: its table %2 holds rows.").arg(to, shape.name));

    if (!target.transaction())
        throw Database::errorFrom(target.lastError(), QStringLiteral("BEGIN"));
    try {
        for (const Database::TableShape &shape : tables) {
            const qint64 total = count(source, shape.name);
            if (progress)
                progress(shape.name, 0, total);
            exec(target, QStringLiteral("DELETE FROM %1").arg(shape.name));
            const QString columns = shape.columns.join(QStringLiteral(", "));
            QSqlQuery insert(target);
            const QString insertSql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                          .arg(shape.name, columns, Database::placeholders(shape.columns.size()));
            if (!insert.prepare(insertSql))
                throw Database::errorFrom(insert.lastError(), insertSql);
            QSqlQuery rows = exec(source, QStringLiteral("SELECT %1 FROM %2 ORDER BY 1").arg(columns, shape.name));
            qint64 done = 0;
            while (rows.next()) {
                for (int i = 0; i < int(shape.columns.size()); ++i)
                    insert.bindValue(i, rows.value(i));
                if (!insert.exec())
                    throw Database::errorFrom(insert.lastError(), insertSql);
                if (progress && (++done % 1000 == 0 || done == total))
                    progress(shape.name, done, total);
            }
            if (rows.lastError().isValid())
                throw Database::errorFrom(rows.lastError());
            // New rows get keys above the copied ones (SQLite's AUTOINCREMENT
            // counter follows explicit keys by itself).
            if (server && !shape.columns.isEmpty()) {
                QSqlQuery sequence = exec(target, QStringLiteral("SELECT pg_get_serial_sequence('%1', '%2')")
                                                      .arg(shape.name.toLower(), shape.columns.first().toLower()));
                if (sequence.next() && !sequence.value(0).isNull())
                    exec(target, QStringLiteral("SELECT setval('%1', coalesce((SELECT max(%2) FROM %3), 0) + 1, false)")
                                     .arg(sequence.value(0).toString(), shape.columns.first(), shape.name));
            }
        }
        if (!target.commit())
            throw Database::errorFrom(target.lastError(), QStringLiteral("COMMIT"));
    } catch (...) {
        target.rollback();
        throw;
    }
}

} // namespace DatabaseCopy
