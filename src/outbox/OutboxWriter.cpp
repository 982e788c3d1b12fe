#include "outbox/OutboxWriter.h"

#include "data/OperatorTime.h"
#include "data/PhoneNumbers.h"
#include "data/modFunctions.h"
#include "outbox/Batches.h"

#include <QDateTime>

#include <utility>

namespace {

// NumberKey: the person a row goes to (PhoneNumbers::storedKey), so that a
// conversation finds it.
const QString DatedColumns =
    QStringLiteral("ClientID, Number, Message, SendDate, SendTime, Marketing, BatchID, NumberKey");
const QString Dated = QStringLiteral("INSERT INTO SMSSend (%1) VALUES (?, ?, ?, ?, ?, ?, ?, ?)").arg(DatedColumns);
const QString PlainColumns = QStringLiteral("Number, Message, Marketing, BatchID, NumberKey");

// Rows a statement writes at most: an outbox row costs the engine less than
// running a statement for it, the sequence of keys included.
constexpr qsizetype RowsPerStatement = 64;

// "INSERT INTO SMSSend (columns) VALUES (?, ...), (?, ...)" for that many rows.
QString insertOf(const QString &columns, int count, qsizetype rows)
{
    return QStringLiteral("INSERT INTO SMSSend (%1) VALUES ").arg(columns) + Database::placeholderRows(count, rows);
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
    : m_campaign(campaign), m_fill(std::move(fill)),
      m_checker(OptOutList::Checker::Reading::EmptyOnce), m_dated{DatedColumns,
                                                                  8,
                                                                  Database::RowStatement(insertOf(DatedColumns, 8, 1)),
                                                                  {}},
      m_plain{PlainColumns, 5, Database::RowStatement(insertOf(PlainColumns, 5, 1)), {}}
{}

bool OutboxWriter::writeTogether(Shape &shape, const std::vector<Database::Value> &values)
{
    const qsizetype rows = qsizetype(values.size()) / shape.count;
    std::unique_ptr<Database::RowStatement> &together = shape.several[rows];
    if (!together)
        together = std::make_unique<Database::RowStatement>(insertOf(shape.columns, shape.count, rows));
    try {
        together->run(values.data(), qsizetype(values.size()));
    } catch (const AppError &) {
        return false; // nothing of the statement is stored
    }
    m_written += rows;
    return true;
}

void OutboxWriter::writeRows(Shape &shape, const std::vector<Database::Value> &values)
{
    const qsizetype rows = qsizetype(values.size()) / shape.count;
    if (rows > 1 && writeTogether(shape, values))
        return;
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
    values.reserve(size_t(rows.size()) * 5);
    for (const Waiting &row : rows) {
        values.emplace_back(row.number);
        values.emplace_back(row.message);
        values.emplace_back(marketing());
        values.push_back(row.batch);
        values.emplace_back(row.key);
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
    qsizetype failedAt = -1;
    return int(queueBodiesToEach(bodies, {Addressee{number, clientId}}, failedAt));
}

qint64 OutboxWriter::queueBodiesToEach(const QStringList &bodies, const QList<Addressee> &addressees,
                                       qsizetype &failedAt)
{
    flush();
    failedAt = -1;
    // Every row's text, date and time, kept here until the statements have run.
    struct Rows
    {
        qsizetype addressee = 0;
        QString number;
        QString key;
        qsizetype first = 0;
        qsizetype count = 0;
    };
    QList<Rows> rows;
    QStringList texts, dates, times;
    const auto valuesOf = [&](const Rows &r, const Database::Value &batchKey, std::vector<Database::Value> &values) {
        const Database::Value contact(addressees.at(r.addressee).clientId);
        for (qsizetype i = r.first; i < r.first + r.count; ++i) {
            for (const Database::Value &value :
                 {contact, Database::Value(r.number), Database::Value(texts.at(i)), Database::Value(dates.at(i)),
                  Database::Value(times.at(i)), Database::Value(marketing()), batchKey, Database::Value(r.key)})
                values.push_back(value);
        }
    };
    // A few addressees' rows with one statement; where it fails, each
    // addressee's rows again, so that the failing one is known.
    const auto write = [&] {
        if (rows.isEmpty())
            return;
        const Database::Value batchKey = batch();
        std::vector<Database::Value> values;
        for (qsizetype start = 0; start < rows.size();) {
            qsizetype end = start;
            qsizetype together = 0;
            while (end < rows.size() && (end == start || together + rows.at(end).count <= RowsPerStatement))
                together += rows.at(end++).count;
            values.clear();
            for (qsizetype r = start; r < end; ++r)
                valuesOf(rows.at(r), batchKey, values);
            if (together == 1 || !writeTogether(m_dated, values)) {
                for (qsizetype r = start; r < end; ++r) {
                    values.clear();
                    valuesOf(rows.at(r), batchKey, values);
                    try {
                        writeRows(m_dated, values);
                    } catch (const AppError &) {
                        failedAt = rows.at(r).addressee;
                        throw;
                    }
                }
            }
            start = end;
        }
    };
    const QStringList &messages = trimmed(bodies);
    for (qsizetype at = 0; at < addressees.size(); ++at) {
        const QString number = modFunctions::TrimBlanks(addressees.at(at).number);
        Rows current{at, number, PhoneNumbers::storedKey(number), texts.size(), 0};
        const qint64 contactKey = addressees.at(at).clientId.isValid() ? addressees.at(at).clientId.toLongLong() : 0;
        try {
            if (leaveOut(current.number))
                continue;
            for (const QString &message : messages) {
                if (message.isEmpty())
                    continue;
                stampNow();
                texts.append(text(message, contactKey, current.number));
                dates.append(m_sendDate);
                times.append(m_sendTime);
                ++current.count;
            }
        } catch (const NothingQueued &) {
            failedAt = at;
            throw;
        } catch (const AppError &) {
            // The rows before it are queued, as they would be one by one.
            if (current.count > 0)
                rows.append(current);
            write();
            failedAt = at;
            throw;
        }
        if (current.count > 0)
            rows.append(current);
    }
    write();
    return texts.size();
}

void OutboxWriter::queueMessage(const QString &number, const QString &message)
{
    if (leaveOut(number))
        return;
    m_waiting.append(Waiting{number, text(message, 0, number), PhoneNumbers::storedKey(number), batch()});
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
        throw batch.keepBefore(error, kept == 1
                                          ? QStringLiteral("1 message was queued before the error.")
                                          : QStringLiteral("%1 messages were queued before the error.").arg(kept));
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
    Database::Statement mark(
        QStringLiteral("UPDATE SMSSend SET QueuedAgain = 1 WHERE SMSSendID = ? AND QueuedAgain = 0"));
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
                  now.time().toString(QStringLiteral("HH:mm")), message.marketing ? 1 : 0, noKey(),
                  PhoneNumbers::storedKey(message.number)});
        ++result.queued;
    }
    batch.commit();
    return result;
}
