#pragma once

#include <QApplication>

// Shows the busy (hourglass) pointer for as long as it lives; the normal
// pointer comes back on every path out of the scope, errors included.
// release() gives the normal pointer back early, e.g. before a question.
class BusyPointer
{
public:
    BusyPointer() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyPointer() { release(); }
    BusyPointer(const BusyPointer &) = delete;
    BusyPointer &operator=(const BusyPointer &) = delete;

    void release()
    {
        if (m_active) {
            m_active = false;
            QApplication::restoreOverrideCursor();
        }
    }

private:
    bool m_active = true;
};
