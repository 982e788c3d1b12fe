#include "data/Clock.h"

namespace CampaignClock {

namespace {
std::function<QDateTime()> &clock()
{
    static std::function<QDateTime()> set;
    return set;
}
} // namespace

QDateTime now()
{
    return clock() ? clock()() : QDateTime::currentDateTime();
}

QDateTime nowUtc()
{
    return clock() ? clock()().toUTC() : QDateTime::currentDateTimeUtc();
}

void set(std::function<QDateTime()> function)
{
    clock() = std::move(function);
}

} // namespace CampaignClock
