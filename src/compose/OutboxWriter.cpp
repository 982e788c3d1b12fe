#include "compose/OutboxWriter.h"

#include "data/Database.h"
#include "data/modFunctions.h"

#include <QDateTime>

OutboxWriter::OutboxWriter()
    : m_dated(QStringLiteral(
          "INSERT INTO SMSSend (ClientID, Number, Message, SendDate, SendTime) VALUES (?, ?, ?, ?, ?)")),
      m_plain(QStringLiteral("INSERT INTO SMSSend (Number, Message) VALUES (?, ?)"))
{
}

int OutboxWriter::queueBodies(const QStringList &bodies, const QString &number, const QVariant &clientId)
{
    const QString trimmedNumber = modFunctions::TrimBlanks(number);
    const QVariant contact = clientId.isValid() ? clientId : QVariant(QMetaType::fromType<qlonglong>());
    int written = 0;
    for (const QString &body : bodies) {
        const QString message = modFunctions::TrimBlanks(body);
        if (message.isEmpty())
            continue;
        const QDateTime now = QDateTime::currentDateTime();
        m_dated.run({contact, trimmedNumber, message, now.date().toString(QStringLiteral("yyyy-MM-dd")),
                     now.time().toString(QStringLiteral("HH:mm"))});
        ++written;
        ++m_written;
    }
    return written;
}

void OutboxWriter::queueMessage(const QString &number, const QString &message)
{
    m_plain.run({number, message});
    ++m_written;
}

void writeInBatch(const std::function<void(OutboxWriter &)> &write)
{
    Database::Batch batch;
    OutboxWriter writer;
    try {
        write(writer);
    } catch (const AppError &error) {
        const qint64 kept = writer.written();
        throw batch.keepBefore(error, kept == 1 ? QStringLiteral("1 message was queued before the error.")
                                                : QStringLiteral("%1 messages were queued before the error.")
                                                      .arg(kept));
    }
    batch.commit();
}

qint64 queueToNumbers(const QStringList &numbers, const QStringList &bodies,
                      const std::function<void(const QString &number, bool done)> &progress)
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
    });
    return counted;
}
