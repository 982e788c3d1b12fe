#include "gateway/SendPace.h"

#include <algorithm>

qint64 SendPace::waitMs(qint64 now) const
{
    if (m_perSecond <= 0 || m_sent.size() < size_t(m_perSecond))
        return 0;
    return std::max<qint64>(0, m_sent.front() + WindowMs - now);
}

void SendPace::sent(qint64 now)
{
    if (m_perSecond <= 0)
        return;
    m_sent.push_back(now);
    while (m_sent.size() > size_t(m_perSecond))
        m_sent.pop_front();
}
