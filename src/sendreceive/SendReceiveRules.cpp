#include "sendreceive/SendReceiveRules.h"

#include "data/Database.h"
#include "data/modFunctions.h"
#include "gateway/GatewayAnswers.h"

#include <QLocale>

namespace SendReceive {

QString logLine(const QDateTime &at, const QString &event)
{
    return at.toString(QStringLiteral("dd/MM/yyyy")) + QLatin1Char('-') + at.toString(QStringLiteral("HH:mm"))
           + QStringLiteral(" - ") + event;
}

QString leftText(qint64 left, qint64 batch)
{
    return QStringLiteral("%1 / %2").arg(left).arg(batch);
}

QString sentDateText(const QVariant &date)
{
    const QString text = date.toString();
    const QDate day = QDate::fromString(text.left(10), Qt::ISODate);
    if (!day.isValid())
        return text;
    // Month names in English whatever the desktop's language, like the day and year.
    return QLocale::c().toString(day, QStringLiteral("dd/MMM/yyyy"));
}

QString sentTimeText(const QVariant &time)
{
    const QString text = modFunctions::TrimBlanks(time.toString());
    // A time alone ("09:05", "09:05:00") or after a date ("2026-12-06 09:05:00").
    const QString clock = text.size() > 10 && text.at(10) != QLatin1Char(':') ? text.mid(11) : text;
    for (const char *format : {"HH:mm:ss", "HH:mm", "H:mm:ss", "H:mm"}) {
        const QTime read = QTime::fromString(clock, QString::fromLatin1(format));
        if (read.isValid())
            return read.toString(QStringLiteral("HH:mm"));
    }
    return text;
}

QString contactNameFor(const QString &smsSendId)
{
    const std::optional<qint64> key = GatewayAnswers::wholeKey(modFunctions::LeadingNumber(smsSendId));
    if (!key)
        return {};
    const QVariant name =
        Database::value(QStringLiteral("SELECT ClientName FROM ListSMSandClients WHERE SMSSendID = ?"), {*key});
    return modFunctions::TrimBlanks(name.toString());
}

} // namespace SendReceive
