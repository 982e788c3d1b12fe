#include "data/OperatorTime.h"

#include "data/AppError.h"
#include "data/Clock.h"

namespace {

QTimeZone &currentZone()
{
    static QTimeZone zone(OperatorTime::DefaultZoneId);
    return zone;
}

} // namespace

OperatorTime::OperatorTime(QTimeZone zone) : m_zone(std::move(zone)) {}

OperatorTime OperatorTime::current()
{
    return OperatorTime(currentZone());
}

void OperatorTime::setCurrent(const QTimeZone &zone)
{
    currentZone() = zone;
}

QDateTime OperatorTime::now() const
{
    return local(CampaignClock::now());
}

QDateTime OperatorTime::local(const QDateTime &at) const
{
    return at.toTimeZone(m_zone);
}

QDateTime OperatorTime::instant(QDate day, QTime time) const
{
    return QDateTime(day, time, m_zone);
}
