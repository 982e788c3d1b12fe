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

void set(std::function<QDateTime()> function)
{
    clock() = std::move(function);
}

} // namespace CampaignClock
