#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QString>

// The send runs that claim outbox rows (SendRuns), so that programs sharing
// one database know each other's: a run registers itself with a token (the
// value its claimed rows carry in SMSSend.InFlight), its machine and
// process, and beats while it goes. A run is live while it has not ended,
// its heartbeat is younger than the lease and, on this machine, its process
// is still there. Only the rows of runs that are not live are in doubt.
//
// Times are UTC from this machine's clock; programs on several machines
// sharing a server are taken to keep their clocks within a few seconds of
// each other (the lease is a minute).
namespace SendRuns {

// A run whose heartbeat is older than this has stopped.
inline constexpr qint64 LeaseMs = 60 * 1000;
// How often a run writes its heartbeat.
inline constexpr qint64 HeartbeatMs = 10 * 1000;

// This program's machine, as SendRuns.Machine holds it.
QString thisMachine();

// One run's registration: made when the run starts, ended when it goes.
class Registration
{
public:
    Registration();
    ~Registration();
    Registration(const Registration &) = delete;
    Registration &operator=(const Registration &) = delete;

    qint64 token() const { return m_token; }
    // Writes the heartbeat when it is due. False when the run was ended
    // behind its back (another program found it stopped and may have queued
    // its rows again): it must not post any more.
    bool beat();
    // Ends the registration (the destructor does it too).
    void end();

private:
    qint64 m_token;
    QElapsedTimer m_lastBeat;
    bool m_ended = false;
};

// Ends the runs that are not live (a lapsed heartbeat, or a process of this
// machine that is gone). Gives how many it ended.
int endStopped();
// The live runs: token -> machine.
QHash<qint64, QString> live();

} // namespace SendRuns
