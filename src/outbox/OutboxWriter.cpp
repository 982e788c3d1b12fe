#include "outbox/OutboxWriter.h"

#include "data/OperatorTime.h"
#include "data/modFunctions.h"
#include "outbox/Batches.h"

#include <QDateTime>

namespace {

const QString Dated = QStringLiteral(
    "INSERT INTO SMSSend (ClientID, Number, Message, SendDate, SendTime, Marketing, BatchID) VALUES (?, ?, ?, ?, ?, ?, ?)");

QVariant noKey()
{
    return QVariant(QMetaType::fromType<qlonglong>());
}

} // namespace

QDateTime OfficeClock::now()
{
    // The zone's offset is looked up once a minute: the lookup costs more
    // than writing the row, and an offset changes only twice a year.
    const QDateTime utc = QDateTime::currentDateTimeUtc();
    if (!m_since.isValid() || utc < m_since || m_since.secsTo(utc) >= 60) {
        m_offset = OperatorTime::current().zone().offsetFromUtc(utc);
        m_since = utc;
    }
    return utc.toOffsetFromUtc(m_offset);
}

OutboxWriter::OutboxWriter(QueueCampaign *campaign, TextFill fill)
    : m_campaign(campaign), m_fill(std::move(fill)), m_dated(Dated),
      m_plain(QStringLiteral("INSERT INTO SMSSend (Number, Message, Marketing, BatchID) VALUES (?, ?, ?, ?)"))
{
}

bool OutboxWriter::leaveOut(const QString &number)
{
    if (!m_checker.blocks(number))
        return false;
    if (m_campaign)
        ++m_campaign->leftOut;
    return true;
}

QString OutboxWriter::text(const QString &body, qint64 clientId, const QString &number) const
{
    return m_fill ? m_fill(body, clientId, number) : body;
}

Database::Value OutboxWriter::batch()
{
    if (!m_campaign || !m_campaign->sendAt.isValid())
        return {};
    if (m_campaign->batchId == 0)
        m_campaign->batchId = Batches::create(m_campaign->sendAt, m_campaign->description);
    return m_campaign->batchId;
}

const QStringList &OutboxWriter::trimmed(const QStringList &bodies)
{
    if (!m_bodies.isSharedWith(bodies) || m_trimmedBodies.size() != bodies.size()) {
        m_bodies = bodies;
        m_trimmedBodies.clear();
        for (const QString &body : bodies)
            m_trimmedBodies.append(modFunctions::TrimBlanks(body));
    }
    return m_trimmedBodies;
}

void OutboxWriter::stampNow()
{
    const QDateTime now = m_clock.now();
    const qint64 minute = now.toSecsSinceEpoch() / 60;
    const int offset = now.offsetFromUtc();
    if (minute == m_stampMinute && offset == m_stampOffset && !m_sendDate.isNull())
        return;
    m_stampMinute = minute;
    m_stampOffset = offset;
    m_sendDate = now.date().toString(QStringLiteral("yyyy-MM-dd"));
    m_sendTime = now.time().toString(QStringLiteral("HH:mm"));
}

int OutboxWriter::queueBodies(const QStringList &bodies, const QString &number, const QVariant &clientId)
{
    const QString trimmedNumber = modFunctions::TrimBlanks(number);
    const Database::Value contact(clientId);
    const qint64 contactKey = clientId.isValid() ? clientId.toLongLong() : 0;
    int written = 0;
    if (leaveOut(trimmedNumber))
        return written;
    for (const QString &message : trimmed(bodies)) {
        if (message.isEmpty())
            continue;
        stampNow();
        const QString filled = text(message, contactKey, trimmedNumber);
        m_dated.run({contact, trimmedNumber, filled, m_sendDate, m_sendTime, marketing(), batch()});
        ++written;
        ++m_written;
    }
    return written;
}

void OutboxWriter::queueMessage(const QString &number, const QString &message)
{
    if (leaveOut(number))
        return;
    const QString filled = text(message, 0, number);
    m_plain.run({number, filled, marketing(), batch()});
    ++m_written;
}

void writeInBatch(const std::function<void(OutboxWriter &)> &write, QueueCampaign *campaign, const TextFill &fill)
{
    Database::Batch batch;
    OutboxWriter writer(campaign, fill);
    try {
        write(writer);
    } catch (const NothingQueued &) {
        throw; // the batch rolls back
    } catch (const AppError &error) {
        const qint64 kept = writer.written();
        throw batch.keepBefore(error, kept == 1 ? QStringLiteral("1 message was queued before the error.")
                                                : QStringLiteral("%1 messages were queued before the error.")
                                                      .arg(kept));
    }
    batch.commit();
}

CopiesQueued queueCopies(const QList<FailedCopy> &failed)
{
    CopiesQueued result;
    Database::Batch batch;
    OptOutList::Checker checker;
    Database::Statement copy(Dated);
    OfficeClock clock;
    // Marked first: a row another program queued again meanwhile is not
    // copied a second time.
    Database::Statement mark(QStringLiteral("UPDATE SMSSend SET QueuedAgain = 1 WHERE SMSSendID = ? AND QueuedAgain = 0"));
    for (const FailedCopy &message : failed) {
        if (checker.blocks(message.number)) {
            ++result.leftOut;
            continue;
        }
        if (mark.run({message.id}).numRowsAffected() != 1) {
            ++result.alreadyAgain;
            continue;
        }
        const QVariant contact = message.clientId.isNull() ? noKey() : QVariant(message.clientId.toLongLong());
        const QDateTime now = clock.now();
        copy.run({contact, message.number, message.message, now.date().toString(QStringLiteral("yyyy-MM-dd")),
                  now.time().toString(QStringLiteral("HH:mm")), message.marketing ? 1 : 0, noKey()});
        ++result.queued;
    }
    batch.commit();
    return result;
}
