#pragma once

#include "../gateway/GatewayTestSupport.h"

#include <QCoreApplication>
#include <QProcess>

#include <algorithm>

// The CustomerIDs of the messages the gateway received since the last look, sorted (a key posted twice shows twice).
inline QList<qint64> postedKeys(const GatewayProcess &gateway)
{
    QList<qint64> keys;
    for (const QString &key : postedCustomers(gateway))
        keys << key.toLongLong();
    std::sort(keys.begin(), keys.end());
    return keys;
}

// One queued row per number, "<prefix>00", "<prefix>01", ...; their keys.
inline QList<qint64> queueNumbered(const QString &prefix, int count)
{
    QList<qint64> keys;
    for (int i = 0; i < count; ++i)
        keys << OutboxRows::queue(prefix + QStringLiteral("%1").arg(i, 2, 10, QLatin1Char('0')));
    return keys;
}

// Another program sending the outbox of a database through a gateway: sendrun_helper (tests/app) with this many
// messages in flight. Its status texts are its output.
class SendRun
{
public:
    SendRun(const QString &database, const QString &host, int inFlight)
    {
        m_run.setProcessChannelMode(QProcess::MergedChannels);
        m_run.start(QCoreApplication::applicationDirPath() + QStringLiteral("/sendrun_helper"),
                    {database, host, QString::number(inFlight)});
        m_run.waitForStarted();
    }

    // Waits until the run has started posting `count` messages; false when it ended or went quiet first.
    bool waitUntilPosting(int count = 1)
    {
        while (m_output.count("Sending SMS to") < count && m_run.state() == QProcess::Running
               && m_run.waitForReadyRead(10000))
            m_output += m_run.readAll();
        return m_output.count("Sending SMS to") >= count;
    }
    // Whether the run ended by itself, and sent everything it tried.
    bool finish(int timeoutMs = 60000)
    {
        const bool done =
            m_run.waitForFinished(timeoutMs) && m_run.exitStatus() == QProcess::NormalExit && m_run.exitCode() == 0;
        m_output += m_run.readAll();
        return done;
    }
    // Kills the run as a power cut would; whether it died of it.
    bool kill()
    {
        m_run.kill();
        m_run.waitForFinished();
        return m_run.exitStatus() == QProcess::CrashExit;
    }
    QByteArray output() const { return m_output; }

private:
    QProcess m_run;
    QByteArray m_output;
};
