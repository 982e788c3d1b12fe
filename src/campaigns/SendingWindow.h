#pragma once

#include "campaigns/Holidays.h"
#include "data/OperatorTime.h"

#include <QDate>
#include <QDateTime>
#include <QString>

// When marketing messages may be posted: never on a Sunday or a public
// holiday, Saturdays 09:00 to 13:00, other days 08:00 to 20:00 (the office's
// time; the end is not included).
class SendingWindow
{
public:
    explicit SendingWindow(HolidayCalendar holidays, OperatorTime time = OperatorTime::current());
    // With the holidays of the PublicHolidays table.
    static SendingWindow fromDatabase();

    bool isHoliday(QDate day) const { return m_holidays.isHoliday(day); }
    bool isOpen(const QDateTime &at) const;
    // The next moment the window is open, at or after `at`, in the office's time.
    QDateTime nextOpening(const QDateTime &at) const;

private:
    HolidayCalendar m_holidays;
    OperatorTime m_time;
};

// The text a marketing message ends with: who it is from and how to stop
// further messages.
namespace Marketing {

inline const QString StopText = QStringLiteral("Reply STOP to opt out");

// The body with the sender's name and the stop text appended.
QString withFooter(const QString &body, const QString &senderName);
// Setup.SenderName.
QString senderName();

} // namespace Marketing

// The editable holiday table and sender name as text for the settings window.
namespace CampaignSettings {

// The table, one day a line in date order: "yyyy-MM-dd name" adds a holiday,
// "yyyy-MM-dd not a holiday (name)" takes a counted one off.
QString holidaysText();
// Every holiday the program counts in `years` years from `firstYear`,
// "yyyy-MM-dd name" a line.
QString countedHolidaysText(int firstYear, int years);
// Replaces the table with the lines of `text` (blank lines passed over; of
// two lines for one day the later counts). A line without a valid date, or
// one that takes off a day that is no holiday, throws AppError naming it;
// nothing is changed.
void saveHolidays(const QString &text);
void saveSenderName(const QString &name);

} // namespace CampaignSettings
