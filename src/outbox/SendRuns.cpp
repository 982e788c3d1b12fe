#include "outbox/SendRuns.h"

#include "data/Database.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QRandomGenerator>
#include <QSet>
#include <QSqlQuery>
#include <QSysInfo>

#include <cerrno>
#include <csignal>

namespace SendRuns {

namespace {

QString stamp(qint64 msFromNow = 0)
{
    return QDateTime::currentDateTimeUtc().addMSecs(msFromNow).toString(Qt::ISODateWithMs);
}

// The runs of this process that are going now.
QSet<qint64> &ownRuns()
{
    static QSet<qint64> runs;
    return runs;
}

bool processIsGone(qint64 pid, qint64 token)
{
    if (pid == QCoreApplication::applicationPid())
        return !ownRuns().contains(token); // a run of an earlier process that had this number
    return pid <= 0 || (::kill(pid_t(pid), 0) != 0 && errno == ESRCH);
}

// Ended runs no row points at any more are kept this long, then dropped.
constexpr qint64 KeepEndedMs = 7LL * 24 * 60 * 60 * 1000;

} // namespace

QString thisMachine()
{
    const QString name = QSysInfo::machineHostName();
    return name.isEmpty() ? QStringLiteral("this computer") : name;
}

Registration::Registration() : m_token(qint64(QRandomGenerator::global()->bounded(quint64(1) << 62)) + 1)
{
    Database::run(QStringLiteral("DELETE FROM SendRuns WHERE EndedAt IS NOT NULL AND EndedAt < ? "
                                 "AND Token NOT IN (SELECT InFlight FROM SMSSend WHERE InFlight <> 0)"),
                  {stamp(-KeepEndedMs)});
    const QString now = stamp();
    Database::run(QStringLiteral("INSERT INTO SendRuns (Token, Machine, Process, StartedAt, HeartbeatAt) "
                                 "VALUES (?, ?, ?, ?, ?)"),
                  {m_token, thisMachine(), QCoreApplication::applicationPid(), now, now});
    ownRuns().insert(m_token);
    m_lastBeat.start();
}

Registration::~Registration()
{
    try {
        end();
    } catch (const AppError &) {
        // Its heartbeat lapses instead: after the lease the run counts as ended.
    }
}

bool Registration::beat()
{
    if (m_ended)
        return false;
    if (m_lastBeat.elapsed() < HeartbeatMs)
        return true;
    m_lastBeat.start();
    return Database::run(QStringLiteral("UPDATE SendRuns SET HeartbeatAt = ? WHERE Token = ? AND EndedAt IS NULL"),
                         {stamp(), m_token})
               .numRowsAffected()
           == 1;
}

void Registration::end()
{
    if (m_ended)
        return;
    m_ended = true;
    ownRuns().remove(m_token);
    const QString now = stamp();
    Database::run(
        QStringLiteral("UPDATE SendRuns SET EndedAt = ?, HeartbeatAt = ? WHERE Token = ? AND EndedAt IS NULL"),
        {now, now, m_token});
}

int endStopped()
{
    const QString now = stamp();
    int ended =
        Database::run(QStringLiteral("UPDATE SendRuns SET EndedAt = ? WHERE EndedAt IS NULL AND HeartbeatAt < ?"),
                      {now, stamp(-LeaseMs)})
            .numRowsAffected();
    QList<std::pair<qint64, qint64>> here;
    QSqlQuery runs = Database::run(
        QStringLiteral("SELECT Token, Process FROM SendRuns WHERE EndedAt IS NULL AND Machine = ?"), {thisMachine()});
    while (runs.next())
        here.append({runs.value(0).toLongLong(), runs.value(1).toLongLong()});
    runs.finish();
    for (const auto &[token, pid] : here) {
        if (processIsGone(pid, token))
            ended +=
                Database::run(QStringLiteral("UPDATE SendRuns SET EndedAt = ? WHERE Token = ? AND EndedAt IS NULL"),
                              {now, token})
                    .numRowsAffected();
    }
    return ended;
}

QHash<qint64, QString> live()
{
    endStopped();
    QHash<qint64, QString> runs;
    QSqlQuery query = Database::run(QStringLiteral("SELECT Token, Machine FROM SendRuns WHERE EndedAt IS NULL"));
    while (query.next())
        runs.insert(query.value(0).toLongLong(), query.value(1).toString());
    return runs;
}

} // namespace SendRuns
