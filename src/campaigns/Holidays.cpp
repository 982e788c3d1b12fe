#include "campaigns/Holidays.h"

#include "data/Database.h"

#include <QSqlQuery>

namespace {

struct Fixed
{
    int month;
    int day;
    const char *name;
};

constexpr Fixed FixedDays[] = {
    {1, 1, "New Year's Day"},  {3, 21, "Human Rights Day"},
    {4, 27, "Freedom Day"},    {5, 1, "Workers' Day"},
    {6, 16, "Youth Day"},      {8, 9, "National Women's Day"},
    {9, 24, "Heritage Day"},   {12, 16, "Day of Reconciliation"},
    {12, 25, "Christmas Day"}, {12, 26, "Day of Goodwill"},
};

// The Act took effect with 1995; earlier years had other holidays.
constexpr int FirstYear = 1995;

const QString UnnamedHoliday = QStringLiteral("Public holiday");

} // namespace

HolidayCalendar::HolidayCalendar(QHash<QDate, QString> added, QSet<QDate> removed)
    : m_added(std::move(added)), m_removed(std::move(removed))
{}

HolidayCalendar HolidayCalendar::fromDatabase()
{
    QHash<QDate, QString> added;
    QSet<QDate> removed;
    QSqlQuery query = Database::run(QStringLiteral("SELECT HolidayDate, Name, IsHoliday FROM PublicHolidays"));
    while (query.next()) {
        const QDate day = QDate::fromString(query.value(0).toString().left(10), Qt::ISODate);
        if (!day.isValid())
            continue;
        if (query.value(2).toInt() != 0)
            added.insert(day, query.value(1).toString().trimmed());
        else
            removed.insert(day);
    }
    return HolidayCalendar(std::move(added), std::move(removed));
}

QDate HolidayCalendar::easterSunday(int year)
{
    // The Gregorian computus (Meeus, Jones and Butcher).
    const int a = year % 19;
    const int b = year / 100;
    const int c = year % 100;
    const int d = b / 4;
    const int e = b % 4;
    const int f = (b + 8) / 25;
    const int g = (b - f + 1) / 3;
    const int h = (19 * a + b - d - g + 15) % 30;
    const int i = c / 4;
    const int k = c % 4;
    const int l = (32 + 2 * e + 2 * i - h - k) % 7;
    const int m = (a + 11 * h + 22 * l) / 451;
    const int month = (h + l - 7 * m + 114) / 31;
    const int day = (h + l - 7 * m + 114) % 31 + 1;
    return QDate(year, month, day);
}

QString HolidayCalendar::actName(QDate day)
{
    if (!day.isValid() || day.year() < FirstYear)
        return {};
    for (const Fixed &fixed : FixedDays)
        if (day.month() == fixed.month && day.day() == fixed.day)
            return QString::fromUtf8(fixed.name);
    const qint64 fromEaster = easterSunday(day.year()).daysTo(day);
    if (fromEaster == -2)
        return QStringLiteral("Good Friday");
    if (fromEaster == 1)
        return QStringLiteral("Family Day");
    return {};
}

QString HolidayCalendar::listedName(QDate day) const
{
    if (m_removed.contains(day))
        return {};
    if (const auto added = m_added.constFind(day); added != m_added.cend())
        return added->isEmpty() ? UnnamedHoliday : *added;
    return actName(day);
}

QString HolidayCalendar::nameOf(QDate day) const
{
    if (m_removed.contains(day))
        return {};
    if (QString name = listedName(day); !name.isEmpty())
        return name;
    if (day.dayOfWeek() == Qt::Monday) {
        if (const QString sunday = listedName(day.addDays(-1)); !sunday.isEmpty())
            return sunday + QStringLiteral(" observed");
    }
    return {};
}

QList<HolidayCalendar::Day> HolidayCalendar::ofYear(int year) const
{
    QList<Day> days;
    for (QDate day(year, 1, 1); day.year() == year; day = day.addDays(1))
        if (QString name = nameOf(day); !name.isEmpty())
            days.append({day, name});
    return days;
}
