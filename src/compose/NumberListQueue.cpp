#include "compose/NumberListQueue.h"

#include "campaigns/MessageFill.h"
#include "data/modFunctions.h"

NumberListPlan screenNumbers(const QStringList &numbers)
{
    NumberListPlan plan;
    NumberScreen screen;
    for (const QString &cell : numbers) {
        const QString number = modFunctions::TrimBlanks(cell);
        if (!number.isEmpty() && screen.admit(number))
            plan.numbers << number;
    }
    plan.skipped = screen.skipped();
    return plan;
}

qint64 queueToNumbers(const QStringList &numbers, const QStringList &bodies,
                      const std::function<void(const QString &number, bool done)> &progress, QueueCampaign *campaign)
{
    qint64 counted = 0;
    writeInBatch(
        [&](OutboxWriter &writer) {
            for (const QString &cell : numbers) {
                const QString number = modFunctions::TrimBlanks(cell);
                if (number.isEmpty())
                    continue;
                ++counted;
                if (progress)
                    progress(number, false);
                writer.queueBodies(bodies, number);
                if (progress)
                    progress(number, true);
            }
        },
        campaign, MessageFill::forCampaign(campaign));
    return counted;
}
