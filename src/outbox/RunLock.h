#pragma once

#include <QObject>

// One gateway run at a time in this program: a send run, a status or replies
// run, the send report, a credit check. Every place that starts one takes the
// lock first and is refused while another holds it; windows disable what
// starts a run (and what writes the outbox) while it is held, since a run
// lets the window process events between items and a write made then would
// join the run's open transaction.
class RunLock : public QObject
{
    Q_OBJECT

public:
    static RunLock &instance();
    bool isHeld() const { return m_held; }

    // Takes the lock when it is free, for as long as it lives.
    class Hold
    {
    public:
        Hold();
        ~Hold();
        Hold(const Hold &) = delete;
        Hold &operator=(const Hold &) = delete;
        // False: another run holds the lock; nothing may start.
        bool taken() const { return m_taken; }

    private:
        bool m_taken = false;
    };

signals:
    void heldChanged(bool held);

private:
    RunLock() = default;
    void set(bool held);
    bool m_held = false;
};
