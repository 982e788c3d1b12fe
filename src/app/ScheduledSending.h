#pragma once

#include <QSet>
#include <QTimer>

class CycleHost;
class GatewayCycles;
class MainLists;

// Sends the scheduled batches of the outbox when they become due while the
// program runs, and those that became due while it did not.
class ScheduledSending
{
public:
    // How often sendDueBatches() runs.
    static constexpr int CheckMs = 30 * 1000;

    // Starts checking at once.
    ScheduledSending(GatewayCycles &cycles, MainLists &lists, CycleHost &host);
    ScheduledSending(const ScheduledSending &) = delete;
    ScheduledSending &operator=(const ScheduledSending &) = delete;

    // At start-up, the batches that became due while the program was not
    // running are sent when all are within the grace period (and no marketing
    // message waits for the sending window); otherwise the operator is asked:
    // Yes sends them, No holds them.
    void checkOverdueBatches();
    // Starts a send run for the batches that have become due, unless a run is
    // going or a window is open (the next tick tries again). True when it did.
    bool sendDueBatches();
    // A held batch was let go: it may be tried again.
    void released(qint64 batch);

    // Nothing sends a scheduled batch while the program is closed: true when
    // none waits, or the operator still wants to quit.
    bool quitConfirmed();
    void stop();

private:
    void tried(const QList<qint64> &batches);

    GatewayCycles &m_cycles;
    MainLists &m_lists;
    CycleHost &m_host;
    QTimer m_timer;
    QSet<qint64> m_tried; // started automatically in this session
};
