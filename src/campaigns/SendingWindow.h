#pragma once

#include <QDate>
#include <QDateTime>
#include <QSet>
#include <QString>

// When marketing messages may be posted: never on a Sunday or a public
// holiday (a holiday on a Sunday makes the Monday after it one too),
// Saturdays 09:00 to 13:00, other days 08:00 to 20:00 (local time; the end
// is not included).
class SendingWindow
{
public:
    // With the holidays given (tests, the holiday editor).
    explicit SendingWindow(QSet<QDate> holidays);
    // With the holidays of the PublicHolidays table.
    static SendingWindow fromDatabase();

    bool isHoliday(QDate day) const;
    bool isOpen(const QDateTime &at) const;
    // The next moment the window is open, at or after `at`.
    QDateTime nextOpening(const QDateTime &at) const;

private:
    QSet<QDate> m_holidays;
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

// One holiday a line: "yyyy-MM-dd name", in date order.
QString holidaysText();
// Replaces the table with the lines of `text` (blank lines passed over).
// A line without a valid date throws AppError naming it; nothing is changed.
void saveHolidays(const QString &text);
void saveSenderName(const QString &name);

} // namespace CampaignSettings
