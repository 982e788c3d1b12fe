#pragma once

#include "data/AppError.h"
#include "gateway/CycleHost.h"

#include <QElapsedTimer>
#include <QtGlobal>

// Shows the busy pointer through the host for as long as it lives, unless it
// is already shown by an enclosing operation (then that one restores it).
class CycleBusy
{
public:
    CycleBusy(CycleHost &host, bool &busy) : m_host(host), m_busy(busy)
    {
        if (!m_busy) {
            m_host.setBusy(true);
            m_busy = true;
            m_owner = true;
        }
    }
    ~CycleBusy() { release(); }
    CycleBusy(const CycleBusy &) = delete;
    CycleBusy &operator=(const CycleBusy &) = delete;

    // The normal pointer back early, e.g. before a message box.
    void release()
    {
        if (m_owner && m_busy) {
            m_busy = false;
            m_host.setBusy(false);
        }
        m_owner = false;
    }

private:
    CycleHost &m_host;
    bool &m_busy;
    bool m_owner = false;
};

// Gives the host's event loop a turn while a long list is stored: at the
// first entry, then some fifty times a second rather than for every entry,
// since a turn costs more than storing one.
class EventTurns
{
public:
    explicit EventTurns(CycleHost &host) : m_host(host) {}
    void offer()
    {
        if (m_since.isValid() && m_since.elapsed() < 20)
            return;
        m_host.yieldToEvents();
        m_since.start();
    }

private:
    CycleHost &m_host;
    QElapsedTimer m_since;
};

namespace CycleTexts {
inline const QString Ready = QStringLiteral("Done. Ready ...");
inline const QString Error = QStringLiteral("ERROR");
} // namespace CycleTexts

// How every cycle ends when an error stops it: the normal pointer back first,
// status panel 1 "ERROR", then the error's box ("number - description").
inline void EndWithError(CycleHost &host, CycleBusy &busy, const AppError &error)
{
    busy.release();
    host.setStatus(CycleTexts::Error);
    host.showError(error);
}

// How a window's run ends when the gateway failed it (unreachable, an error
// status, an answer it cannot read): nothing was stored, and the status line
// and the program's log say what failed instead of reporting success.
inline void EndWithGatewayFailure(CycleHost &host, CycleBusy &busy, const QString &run, const QString &reason)
{
    busy.release();
    const QString text = run + QStringLiteral(" failed: ") + reason;
    host.setStatus(text);
    qWarning("%s", qUtf8Printable(text));
}

// "The gateway's answer is not <what>", with the gateway's words when short.
inline QString UnreadableAnswer(const QString &what, const QString &words)
{
    return QStringLiteral("The gateway's answer is not ") + what
           + (words.isEmpty() ? QStringLiteral(".") : QStringLiteral(": ") + words);
}
