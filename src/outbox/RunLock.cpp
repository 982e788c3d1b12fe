#include "outbox/RunLock.h"

RunLock &RunLock::instance()
{
    static RunLock lock;
    return lock;
}

void RunLock::set(bool held)
{
    m_held = held;
    emit heldChanged(held);
}

RunLock::Hold::Hold()
{
    RunLock &lock = instance();
    if (lock.m_held)
        return;
    m_taken = true;
    lock.set(true);
}

RunLock::Hold::~Hold()
{
    if (m_taken)
        instance().set(false);
}
