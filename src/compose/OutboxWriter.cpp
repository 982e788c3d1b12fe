#include "compose/OutboxWriter.h"

#include "campaigns/MergeFields.h"
#include "campaigns/OperatorTime.h"
#include "data/Database.h"
#include "data/modFunctions.h"

#include <QDateTime>

OutboxWriter::OutboxWriter(QueueCampaign *campaign)
    : m_filter(campaign),
      m_dated(QStringLiteral("INSERT INTO SMSSend (ClientID, Number, Message, SendDate, SendTime, Marketing, BatchID) "
                             "VALUES (?, ?, ?, ?, ?, ?, ?)")),
      m_plain(QStringLiteral("INSERT INTO SMSSend (Number, Message, Marketing, BatchID) VALUES (?, ?, ?, ?)"))
{
}

int OutboxWriter::queueBodies(const QStringList &bodies, const QString &number, const QVariant &clientId)
{
    const QString trimmedNumber = modFunctions::TrimBlanks(number);
    const QVariant contact = clientId.isValid() ? clientId : QVariant(QMetaType::fromType<qlonglong>());
    int written = 0;
    if (m_filter.leaveOut(trimmedNumber))
        return written;
    for (const QString &body : bodies) {
        const QString message = modFunctions::TrimBlanks(body);
        if (message.isEmpty())
            continue;
        const QDateTime now = OperatorTime::current().local(QDateTime::currentDateTime());
        m_dated.run({contact, trimmedNumber, m_filter.text(message, contact.toLongLong(), trimmedNumber),
                     now.date().toString(QStringLiteral("yyyy-MM-dd")), now.time().toString(QStringLiteral("HH:mm")),
                     m_filter.marketing(), m_filter.batch()});
        ++written;
        ++m_written;
    }
    return written;
}

void OutboxWriter::queueMessage(const QString &number, const QString &message)
{
    if (m_filter.leaveOut(number))
        return;
    m_plain.run({number, m_filter.text(message, 0, number), m_filter.marketing(), m_filter.batch()});
    ++m_written;
}

bool OutboxWriter::queueCopy(const QString &number, const QString &message, const QVariant &clientId, bool marketing)
{
    if (m_filter.leaveOut(number))
        return false;
    const QVariant contact =
        clientId.isNull() ? QVariant(QMetaType::fromType<qlonglong>()) : QVariant(clientId.toLongLong());
    const QDateTime now = OperatorTime::current().local(QDateTime::currentDateTime());
    m_dated.run({contact, number, message, now.date().toString(QStringLiteral("yyyy-MM-dd")),
                 now.time().toString(QStringLiteral("HH:mm")), marketing ? 1 : 0,
                 QVariant(QMetaType::fromType<qlonglong>())}); // in no scheduled batch: goes at the next run
    ++m_written;
    return true;
}

void writeInBatch(const std::function<void(OutboxWriter &)> &write, QueueCampaign *campaign)
{
    Database::Batch batch;
    OutboxWriter writer(campaign);
    try {
        write(writer);
    } catch (const UnresolvedField &) {
        throw; // nothing is queued: the batch rolls back
    } catch (const AppError &error) {
        const qint64 kept = writer.written();
        throw batch.keepBefore(error, kept == 1 ? QStringLiteral("1 message was queued before the error.")
                                                : QStringLiteral("%1 messages were queued before the error.")
                                                      .arg(kept));
    }
    batch.commit();
}

qint64 queueToNumbers(const QStringList &numbers, const QStringList &bodies,
                      const std::function<void(const QString &number, bool done)> &progress,
                      QueueCampaign *campaign)
{
    qint64 counted = 0;
    writeInBatch([&](OutboxWriter &writer) {
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
    }, campaign);
    return counted;
}
