#include "data/Database.h"
#include "data/DatabaseInternal.h"

#include <QHash>
#include <QRegularExpression>

namespace Database {

namespace {

// SQLite orders NULL before every value, PostgreSQL after. A contact without
// a name is listed first on both: each name term of an ORDER BY (one in the
// name collation) says where its NULLs go. Other terms are left alone, so a
// descending key still reads its index backwards.
QString nullsAsSQLiteOrders(const QString &sql)
{
    static const QRegularExpression orderBy(QStringLiteral("\\bORDER\\s+BY\\b"),
                                            QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression nameTerm(QStringLiteral("\\bCOLLATE\\s+%1\\b(\\s+(ASC|DESC)\\b)?+(?!\\s+NULLS\\b)")
                                                 .arg(QLatin1StringView(NameCollation)),
                                             QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression clauseEnd(QStringLiteral("^(LIMIT|OFFSET|FOR|FETCH)\\b"),
                                              QRegularExpression::CaseInsensitiveOption);
    QString result = sql;
    qsizetype from = 0;
    for (QRegularExpressionMatch order = orderBy.match(result, from); order.hasMatch();
         order = orderBy.match(result, from)) {
        // The clause runs to the bracket that closes its subquery, a LIMIT, or the end.
        qsizetype end = order.capturedEnd();
        int depth = 0;
        bool quoted = false;
        for (; end < result.size(); ++end) {
            const QChar c = result.at(end);
            if (c == QLatin1Char('\''))
                quoted = !quoted;
            if (quoted)
                continue;
            if (c == QLatin1Char('('))
                ++depth;
            else if (c == QLatin1Char(')') && depth-- == 0)
                break;
            else if (depth == 0 && (end == 0 || !result.at(end - 1).isLetterOrNumber())
                     && clauseEnd.match(QStringView(result).mid(end)).hasMatch())
                break;
        }
        QString clause = result.mid(order.capturedEnd(), end - order.capturedEnd());
        QString rewritten;
        qsizetype copied = 0;
        for (auto it = nameTerm.globalMatch(clause); it.hasNext();) {
            const QRegularExpressionMatch term = it.next();
            const bool descending = term.captured(2).compare(QLatin1String("DESC"), Qt::CaseInsensitive) == 0;
            rewritten += clause.mid(copied, term.capturedEnd() - copied)
                         + (descending ? QStringLiteral(" NULLS LAST") : QStringLiteral(" NULLS FIRST"));
            copied = term.capturedEnd();
        }
        rewritten += clause.mid(copied);
        result.replace(order.capturedEnd(), clause.size(), rewritten);
        from = order.capturedEnd() + rewritten.size();
    }
    return result;
}

} // namespace

// Splits a script into its statements: at semicolons outside quotes and comments.
QStringList statementsOf(const QString &script)
{
    QStringList statements;
    QString current;
    bool quoted = false;
    bool dollarQuoted = false; // a $$ ... $$ body holds semicolons of its own
    for (qsizetype i = 0; i < script.size(); ++i) {
        const QChar c = script.at(i);
        if (!quoted && c == QLatin1Char('$') && i + 1 < script.size() && script.at(i + 1) == QLatin1Char('$')) {
            dollarQuoted = !dollarQuoted;
            current += QStringLiteral("$$");
            ++i;
            continue;
        }
        if (dollarQuoted) {
            current += c;
            continue;
        }
        if (!quoted && c == QLatin1Char('-') && i + 1 < script.size() && script.at(i + 1) == QLatin1Char('-')) {
            while (i < script.size() && script.at(i) != QLatin1Char('\n'))
                ++i;
            current += QLatin1Char('\n');
            continue;
        }
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (!quoted && c == QLatin1Char(';')) {
            if (!current.trimmed().isEmpty())
                statements << current.trimmed();
            current.clear();
            continue;
        }
        current += c;
    }
    if (!current.trimmed().isEmpty())
        statements << current.trimmed();
    return statements;
}

QString dialect(const QString &sql)
{
    if (engine() == Engine::SQLite)
        return sql;
    static QHash<QString, QString> translated;
    if (const auto found = translated.constFind(sql); found != translated.cend())
        return *found;
    // Setup's one row has no key of its own: its place in the table stands in.
    static const QRegularExpression rowid(QStringLiteral("\\browid\\b"), QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression instr(QStringLiteral("\\binstr\\s*\\("), QRegularExpression::CaseInsensitiveOption);
    QString result = sql;
    result.replace(rowid, QStringLiteral("ctid"));
    result.replace(instr, QStringLiteral("strpos("));
    // INSERT OR IGNORE / OR REPLACE: PostgreSQL's ON CONFLICT, before any
    // RETURNING. A replace takes the first column listed as the key.
    static const QRegularExpression insertOr(
        QStringLiteral("^\\s*INSERT\\s+OR\\s+(IGNORE|REPLACE)\\s+INTO\\s+(\\w+)\\s*\\(([^)]*)\\)"),
        QRegularExpression::CaseInsensitiveOption);
    if (const QRegularExpressionMatch match = insertOr.match(result); match.hasMatch()) {
        QString conflict = QStringLiteral(" ON CONFLICT DO NOTHING");
        if (match.captured(1).compare(QLatin1String("REPLACE"), Qt::CaseInsensitive) == 0) {
            QStringList columns = match.captured(3).split(QLatin1Char(','));
            for (QString &column : columns)
                column = column.trimmed();
            QStringList updates;
            for (qsizetype i = 1; i < columns.size(); ++i)
                updates << QStringLiteral("%1 = EXCLUDED.%1").arg(columns.at(i));
            conflict = updates.isEmpty() ? QStringLiteral(" ON CONFLICT DO NOTHING")
                                         : QStringLiteral(" ON CONFLICT (%1) DO UPDATE SET %2")
                                               .arg(columns.first(), updates.join(QStringLiteral(", ")));
        }
        result = QStringLiteral("INSERT INTO %1 (%2)").arg(match.captured(2), match.captured(3))
                 + result.mid(match.capturedEnd());
        static const QRegularExpression returning(QStringLiteral("\\s+RETURNING\\s+"),
                                                  QRegularExpression::CaseInsensitiveOption);
        const QRegularExpressionMatch tail = returning.match(result);
        if (tail.hasMatch())
            result.insert(tail.capturedStart(), conflict);
        else
            result += conflict;
    }
    result = nullsAsSQLiteOrders(result);
    translated.insert(sql, result);
    return result;
}

QString skipLocked()
{
    return engine() == Engine::PostgreSQL ? QStringLiteral(" FOR UPDATE SKIP LOCKED") : QString();
}

QString placeholders(qsizetype n)
{
    return QStringList(n, QStringLiteral("?")).join(QStringLiteral(", "));
}

QString placeholderRows(qsizetype columns, qsizetype rows)
{
    return QStringList(rows, QLatin1Char('(') + placeholders(columns) + QLatin1Char(')')).join(QStringLiteral(", "));
}

} // namespace Database
