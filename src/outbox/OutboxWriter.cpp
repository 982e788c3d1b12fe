#include "outbox/OutboxWriter.h"

#include "data/OperatorTime.h"
#include "data/modFunctions.h"
#include "outbox/Batches.h"

#include <QDateTime>
#include <QVarLengthArray>

#include <utility>

namespace {

const QString DatedColumns = QStringLiteral("ClientID, Number, Message, SendDate, SendTime, Marketing, BatchID");
const QString Dated = QStringLiteral("INSERT INTO SMSSend (%1) VALUES (?, ?, ?, ?, ?, ?, ?)").arg(DatedColumns);
const QString PlainColumns = QStringLiteral("Number, Message, Marketing, BatchID");

// Rows a statement writes at most: an outbox row costs the engine less than
// running a statement for it, the sequence of keys included.
constexpr qsizetype RowsPerStatement = 64;

// "INSERT INTO SMSSend (columns) VALUES (?, ...), (?, ...)" for that many rows.
QString insertOf(const QString &columns, int count, qsizetype rows)
{
    const QString row = QLatin1Char('(') + Database::placeholders(count) + QLatin1Char(')');
    return QStringLiteral("INSERT INTO SMSSend (%1) VALUES ").arg(columns)
        + QStringList(rows, row).join(QStringLiteral(", "));
}

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
    : m_campaign(campaign), m_fill(std::move(fill)), m_checker(OptOutList::Checker::Reading::EmptyOnce),
      m_dated{DatedColumns, 7, Database::RowStatement(insertOf(DatedColumns, 7, 1)), {}},
      m_plain{PlainColumns, 4, Database::RowStatement(insertOf(PlainColumns, 4, 1)), {}}
{
}

void OutboxWriter::writeRows(Shape &shape, const std::vector<Database::Value> &values)
{
    const qsizetype rows = qsizetype(values.size()) / shape.count;
    if (rows > 1) {
        std::unique_ptr<Database::RowStatement> &several = shape.several[rows];
        if (!several)
            several = std::make_unique<Database::RowStatement>(insertOf(shape.columns, shape.count, rows));
        try {
            several->run(values.data(), qsizetype(values.size()));
            m_written += rows;
            return;
        } catch (const AppError &) {
            // Nothing of the statement is stored; row by row below.
        }
    }
    for (qsizetype row = 0; row < rows; ++row) {
        shape.single.run(values.data() + row * shape.count, shape.count);
        ++m_written;
    }
}

void OutboxWriter::flush()
{
    const QList<Waiting> rows = std::exchange(m_waiting, {});
    if (rows.isEmpty())
        return;
    std::vector<Database::Value> values;
    values.reserve(size_t(rows.size()) * 4);
    for (const Waiting &row : rows) {
        values.emplace_back(row.number);
        values.emplace_back(row.message);
        values.emplace_back(marketing());
        values.push_back(row.batch);
    }
    writeRows(m_plain, values);
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
    flush();
    const QString trimmedNumber = modFunctions::TrimBlanks(number);
    const qint64 contactKey = clientId.isValid() ? clientId.toLongLong() : 0;
    if (leaveOut(trimmedNumber))
        return 0;
    // The addressee's rows go in with one statement; their texts, dates and
    // times are kept here until it has run.
    QVarLengthArray<QString, 4> texts;
    QVarLengthArray<QString, 4> dates;
    QVarLengthArray<QString, 4> times;
    const auto write = [&] {
        if (texts.isEmpty())
            return;
        const Database::Value contact(clientId);
        const Database::Value batchKey = batch();
        std::vector<Database::Value> values;
        values.reserve(size_t(texts.size()) * 7);
        for (qsizetype i = 0; i < texts.size(); ++i) {
            for (const Database::Value &value : {contact, Database::Value(trimmedNumber), Database::Value(texts.at(i)),
                                                 Database::Value(dates.at(i)), Database::Value(times.at(i)),
                                                 Database::Value(marketing()), batchKey})
                values.push_back(value);
        }
        writeRows(m_dated, values);
    };
    for (const QString &message : trimmed(bodies)) {
        if (message.isEmpty())
            continue;
        stampNow();
        try {
            texts.append(text(message, contactKey, trimmedNumber));
        } catch (const NothingQueued &) {
            throw;
        } catch (const AppError &) {
            write(); // the bodies before it are queued, as they would be one by one
            throw;
        }
        dates.append(m_sendDate);
        times.append(m_sendTime);
    }
    write();
    return int(texts.size());
}

void OutboxWriter::queueMessage(const QString &number, const QString &message)
{
    if (leaveOut(number))
        return;
    m_waiting.append(Waiting{number, text(message, 0, number), batch()});
    if (m_waiting.size() >= RowsPerStatement)
        flush();
}

void writeInBatch(const std::function<void(OutboxWriter &)> &write, QueueCampaign *campaign, const TextFill &fill)
{
    Database::Batch batch;
    OutboxWriter writer(campaign, fill);
    try {
        write(writer);
        writer.flush();
    } catch (const NothingQueued &) {
        throw; // the batch rolls back
    } catch (const AppError &error) {
        try {
            writer.flush(); // rows queued before the error are kept
        } catch (const AppError &) {
            // the rows before this one are stored; the first error is told
        }
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
