#include "contacts/ContactExport.h"

#include "data/AppError.h"
#include "data/Database.h"
#include "data/modFunctions.h"

#include <QFile>
#include <QSaveFile>
#include <QSqlError>
#include <QSqlQuery>

namespace ContactExport {

namespace {

// The platform's number for a file that cannot be written.
constexpr qint64 ErrorFileAccess = 75;

AppError fileError(const QString &path, const QString &reason)
{
    return AppError(ErrorFileAccess, QStringLiteral("The file '%1' cannot be written: %2").arg(path, reason),
                    QStringLiteral("ContactExport"));
}

// A spreadsheet opening the file takes a field that begins with "=", "@", a
// tab or a carriage return for a formula, and one that begins with "+" or "-"
// as well unless a digit follows ("+27821234567" and "-5" stay numbers).
bool readAsFormula(const QString &value)
{
    if (value.isEmpty())
        return false;
    const QChar first = value.front();
    if (first == u'=' || first == u'@' || first == u'\t' || first == u'\r')
        return true;
    if (first != u'+' && first != u'-')
        return false;
    return value.size() < 2 || value.at(1) < u'0' || value.at(1) > u'9';
}

void appendField(QString &text, const QString &value)
{
    text += QLatin1Char('"');
    const QString trimmed = modFunctions::TrimBlanks(value);
    // A single quote before such a field makes it plain text.
    if (readAsFormula(trimmed))
        text += QLatin1Char('\'');
    if (trimmed.contains(QLatin1Char('"')))
        text += QString(trimmed).replace(QLatin1Char('"'), QStringLiteral("\"\""));
    else
        text += trimmed;
    text += QLatin1Char('"');
}

} // namespace

const QStringList &columns()
{
    static const QStringList names = {
        QStringLiteral("LastName"),      QStringLiteral("FirstName"),  QStringLiteral("AssNo"),
        QStringLiteral("Initials"),      QStringLiteral("Salute"),     QStringLiteral("Company"),
        QStringLiteral("EnrollerAssNo"), QStringLiteral("Address1"),   QStringLiteral("Address2"),
        QStringLiteral("Address3"),      QStringLiteral("PostalCode"), QStringLiteral("TelWork"),
        QStringLiteral("TelHome"),       QStringLiteral("Fax"),        QStringLiteral("Mobile"),
        QStringLiteral("EMail"),
    };
    return names;
}

QByteArray line(const QStringList &values)
{
    QString text;
    text.reserve(256);
    for (qsizetype i = 0; i < values.size(); ++i) {
        if (i > 0)
            text += QLatin1Char(',');
        appendField(text, values.at(i));
    }
    text += QStringLiteral("\r\n");
    return text.toUtf8();
}

qint64 exportTo(const QString &path, qint64 groupId, const Progress &progress)
{
    const QString fields = columns().join(QStringLiteral(", "));
    const QString order = QStringLiteral(" ORDER BY LastName COLLATE Names, FirstName COLLATE Names, ClientID");
    QSqlQuery query =
        groupId == 0 ? Database::run(QStringLiteral("SELECT ") + fields + QStringLiteral(" FROM Clients") + order)
                     : Database::run(QStringLiteral("SELECT ") + fields
                                         + QStringLiteral(" FROM ClientsBelongingToGroups WHERE GroupID = ?") + order,
                                     {groupId});

    if (!query.next()) {
        if (QFile::exists(path) && !QFile::remove(path))
            throw fileError(path, QStringLiteral("the old file cannot be removed."));
        return 0;
    }

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw fileError(path, file.errorString());
    const qsizetype columnCount = columns().size();
    QStringList values;
    values.reserve(columnCount);
    QByteArray pending;
    constexpr qsizetype FlushAt = 1 << 20;
    qint64 count = 0;
    do {
        values.clear();
        for (int i = 0; i < int(columnCount); ++i)
            values.append(query.value(i).toString());
        pending += line(values);
        ++count;
        if (pending.size() >= FlushAt) {
            if (file.write(pending) != pending.size())
                throw fileError(path, file.errorString());
            pending.clear();
        }
        if (progress)
            progress(count);
    } while (query.next());
    if (query.lastError().isValid())
        throw Database::errorFrom(query.lastError());
    if (file.write(pending) != pending.size() || !file.commit())
        throw fileError(path, file.errorString());
    return count;
}

} // namespace ContactExport
