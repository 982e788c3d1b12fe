#include "data/Database.h"
#include "data/DatabaseInternal.h"

#include <QSqlError>
#include <QSqlRecord>

#include <sqlite3.h>

namespace Database {

QSqlQuery runBare(const QString &sql, const QVariantList &values);

namespace {
// PostgreSQL's driver reads a forward-only result a row at a time from the
// server, and the next statement on the connection (another query, or the
// savepoint after this one) throws the rest away. Results from the server
// are read whole instead.
bool forwardOnly()
{
    return engine() == Engine::SQLite;
}
} // namespace

namespace {
// On PostgreSQL a failed statement spoils the whole transaction around it,
// where SQLite undoes only that statement. Inside a transaction each
// statement runs under a savepoint of its own, so a failure takes back that
// statement alone and the rest of the batch can still be committed, as on
// SQLite.
class StatementSavepoint
{
public:
    explicit StatementSavepoint(const QString &sql)
        : m_active(state().transactionDepth > 0 && engine() == Engine::PostgreSQL && !controlsTransaction(sql))
    {
        if (m_active)
            exec(QStringLiteral("SAVEPOINT tellwave_statement"));
    }
    void done()
    {
        if (std::exchange(m_active, false))
            exec(QStringLiteral("RELEASE SAVEPOINT tellwave_statement"));
    }
    ~StatementSavepoint()
    {
        if (m_active) {
            QSqlQuery undo(QSqlDatabase::database(ConnectionName, false));
            undo.exec(QStringLiteral("ROLLBACK TO SAVEPOINT tellwave_statement"));
            undo.exec(QStringLiteral("RELEASE SAVEPOINT tellwave_statement"));
        }
    }
    StatementSavepoint(const StatementSavepoint &) = delete;
    StatementSavepoint &operator=(const StatementSavepoint &) = delete;

private:
    // A statement that sets or ends savepoints of its own must not be nested
    // inside ours.
    static bool controlsTransaction(const QString &sql)
    {
        const QString start = sql.trimmed().section(QLatin1Char(' '), 0, 0);
        return start.compare(QLatin1String("SAVEPOINT"), Qt::CaseInsensitive) == 0
               || start.compare(QLatin1String("RELEASE"), Qt::CaseInsensitive) == 0
               || start.compare(QLatin1String("ROLLBACK"), Qt::CaseInsensitive) == 0;
    }
    static void exec(const QString &sql)
    {
        QSqlQuery query(QSqlDatabase::database(ConnectionName, false));
        if (!query.exec(sql))
            throw errorFrom(query.lastError(), sql);
    }
    bool m_active;
};
} // namespace

QSqlQuery run(const QString &sql, const QVariantList &values)
{
    connection();
    StatementSavepoint savepoint(sql);
    QSqlQuery query = runBare(sql, values);
    savepoint.done();
    return query;
}

QSqlQuery runBare(const QString &sql, const QVariantList &values)
{
    QSqlQuery query(connection());
    query.setForwardOnly(forwardOnly());
    // PostgreSQL prepares only queries and writes of rows; a statement with
    // no values (SAVEPOINT, CREATE ...) runs as it is.
    if (values.isEmpty() && engine() == Engine::PostgreSQL) {
        if (!query.exec(dialect(sql)))
            throw errorFrom(query.lastError(), sql);
        return query;
    }
    runPrepared(query, dialect(sql), values, sql);
    return query;
}

void runPrepared(QSqlQuery &query, const QString &prepared, const QVariantList &values, const QString &written)
{
    if (!query.prepare(prepared))
        throw errorFrom(query.lastError(), written);
    for (const QVariant &value : values)
        query.addBindValue(value);
    if (!query.exec())
        throw errorFrom(query.lastError(), written);
}

void fill(QSqlQueryModel &model, const QString &sql, const QVariantList &values)
{
    QSqlQuery query(connection());
    runPrepared(query, dialect(sql), values, sql);
    model.setQuery(std::move(query));
    if (model.lastError().isValid())
        throw errorFrom(model.lastError(), sql);
}

QVariant value(const QString &sql, const QVariantList &values)
{
    QSqlQuery query = run(sql, values);
    return query.next() ? query.value(0) : QVariant();
}

int Table::column(const QString &name) const
{
    for (int i = 0; i < columns.size(); ++i)
        if (columns.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

Table table(const QString &sql, const QVariantList &values)
{
    QSqlQuery query = run(sql, values);
    Table result;
    const QSqlRecord record = query.record();
    for (int i = 0; i < record.count(); ++i)
        result.columns << record.fieldName(i);
    while (query.next()) {
        QVariantList row;
        row.reserve(record.count());
        for (int i = 0; i < record.count(); ++i)
            row << query.value(i);
        result.rows.append(row);
    }
    return result;
}

QSqlQuery &Statement::run(const QVariantList &values)
{
    connection();
    StatementSavepoint savepoint(m_sql);
    QSqlQuery &query = runBare(values);
    savepoint.done();
    return query;
}

QSqlQuery &Statement::runBare(const QVariantList &values)
{
    if (values.isEmpty() && !m_returning && engine() == Engine::PostgreSQL) {
        m_query = QSqlQuery(connection());
        m_query.setForwardOnly(forwardOnly());
        if (!m_query.exec(dialect(m_sql)))
            throw errorFrom(m_query.lastError(), m_sql);
        return m_query;
    }
    if (!m_prepared) {
        m_query = QSqlQuery(connection());
        m_query.setForwardOnly(forwardOnly());
        if (!m_query.prepare(dialect(m_sql)))
            throw errorFrom(m_query.lastError(), m_sql);
        m_prepared = true;
    }
    for (qsizetype i = 0; i < values.size(); ++i)
        m_query.bindValue(int(i), values.at(i));
    if (!m_query.exec())
        throw errorFrom(m_query.lastError(), m_sql);
    return m_query;
}

Value::Value(const QVariant &value)
{
    if (value.isNull())
        return;
    switch (value.typeId()) {
    case QMetaType::QString:
        if (const QString &text = *static_cast<const QString *>(value.constData()); !text.isNull()) {
            m_kind = Kind::Text;
            m_text = text;
        }
        return;
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        m_kind = Kind::Integer;
        m_integer = value.toLongLong();
        return;
    case QMetaType::Double:
    case QMetaType::Float:
        m_kind = Kind::Real;
        m_real = value.toDouble();
        return;
    default:
        m_kind = Kind::Text;
        m_owned = value.toString();
        if (m_owned.isNull())
            m_owned = QStringLiteral("");
        return;
    }
}

QVariant Value::toVariant() const
{
    switch (m_kind) {
    case Kind::Null:
        return {};
    case Kind::Integer:
        return QVariant(qlonglong(m_integer));
    case Kind::Real:
        return QVariant(m_real);
    case Kind::Text:
        return QVariant(text().toString());
    }
    return {};
}

RowStatement::RowStatement(QString sql) : m_sql(std::move(sql)), m_server(m_sql) {}

RowStatement::~RowStatement()
{
    release();
}

void RowStatement::release()
{
    if (m_statement) {
        sqlite3_finalize(m_statement);
        m_statement = nullptr;
    }
    if (std::exchange(m_checked, false)) {
        state().rowStatements.removeOne(this);
        m_server = Statement(m_sql);
    }
    m_file = false;
}

bool RowStatement::onFile()
{
    if (m_checked)
        return m_file;
    const QSqlDatabase db = connection();
    sqlite3 *handle = engine() == Engine::SQLite ? handleOf(db) : nullptr;
    if (handle) {
        const QByteArray sql = m_sql.toUtf8();
        const int code = sqlite3_prepare_v2(handle, sql.constData(), int(sql.size()), &m_statement, nullptr);
        if (code != SQLITE_OK) {
            m_statement = nullptr;
            throw engineError(handle, code, m_sql);
        }
    }
    m_checked = true;
    m_file = handle != nullptr;
    state().rowStatements.append(this);
    return m_file;
}

QVariantList RowStatement::variants(const Value *values, qsizetype count)
{
    QVariantList list;
    list.reserve(count);
    for (qsizetype i = 0; i < count; ++i)
        list.append(values[i].toVariant());
    return list;
}

bool RowStatement::step(const Value *values, qsizetype count)
{
    sqlite3 *handle = sqlite3_db_handle(m_statement);
    if (count != sqlite3_bind_parameter_count(m_statement))
        throw AppError(ErrorGeneral, QStringLiteral("Parameter count mismatch"), QStringLiteral("Database"));
    int at = 1;
    for (qsizetype i = 0; i < count; ++i) {
        const Value &value = values[i];
        int code = SQLITE_OK;
        switch (value.kind()) {
        case Value::Kind::Null:
            code = sqlite3_bind_null(m_statement, at);
            break;
        case Value::Kind::Integer:
            code = sqlite3_bind_int64(m_statement, at, value.integer());
            break;
        case Value::Kind::Real:
            code = sqlite3_bind_double(m_statement, at, value.real());
            break;
        case Value::Kind::Text: {
            const QStringView text = value.text();
            // The text lives until the run is over: the engine need not copy it.
            code = sqlite3_bind_text16(m_statement, at, text.isEmpty() ? u"" : text.utf16(),
                                       int(text.size() * qsizetype(sizeof(char16_t))), SQLITE_STATIC);
            break;
        }
        }
        if (code != SQLITE_OK)
            throw engineError(handle, code, m_sql);
        ++at;
    }
    const int code = sqlite3_step(m_statement);
    if (code == SQLITE_ROW)
        return true;
    if (code == SQLITE_DONE)
        return false;
    const AppError error = engineError(handle, code, m_sql);
    sqlite3_reset(m_statement);
    throw error;
}

int RowStatement::run(const Value *values, qsizetype count)
{
    if (!onFile())
        return m_server.run(variants(values, count)).numRowsAffected();
    step(values, count);
    const int changed = sqlite3_changes(sqlite3_db_handle(m_statement));
    sqlite3_reset(m_statement);
    return changed;
}

qint64 RowStatement::insert(std::initializer_list<Value> values)
{
    if (!onFile())
        return m_server.insert(variants(values.begin(), qsizetype(values.size())));
    step(values.begin(), qsizetype(values.size()));
    sqlite3 *handle = sqlite3_db_handle(m_statement);
    const qint64 key = sqlite3_changes(handle) > 0 ? sqlite3_last_insert_rowid(handle) : 0;
    sqlite3_reset(m_statement);
    return key;
}

bool RowStatement::finds(std::initializer_list<Value> values)
{
    if (!onFile()) {
        QSqlQuery &query = m_server.run(variants(values.begin(), qsizetype(values.size())));
        const bool found = query.next();
        query.finish();
        return found;
    }
    const bool found = step(values.begin(), qsizetype(values.size()));
    sqlite3_reset(m_statement);
    return found;
}

// PostgreSQL gives a new row's key back through RETURNING; every keyed table
// has its key first.
qint64 insert(const QString &sql, const QVariantList &values)
{
    if (engine() == Engine::SQLite)
        return run(sql, values).lastInsertId().toLongLong();
    QSqlQuery query = run(sql + QStringLiteral(" RETURNING *"), values);
    return query.next() ? query.value(0).toLongLong() : 0;
}

qint64 Statement::insert(const QVariantList &values)
{
    if (!m_prepared && engine() == Engine::PostgreSQL && !m_returning) {
        m_sql += QStringLiteral(" RETURNING *");
        m_returning = true;
    }
    QSqlQuery &query = run(values);
    if (!m_returning)
        return query.lastInsertId().toLongLong();
    return query.next() ? query.value(0).toLongLong() : 0;
}

} // namespace Database
