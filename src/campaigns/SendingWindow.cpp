#include "campaigns/SendingWindow.h"

#include "data/Database.h"

#include <QSqlQuery>

namespace {

struct Hours
{
    QTime from;
    QTime to;
};

} // namespace

SendingWindow::SendingWindow(QSet<QDate> holidays) : m_holidays(std::move(holidays)) {}

SendingWindow SendingWindow::fromDatabase()
{
    QSet<QDate> days;
    QSqlQuery query = Database::run(QStringLiteral("SELECT HolidayDate FROM PublicHolidays"));
    while (query.next()) {
        const QDate day = QDate::fromString(query.value(0).toString().left(10), Qt::ISODate);
        if (day.isValid())
            days.insert(day);
    }
    return SendingWindow(std::move(days));
}

bool SendingWindow::isHoliday(QDate day) const
{
    if (m_holidays.contains(day))
        return true;
    return day.dayOfWeek() == Qt::Monday && m_holidays.contains(day.addDays(-1));
}

namespace {

std::optional<Hours> hoursOf(const SendingWindow &window, QDate day)
{
    if (day.dayOfWeek() == Qt::Sunday || window.isHoliday(day))
        return std::nullopt;
    if (day.dayOfWeek() == Qt::Saturday)
        return Hours{QTime(9, 0), QTime(13, 0)};
    return Hours{QTime(8, 0), QTime(20, 0)};
}

} // namespace

bool SendingWindow::isOpen(const QDateTime &at) const
{
    const QDateTime local = at.toLocalTime();
    const std::optional<Hours> hours = hoursOf(*this, local.date());
    return hours && local.time() >= hours->from && local.time() < hours->to;
}

QDateTime SendingWindow::nextOpening(const QDateTime &at) const
{
    const QDateTime local = at.toLocalTime();
    if (isOpen(local))
        return local;
    for (int ahead = 0; ahead < 400; ++ahead) {
        const QDate day = local.date().addDays(ahead);
        const std::optional<Hours> hours = hoursOf(*this, day);
        if (!hours)
            continue;
        const QDateTime opens(day, hours->from);
        if (opens >= local)
            return opens;
    }
    return {};
}

namespace Marketing {

QString withFooter(const QString &body, const QString &senderName)
{
    const QString name = senderName.trimmed();
    return body + QLatin1Char('\n') + (name.isEmpty() ? StopText : name + QStringLiteral(": ") + StopText);
}

QString senderName()
{
    return Database::value(QStringLiteral("SELECT SenderName FROM Setup LIMIT 1")).toString().trimmed();
}

} // namespace Marketing

namespace CampaignSettings {

QString holidaysText()
{
    QStringList lines;
    QSqlQuery query =
        Database::run(QStringLiteral("SELECT HolidayDate, Name FROM PublicHolidays ORDER BY HolidayDate"));
    while (query.next())
        lines << (query.value(0).toString() + QLatin1Char(' ') + query.value(1).toString()).trimmed();
    return lines.join(QLatin1Char('\n'));
}

void saveHolidays(const QString &text)
{
    QList<QPair<QString, QString>> days;
    int lineNumber = 0;
    for (const QString &raw : text.split(QLatin1Char('\n'))) {
        ++lineNumber;
        const QString line = raw.trimmed();
        if (line.isEmpty())
            continue;
        const QDate day = QDate::fromString(line.section(QLatin1Char(' '), 0, 0), QStringLiteral("yyyy-MM-dd"));
        if (!day.isValid())
            throw AppError(3101, QStringLiteral("Line %1 does not start with a date written as yyyy-MM-dd: %2")
                                     .arg(lineNumber)
                                     .arg(line));
        days.append({day.toString(Qt::ISODate), line.section(QLatin1Char(' '), 1).trimmed()});
    }
    Database::Transaction transaction;
    Database::run(QStringLiteral("DELETE FROM PublicHolidays"));
    for (const auto &[day, name] : days)
        Database::run(QStringLiteral("INSERT OR REPLACE INTO PublicHolidays (HolidayDate, Name) VALUES (?, ?)"),
                      {day, name});
    transaction.commit();
}

void saveSenderName(const QString &name)
{
    Database::run(QStringLiteral("UPDATE Setup SET SenderName = ?"), {name.trimmed()});
}

} // namespace CampaignSettings
