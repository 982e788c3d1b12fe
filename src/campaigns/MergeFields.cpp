#include "campaigns/MergeFields.h"

#include "data/Database.h"

#include <QRegularExpression>
#include <QSqlQuery>
#include <QSqlRecord>

namespace MergeFields {

namespace {

const QRegularExpression &fieldPattern()
{
    static const QRegularExpression pattern(QStringLiteral("\\{([A-Za-z][A-Za-z0-9]*)(?:\\|([^{}]*))?\\}"));
    return pattern;
}

} // namespace

bool hasFields(const QString &body)
{
    return body.contains(QLatin1Char('{')) && fieldPattern().match(body).hasMatch();
}

Resolved resolve(const QString &body, const QHash<QString, QString> &values)
{
    Resolved result;
    qsizetype last = 0;
    QRegularExpressionMatchIterator it = fieldPattern().globalMatch(body);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        result.text += body.mid(last, match.capturedStart() - last);
        last = match.capturedEnd();
        const QString value = values.value(match.captured(1).toLower()).trimmed();
        if (!value.isEmpty()) {
            result.text += value;
        } else if (match.capturedLength(2) > 0 || match.captured(0).contains(QLatin1Char('|'))) {
            result.text += match.captured(2);
        } else {
            result.text += match.captured(0);
            result.unresolved << match.captured(0);
        }
    }
    result.text += body.mid(last);
    return result;
}

QHash<QString, QString> contactValues(qint64 clientId)
{
    QHash<QString, QString> values;
    if (clientId <= 0)
        return values;
    QSqlQuery query = Database::run(QStringLiteral("SELECT * FROM Clients WHERE ClientID = ?"), {clientId});
    if (query.next()) {
        const QSqlRecord record = query.record();
        for (int i = 0; i < record.count(); ++i)
            values.insert(record.fieldName(i).toLower(), query.value(i).toString());
    }
    return values;
}

} // namespace MergeFields

UnresolvedField::UnresolvedField(const QString &fields, const QString &addressee)
    : NothingQueued(3100, QStringLiteral("%1 has no value for %2 and no fallback (write it as {Field|fallback}). "
                                         "Nothing was queued.")
                              .arg(fields, addressee))
{}
