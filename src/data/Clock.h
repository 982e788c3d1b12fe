#pragma once

#include <QDateTime>

#include <functional>

// The time the program's rules go by (opt-out stamps, the sending window,
// posting times). The system clock unless a test sets another.
namespace CampaignClock {

QDateTime now();
// The same instant in UTC; without the local zone's lookup when no test set a clock.
QDateTime nowUtc();
// An empty function gives the system clock back.
void set(std::function<QDateTime()> clock);

} // namespace CampaignClock
