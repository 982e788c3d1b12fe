#pragma once

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QTime>
#include <QTimeZone>

// The office's clock: the zone whose hours and days the marketing rules, the
// schedule's texts, the Send-at time and the reports go by, whatever zone the
// machine's own clock is set to. South African time unless the setting
// "OperatorTimeZone" names another zone (SetupStore::operatorTimeZone()).
class OperatorTime
{
public:
    static inline const QByteArray DefaultZoneId = QByteArrayLiteral("Africa/Johannesburg");

    explicit OperatorTime(QTimeZone zone);

    // The zone the program runs by: the default until start-up (or a saved
    // setting) sets another.
    static OperatorTime current();
    static void setCurrent(const QTimeZone &zone);

    QTimeZone zone() const { return m_zone; }
    // The campaign clock's time, in the zone.
    QDateTime now() const;
    // The same instant as the office's clock shows it.
    QDateTime local(const QDateTime &at) const;
    // The instant the office's clock shows `time` on `day`.
    QDateTime instant(QDate day, QTime time) const;
    // The office's date at an instant.
    QDate dateOf(const QDateTime &at) const { return local(at).date(); }

private:
    QTimeZone m_zone;
};
