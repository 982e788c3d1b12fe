#include "campaigns/SendingWindow.h"

#include "data/Database.h"

#include <QMap>
#include <QSqlQuery>
#include <QStringList>

namespace {

struct Hours
{
    QTime from;
    QTime to;
};

} // namespace

SendingWindow::SendingWindow(HolidayCalendar holidays, OperatorTime time)
    : m_holidays(std::move(holidays)), m_time(std::move(time))
{}

SendingWindow SendingWindow::fromDatabase()
{
    return SendingWindow(HolidayCalendar::fromDatabase());
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
    const QDateTime local = m_time.local(at);
    const std::optional<Hours> hours = hoursOf(*this, local.date());
    return hours && local.time() >= hours->from && local.time() < hours->to;
}

QDateTime SendingWindow::nextOpening(const QDateTime &at) const
{
    const QDateTime local = m_time.local(at);
    if (isOpen(local))
        return local;
    for (int ahead = 0; ahead < 400; ++ahead) {
        const QDate day = local.date().addDays(ahead);
        const std::optional<Hours> hours = hoursOf(*this, day);
        if (!hours)
            continue;
        const QDateTime opens = m_time.instant(day, hours->from);
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

namespace {
// After a date, a line that takes a counted holiday off.
const QString NotAHoliday = QStringLiteral("not a holiday");
constexpr qint64 ErrorHolidayLine = 3101;
} // namespace

QString holidaysText()
{
    QStringList lines;
    QSqlQuery query =
        Database::run(QStringLiteral("SELECT HolidayDate, Name, IsHoliday FROM PublicHolidays ORDER BY HolidayDate"));
    while (query.next()) {
        const QString day = query.value(0).toString();
        const QString name = query.value(1).toString().trimmed();
        if (query.value(2).toInt() != 0)
            lines << (day + QLatin1Char(' ') + name).trimmed();
        else
            lines << day + QLatin1Char(' ') + NotAHoliday
                         + (name.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(name));
    }
    return lines.join(QLatin1Char('\n'));
}

QString countedHolidaysText(int firstYear, int years)
{
    const HolidayCalendar calendar = HolidayCalendar::fromDatabase();
    QStringList lines;
    for (int year = firstYear; year < firstYear + years; ++year)
        for (const HolidayCalendar::Day &day : calendar.ofYear(year))
            lines << day.date.toString(Qt::ISODate) + QLatin1Char(' ') + day.name;
    return lines.join(QLatin1Char('\n'));
}

void saveHolidays(const QString &text)
{
    struct Line
    {
        int number;
        QString text, name;
    };
    // By date: a later line for the same day replaces an earlier one.
    QMap<QDate, Line> added, removed;
    int lineNumber = 0;
    for (const QString &raw : text.split(QLatin1Char('\n'))) {
        ++lineNumber;
        const QString line = raw.trimmed();
        if (line.isEmpty())
            continue;
        const QDate day = QDate::fromString(line.section(QLatin1Char(' '), 0, 0), QStringLiteral("yyyy-MM-dd"));
        if (!day.isValid())
            throw AppError(ErrorHolidayLine,
                           QStringLiteral("Line %1 does not start with a date written as yyyy-MM-dd: %2")
                               .arg(lineNumber)
                               .arg(line));
        const QString rest = line.section(QLatin1Char(' '), 1).trimmed();
        const bool takesOff = rest.startsWith(NotAHoliday, Qt::CaseInsensitive);
        (takesOff ? removed : added).insert(day, {lineNumber, line, rest});
        (takesOff ? added : removed).remove(day);
    }
    // A day is taken off by the name the rules give it, so that the list
    // says which holiday it was.
    QHash<QDate, QString> addedNames;
    for (auto it = added.cbegin(); it != added.cend(); ++it)
        addedNames.insert(it.key(), it->name);
    const HolidayCalendar counted(addedNames, {});
    for (auto it = removed.begin(); it != removed.end(); ++it) {
        it->name = counted.nameOf(it.key());
        if (it->name.isEmpty())
            throw AppError(ErrorHolidayLine,
                           QStringLiteral("Line %1 takes off a day that is no public holiday the program counts: %2")
                               .arg(it->number)
                               .arg(it->text));
    }
    Database::Transaction transaction;
    Database::run(QStringLiteral("DELETE FROM PublicHolidays"));
    Database::Statement insert(
        QStringLiteral("INSERT INTO PublicHolidays (HolidayDate, Name, IsHoliday) VALUES (?, ?, ?)"));
    for (const auto &[rows, isHoliday] : {std::pair{&added, 1}, std::pair{&removed, 0}})
        for (auto it = rows->cbegin(); it != rows->cend(); ++it)
            if (insert.run({it.key().toString(Qt::ISODate), it->name, isHoliday}).numRowsAffected() != 1)
                throw AppError(ErrorHolidayLine,
                               QStringLiteral("Line %1 could not be stored: %2").arg(it->number).arg(it->text));
    transaction.commit();
}

void saveSenderName(const QString &name)
{
    Database::run(QStringLiteral("UPDATE Setup SET SenderName = ?"), {name.trimmed()});
}

} // namespace CampaignSettings
