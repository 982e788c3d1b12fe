#include "campaigns/OperatorTime.h"

#include "campaigns/Clock.h"
#include "data/AppError.h"
#include "settings/SetupStore.h"
#include "settings/cRegistry.h"

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

QTimeZone OperatorTime::zoneNamed(const QString &id)
{
    const QByteArray name = id.trimmed().toUtf8();
    if (name.isEmpty())
        return QTimeZone(DefaultZoneId);
    const QTimeZone zone(name);
    if (!zone.isValid())
        throw AppError(cRegistry::ErrorKey,
                       QStringLiteral("\"%1\" is no time zone this computer knows (the setting \"%2\" under %3). "
                                      "Use a name such as Africa/Johannesburg or Europe/London.")
                           .arg(id.trimmed(), SetupStore::OperatorTimeZoneValue, SetupStore::SettingsKey),
                       QStringLiteral("OperatorTime"));
    return zone;
}

QTimeZone OperatorTime::storedZone()
{
    return zoneNamed(SetupStore::readSetting(SetupStore::OperatorTimeZoneValue));
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
