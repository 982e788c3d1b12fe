#include "compose/OutboxWriter.h"

#include "data/Database.h"
#include "data/modFunctions.h"

#include <QDateTime>
#include <QSqlError>

namespace {
const QString InsertDated = QStringLiteral(
    "INSERT INTO SMSSend (ClientID, Number, Message, SendDate, SendTime) VALUES (?, ?, ?, ?, ?)");
const QString InsertPlain = QStringLiteral("INSERT INTO SMSSend (Number, Message) VALUES (?, ?)");

void prepare(QSqlQuery &query, bool &ready, const QString &sql)
{
    if (ready)
        return;
    query = QSqlQuery(Database::connection());
    if (!query.prepare(sql))
        throw Database::errorFrom(query.lastError(), sql);
    ready = true;
}

void execute(QSqlQuery &query, const QVariantList &values)
{
    for (int i = 0; i < values.size(); ++i)
        query.bindValue(i, values.at(i));
    if (!query.exec())
        throw Database::errorFrom(query.lastError(), query.lastQuery());
    query.finish();
}
} // namespace

OutboxWriter::OutboxWriter() = default;

int OutboxWriter::queueBodies(const QStringList &bodies, const QString &number, const QVariant &clientId)
{
    const QString trimmedNumber = modFunctions::TrimBlanks(number);
    const QVariant contact = clientId.isValid() ? clientId : QVariant(QMetaType::fromType<qlonglong>());
    int written = 0;
    for (const QString &body : bodies) {
        const QString message = modFunctions::TrimBlanks(body);
        if (message.isEmpty())
            continue;
        prepare(m_dated, m_datedReady, InsertDated);
        const QDateTime now = QDateTime::currentDateTime();
        execute(m_dated, {contact, trimmedNumber, message, now.date().toString(QStringLiteral("yyyy-MM-dd")),
                          now.time().toString(QStringLiteral("HH:mm"))});
        ++written;
    }
    return written;
}

void OutboxWriter::queueMessage(const QString &number, const QString &message)
{
    prepare(m_plain, m_plainReady, InsertPlain);
    execute(m_plain, {number, message});
}
