#include "data/Database.h"
#include "data/DatabaseInternal.h"

#include <QRegularExpression>
#include <QSqlError>
#include <QStringList>

#include <sqlite3.h>

namespace Database {

AppError engineError(sqlite3 *handle, int code, const QString &sql)
{
    const QSqlError error(QString(), QString::fromUtf16(static_cast<const char16_t *>(sqlite3_errmsg16(handle))),
                          QSqlError::StatementError, QString::number(code));
    return errorFrom(error, sql);
}

AppError errorFrom(const QSqlError &error, const QString &context)
{
    bool numeric = false;
    qint64 number = error.nativeErrorCode().toLongLong(&numeric);
    if (!numeric || number == 0)
        number = ErrorGeneral;
    QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    if (text.isEmpty())
        text = QStringLiteral("Unknown database error");
    // PostgreSQL's texts begin with their severity and may end in a line break.
    static const QRegularExpression severity(QStringLiteral("^(ERROR|FATAL|PANIC):\\s+"));
    text = text.remove(severity).trimmed();
    // ... and are followed by where in the server it was raised, and the code.
    static const QRegularExpression serverTail(QStringLiteral("\\n(CONTEXT:.*|\\([0-9A-Z]{5}\\))$"),
                                               QRegularExpression::DotMatchesEverythingOption);
    text = text.remove(serverTail).trimmed();
    Q_UNUSED(context);
    // PostgreSQL's code is its five-character SQLSTATE ("23505", "P0001");
    // SQLite's result codes stay below 10000.
    static const QRegularExpression sqlState(QStringLiteral("^[0-9A-Z]{5}$"));
    const QString state = sqlState.match(error.nativeErrorCode()).hasMatch() ? error.nativeErrorCode() : QString();
    return AppError(number, text, QStringLiteral("Database"), state);
}

bool refusesTheRow(const AppError &error)
{
    if (error.source() != QStringLiteral("Database"))
        return false;
    if (!error.state().isEmpty()) {
        // Integrity constraints; a value too long, out of range or not of
        // the column's kind; a trigger's own exception.
        static const QStringList valueStates{QStringLiteral("22001"), QStringLiteral("22003"), QStringLiteral("22007"),
                                             QStringLiteral("22008"), QStringLiteral("22P02"), QStringLiteral("P0001")};
        return error.state().startsWith(QLatin1String("23")) || valueStates.contains(error.state());
    }
    // SQLite's result codes: SQLITE_TOOBIG, SQLITE_CONSTRAINT (a trigger's
    // RAISE included), SQLITE_MISMATCH. Extended codes carry the primary code
    // in their low byte.
    const qint64 primary = error.number() & 0xff;
    return primary == 18 || primary == 19 || primary == 20;
}

} // namespace Database
