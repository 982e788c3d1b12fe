#include "campaigns/Schedule.h"

#include "data/OperatorTime.h"

#include <QLocale>
#include <QStringList>

namespace Schedule {

namespace {
QString lines(const QList<Batch> &batches)
{
    QStringList result;
    for (const Batch &batch : batches)
        result << describe(batch) + QStringLiteral(" \u2014 ") + localText(batch.sendAt);
    return result.join(QLatin1Char('\n'));
}
} // namespace

QString localText(const QDateTime &at)
{
    return QLocale().toString(OperatorTime::current().local(at), QStringLiteral("ddd d MMM yyyy HH:mm"));
}

QString scheduledToolTip(const QDateTime &sendAt)
{
    return QStringLiteral("scheduled for ") + localText(sendAt);
}

QString heldToolTip(const QDateTime &sendAt)
{
    return QStringLiteral("held \u2014 scheduled for %1 and not sent at start-up; right-click to release it")
        .arg(localText(sendAt));
}

QString describe(const Batch &batch)
{
    const QString what =
        batch.description.trimmed().isEmpty() ? QStringLiteral("Batch %1").arg(batch.id) : batch.description.trimmed();
    return what
           + (batch.unsent == 1 ? QStringLiteral(", 1 message") : QStringLiteral(", %1 messages").arg(batch.unsent));
}

bool isDue(const Batch &batch, const QDateTime &now)
{
    return !batch.held && batch.unsent > 0 && batch.sendAt.isValid() && batch.sendAt <= now;
}

QList<qint64> toSendNow(const QList<Batch> &batches, const QDateTime &now, bool windowOpen, const QSet<qint64> &tried)
{
    QList<qint64> ids;
    for (const Batch &batch : batches) {
        const bool postable = batch.unsent > batch.marketing || (batch.marketing > 0 && windowOpen);
        if (isDue(batch, now) && postable && !tried.contains(batch.id))
            ids << batch.id;
    }
    return ids;
}

StartUp atStartUp(const QList<Batch> &batches, const QDateTime &now, bool windowOpen, qint64 graceSeconds)
{
    StartUp result;
    bool allInGrace = true;
    bool marketingWaits = false;
    for (const Batch &batch : batches) {
        if (!isDue(batch, now))
            continue;
        result.overdue << batch;
        allInGrace = allInGrace && batch.sendAt.secsTo(now) <= graceSeconds;
        marketingWaits = marketingWaits || (batch.marketing > 0 && !windowOpen);
    }
    if (!result.overdue.isEmpty())
        result.action = allInGrace && !marketingWaits ? StartUp::Action::Send : StartUp::Action::Ask;
    return result;
}

QString overdueQuestion(const QList<Batch> &overdue)
{
    return QStringLiteral("These scheduled messages became due while the program was not running:\n\n") + lines(overdue)
           + QStringLiteral("\n\nSend them now? (No holds them: they stay in the outbox until you release them.)");
}

QString quitWarning(const QList<Batch> &batches, const QDateTime &now)
{
    QList<Batch> soon;
    for (const Batch &batch : batches) {
        if (!batch.held && batch.unsent > 0 && batch.sendAt.isValid() && now.secsTo(batch.sendAt) <= QuitWarningSeconds)
            soon << batch;
    }
    if (soon.isEmpty())
        return {};
    return QStringLiteral("Scheduled messages are sent only while the program runs, and these are due "
                          "within 12 hours:\n\n")
           + lines(soon) + QStringLiteral("\n\nQuit anyway?");
}

} // namespace Schedule
