#include "data/Database.h"
#include "data/DatabaseInternal.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>

namespace Database {

namespace {

constexpr auto CaseInsensitive = QRegularExpression::CaseInsensitiveOption;

// SQLite orders NULL before every value, PostgreSQL after: each name term
// (one in the name collation) of a list of terms says where its NULLs go.
// Other terms are left alone, so a descending key still reads its index
// backwards.
QString nullsAsSQLite(const QString &terms)
{
    static const QRegularExpression nameTerm(QStringLiteral("\\bCOLLATE\\s+%1\\b(\\s+(ASC|DESC)\\b)?+(?!\\s+NULLS\\b)")
                                                 .arg(QLatin1StringView(NameCollation)),
                                             CaseInsensitive);
    QString rewritten;
    qsizetype copied = 0;
    for (auto it = nameTerm.globalMatch(terms); it.hasNext();) {
        const QRegularExpressionMatch term = it.next();
        const bool descending = term.captured(2).compare(QLatin1String("DESC"), Qt::CaseInsensitive) == 0;
        rewritten += terms.mid(copied, term.capturedEnd() - copied)
                     + (descending ? QStringLiteral(" NULLS LAST") : QStringLiteral(" NULLS FIRST"));
        copied = term.capturedEnd();
    }
    return rewritten + terms.mid(copied);
}

// A contact without a name is listed first on both engines: every ORDER BY
// says where the NULLs of its name terms go.
QString nullsAsSQLiteOrders(const QString &sql)
{
    static const QRegularExpression orderBy(QStringLiteral("\\bORDER\\s+BY\\b"), CaseInsensitive);
    static const QRegularExpression clauseEnd(QStringLiteral("^(LIMIT|OFFSET|FOR|FETCH)\\b"), CaseInsensitive);
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
        const QString clause = result.mid(order.capturedEnd(), end - order.capturedEnd());
        const QString rewritten = nullsAsSQLite(clause);
        result.replace(order.capturedEnd(), clause.size(), rewritten);
        from = order.capturedEnd() + rewritten.size();
    }
    return result;
}

// The bracket that closes the one at `open`, outside quotes; -1 when none does.
qsizetype closingBracket(const QString &text, qsizetype open)
{
    int depth = 0;
    bool quoted = false;
    for (qsizetype i = open; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        else if (!quoted && c == QLatin1Char('('))
            ++depth;
        else if (!quoted && c == QLatin1Char(')') && --depth == 0)
            return i;
    }
    return -1;
}

// The items of a list at its commas outside brackets and quotes.
QStringList itemsOf(const QString &list)
{
    QStringList items;
    qsizetype start = 0;
    int depth = 0;
    bool quoted = false;
    for (qsizetype i = 0; i < list.size(); ++i) {
        const QChar c = list.at(i);
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        else if (!quoted && c == QLatin1Char('('))
            ++depth;
        else if (!quoted && c == QLatin1Char(')'))
            --depth;
        else if (!quoted && depth == 0 && c == QLatin1Char(',')) {
            items << list.mid(start, i - start);
            start = i + 1;
        }
    }
    return items << list.mid(start);
}

// SQLite's INTEGER holds 64 bits, the server's 32. These integer columns
// hold a send run's token and a batch's key and are BIGINT on the server;
// the others (flags, counts, contact and message keys) are INTEGER there too.
bool wideOnServer(const QString &table, const QString &column)
{
    static const QSet<QString> wide{QStringLiteral("smssend.inflight"), QStringLiteral("smssend.batchid")};
    return wide.contains((table + QLatin1Char('.') + column).toLower());
}

// One column's definition as the server spells it: a key SQLite numbers
// itself is an identity column of 64 bits, any other INTEGER PRIMARY KEY a
// BIGINT, and dates and times are the same text the file holds.
QString serverColumn(const QString &table, const QString &definition)
{
    static const QRegularExpression parts(QStringLiteral("^(\\s*(\\w+)\\s+)(\\w+)"));
    static const QRegularExpression numberedKey(QStringLiteral("^\\s+PRIMARY\\s+KEY\\s+AUTOINCREMENT\\b"),
                                                CaseInsensitive);
    static const QRegularExpression key(QStringLiteral("^\\s+PRIMARY\\s+KEY\\b"), CaseInsensitive);
    const QRegularExpressionMatch match = parts.match(definition);
    if (!match.hasMatch())
        return definition;
    const QString type = match.captured(3).toUpper();
    QString serverType = match.captured(3);
    QString rest = definition.mid(match.capturedEnd());
    if (type == QLatin1String("INTEGER")) {
        if (const QRegularExpressionMatch numbered = numberedKey.match(rest); numbered.hasMatch()) {
            serverType = QStringLiteral("BIGINT GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY");
            rest = rest.mid(numbered.capturedEnd());
        } else if (key.match(rest).hasMatch() || wideOnServer(table, match.captured(2))) {
            serverType = QStringLiteral("BIGINT");
        }
    } else if (type == QLatin1String("DATE") || type == QLatin1String("DATETIME")) {
        serverType = QStringLiteral("TEXT");
    }
    return match.captured(1) + serverType + rest;
}

// A statement that makes part of the schema, as the server spells it. A view
// is made again with each upgrade there, and a name term of an index keeps
// its NULLs first, as the file's index does.
QString serverDefinition(const QString &sql)
{
    static const QRegularExpression createTable(
        QStringLiteral("^\\s*CREATE\\s+(?:TEMP(?:ORARY)?\\s+)?TABLE\\s+(?:IF\\s+NOT\\s+EXISTS\\s+)?(\\w+)\\s*\\("),
        CaseInsensitive);
    static const QRegularExpression addColumn(QStringLiteral("^\\s*ALTER\\s+TABLE\\s+(\\w+)\\s+ADD\\s+COLUMN\\s+"),
                                              CaseInsensitive);
    static const QRegularExpression createView(QStringLiteral("^\\s*CREATE\\s+VIEW\\s+IF\\s+NOT\\s+EXISTS\\b"),
                                               CaseInsensitive);
    static const QRegularExpression createIndex(
        QStringLiteral("^\\s*CREATE\\s+(?:UNIQUE\\s+)?INDEX\\b[^(]*\\bON\\s+\\w+\\s*\\("), CaseInsensitive);
    if (const QRegularExpressionMatch table = createTable.match(sql); table.hasMatch()) {
        const qsizetype open = table.capturedEnd() - 1;
        const qsizetype close = closingBracket(sql, open);
        if (close < 0)
            return sql;
        QStringList columns = itemsOf(sql.mid(open + 1, close - open - 1));
        for (QString &column : columns)
            column = serverColumn(table.captured(1), column);
        return sql.left(open + 1) + columns.join(QLatin1Char(',')) + sql.mid(close);
    }
    if (const QRegularExpressionMatch alter = addColumn.match(sql); alter.hasMatch())
        return sql.left(alter.capturedEnd()) + serverColumn(alter.captured(1), sql.mid(alter.capturedEnd()));
    if (const QRegularExpressionMatch view = createView.match(sql); view.hasMatch())
        return QStringLiteral("CREATE OR REPLACE VIEW") + sql.mid(view.capturedEnd());
    if (const QRegularExpressionMatch index = createIndex.match(sql); index.hasMatch()) {
        const qsizetype open = index.capturedEnd() - 1;
        const qsizetype close = closingBracket(sql, open);
        if (close < 0)
            return sql;
        return sql.left(open) + nullsAsSQLite(sql.mid(open, close - open)) + sql.mid(close);
    }
    return sql;
}

// Splits a script at semicolons outside quotes, comments and $$ bodies;
// comments are kept when asked for.
QStringList split(const QString &script, bool keepComments)
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
            const qsizetype end = script.indexOf(QLatin1Char('\n'), i);
            const qsizetype length = (end < 0 ? script.size() : end) - i;
            if (keepComments)
                current += QStringView(script).mid(i, length);
            current += QLatin1Char('\n');
            i += length;
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

} // namespace

QStringList statementsFor(const QString &script, Engine engine)
{
    static const QRegularExpression engineLine(QStringLiteral("^\\s*--\\s*engine:\\s*(\\w+)\\s*$"),
                                               QRegularExpression::MultilineOption);
    QStringList statements;
    for (const QString &written : split(script, true)) {
        const QRegularExpressionMatch only = engineLine.match(written);
        if (only.hasMatch()
            && only.captured(1).compare(engine == Engine::SQLite ? QLatin1String("SQLite")
                                                                 : QLatin1String("PostgreSQL"),
                                        Qt::CaseInsensitive)
                   != 0)
            continue;
        const QStringList bare = split(written, false);
        if (bare.isEmpty())
            continue; // comments alone
        if (engine == Engine::PostgreSQL) {
            statements << serverDialect(bare.first());
            continue;
        }
        // The file keeps a table's text as it is written, comments and all;
        // one that ends in a comment still ends before the semicolon put after it.
        const bool endsInComment = written.section(QLatin1Char('\n'), -1).trimmed().startsWith(QLatin1String("--"));
        statements << (endsInComment ? written + QLatin1Char('\n') : written);
    }
    return statements;
}

QString serverDialect(const QString &sql)
{
    // Setup's one row has no key of its own: its place in the table stands in.
    static const QRegularExpression rowid(QStringLiteral("\\browid\\b"), CaseInsensitive);
    static const QRegularExpression instr(QStringLiteral("\\binstr\\s*\\("), CaseInsensitive);
    QString result = serverDefinition(sql);
    result.replace(rowid, QStringLiteral("ctid"));
    result.replace(instr, QStringLiteral("strpos("));
    // INSERT OR IGNORE / OR REPLACE: PostgreSQL's ON CONFLICT, before any
    // RETURNING. A replace takes the first column listed as the key.
    static const QRegularExpression insertOr(
        QStringLiteral("^\\s*INSERT\\s+OR\\s+(IGNORE|REPLACE)\\s+INTO\\s+(\\w+)\\s*\\(([^)]*)\\)"), CaseInsensitive);
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
        static const QRegularExpression returning(QStringLiteral("\\s+RETURNING\\s+"), CaseInsensitive);
        const QRegularExpressionMatch tail = returning.match(result);
        if (tail.hasMatch())
            result.insert(tail.capturedStart(), conflict);
        else
            result += conflict;
    }
    return nullsAsSQLiteOrders(result);
}

QString dialect(const QString &sql)
{
    if (engine() == Engine::SQLite)
        return sql;
    static QHash<QString, QString> translated;
    if (const auto found = translated.constFind(sql); found != translated.cend())
        return *found;
    const QString result = serverDialect(sql);
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
