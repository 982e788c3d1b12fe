#pragma once

#include <QDate>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

// South Africa's public holidays: the days the Public Holidays Act (Act 36 of
// 1994) names, Good Friday and Family Day from the Western Easter date, and
// the Monday after any of them that falls on a Sunday; with the office's own
// table adding one-off days (election days, declared holidays) and taking
// days off.
class HolidayCalendar
{
public:
    struct Day
    {
        QDate date;
        QString name;
        bool operator==(const Day &) const = default;
    };

    // The Act's days only.
    HolidayCalendar() = default;
    // Added days with their names; taken-off days are no holiday, nor do they
    // make the Monday after them one.
    HolidayCalendar(QHash<QDate, QString> added, QSet<QDate> removed);
    // With the PublicHolidays table.
    static HolidayCalendar fromDatabase();

    // Easter Sunday of a Gregorian year.
    static QDate easterSunday(int year);
    // The name the Act gives a day; empty when it gives none (the Mondays
    // after Sunday holidays are not among them).
    static QString actName(QDate day);

    bool isHoliday(QDate day) const { return !nameOf(day).isEmpty(); }
    // The holiday's name; empty when the day is no holiday.
    QString nameOf(QDate day) const;
    // Every holiday of a year, in date order.
    QList<Day> ofYear(int year) const;

private:
    QString listedName(QDate day) const;

    QHash<QDate, QString> m_added;
    QSet<QDate> m_removed;
};
