#include "app/ScheduledSending.h"

#include "app/MainLists.h"
#include "campaigns/Schedule.h"
#include "data/AppError.h"
#include "data/Clock.h"
#include "gateway/CycleHost.h"
#include "gateway/GatewayCycles.h"
#include "outbox/Batches.h"
#include "outbox/RunLock.h"

#include <QApplication>

#include <algorithm>

ScheduledSending::ScheduledSending(GatewayCycles &cycles, MainLists &lists, CycleHost &host)
    : m_cycles(cycles), m_lists(lists), m_host(host)
{
    m_timer.setInterval(CheckMs);
    QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { sendDueBatches(); });
    m_timer.start();
}

void ScheduledSending::checkOverdueBatches()
{
    try {
        const Schedule::StartUp startUp =
            Schedule::atStartUp(Batches::waiting(), CampaignClock::now(), MainLists::marketingOpenNow());
        if (startUp.action == Schedule::StartUp::Action::Nothing)
            return;
        QList<qint64> ids;
        for (const Schedule::Batch &batch : startUp.overdue)
            ids << batch.id;
        if (startUp.action == Schedule::StartUp::Action::Ask
            && !m_host.ask(QStringLiteral("SCHEDULED"), Schedule::overdueQuestion(startUp.overdue))) {
            Batches::hold(ids);
            m_lists.refreshOutbox();
            return;
        }
        if (!m_cycles.SendScheduled(ids))
            tried(ids);
    } catch (const AppError &error) {
        m_host.showError(error);
    }
}

bool ScheduledSending::sendDueBatches()
{
    if (RunLock::instance().isHeld() || QApplication::activeModalWidget())
        return false;
    try {
        const QDateTime now = CampaignClock::now();
        const QList<Schedule::Batch> batches = Batches::waiting();
        const QList<qint64> due = Schedule::toSendNow(batches, now, MainLists::marketingOpenNow(), m_tried);
        if (due.isEmpty()) {
            // A batch whose time came since the list was read changes its look.
            const QDateTime judged = m_lists.looksJudgedAt();
            if (std::any_of(batches.begin(), batches.end(),
                            [&](const Schedule::Batch &batch) { return batch.sendAt > judged && batch.sendAt <= now; }))
                m_lists.refreshOutbox();
            return false;
        }
        // A batch the run could not send (no credits, no answer) waits for
        // the operator's next run instead of being tried again every tick.
        // One whose marketing messages wait for the sending window is sent
        // when it opens.
        if (!m_cycles.SendScheduled(due))
            tried(due);
        return true;
    } catch (const AppError &) {
        // The next tick tries again; an error every half minute helps no one.
        return false;
    }
}

void ScheduledSending::tried(const QList<qint64> &batches)
{
    m_tried.unite(QSet<qint64>(batches.begin(), batches.end()));
}

void ScheduledSending::released(qint64 batch)
{
    m_tried.remove(batch);
}

bool ScheduledSending::quitConfirmed()
{
    QString warning;
    try {
        warning = Schedule::quitWarning(Batches::waiting(), CampaignClock::now());
    } catch (const AppError &) {
        // The database cannot say: closing goes on as it always did.
    }
    return warning.isEmpty() || m_host.ask(QStringLiteral("SCHEDULED"), warning);
}

void ScheduledSending::stop()
{
    m_timer.stop();
}
