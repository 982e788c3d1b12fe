#include "outbox/OptOutList.h"

#include "data/Clock.h"
#include "data/OperatorTime.h"
#include "data/PhoneNumbers.h"

#include <QSqlQuery>

#include <utility>

namespace OptOutList {

namespace {

QString stamp()
{
    return CampaignClock::now().toUTC().toString(Qt::ISODate);
}

void audit(const QString &key, const QString &action, const QString &source, const QString &detail)
{
    Database::run(QStringLiteral("INSERT INTO OptOutAudit (ChangedAt, Number, Action, Source, Detail) "
                                 "VALUES (?, ?, ?, ?, ?)"),
                  {stamp(), key, action, source, detail});
}

const QString WaitingConfirmation =
    QStringLiteral("SMSSend WHERE Send = 0 AND InFlight = 0 AND ConfirmsOptOut = 1 AND Number = ?");

} // namespace

QString keyOf(const QString &number)
{
    return PhoneNumbers::personKey(number);
}

bool add(const QString &number, const QString &source, const QString &detail)
{
    const QString key = keyOf(number);
    if (key.isEmpty())
        return false;
    Database::Transaction transaction;
    const int added = Database::run(QStringLiteral("INSERT OR IGNORE INTO OptOuts (Number, OptedOutAt, Source, Detail) "
                                                   "VALUES (?, ?, ?, ?)"),
                                    {key, stamp(), source, detail})
                          .numRowsAffected();
    if (added > 0)
        audit(key, QStringLiteral("ADDED"), source, detail);
    transaction.commit();
    return added > 0;
}

bool lift(const QString &number, const QString &source, const QString &detail)
{
    const QString key = keyOf(number);
    if (key.isEmpty())
        return false;
    Database::Transaction transaction;
    const int removed = Database::run(QStringLiteral("DELETE FROM OptOuts WHERE Number = ?"), {key}).numRowsAffected();
    if (removed > 0) {
        audit(key, QStringLiteral("LIFTED"), source, detail);
        // A confirmation of the opt-out not yet posted would now be wrong.
        Database::run(QStringLiteral("DELETE FROM ") + WaitingConfirmation, {key});
    }
    transaction.commit();
    return removed > 0;
}

bool isSuppressed(const QString &number)
{
    return Checker().blocks(number);
}

int count()
{
    return Database::value(QStringLiteral("SELECT count(*) FROM OptOuts")).toInt();
}

QSet<QString> keys()
{
    QSet<QString> listed;
    QSqlQuery query = Database::run(QStringLiteral("SELECT Number FROM OptOuts"));
    while (query.next())
        listed.insert(query.value(0).toString());
    return listed;
}

bool queueConfirmation(const QString &number, const QString &text)
{
    const QString key = keyOf(number);
    if (key.isEmpty() || text.isEmpty())
        return false;
    if (Database::value(QStringLiteral("SELECT 1 FROM ") + WaitingConfirmation, {key}).isValid())
        return false;
    const QDateTime now = OperatorTime::current().now();
    Database::run(QStringLiteral("INSERT INTO SMSSend (Number, Message, SendDate, SendTime, Marketing, "
                                 "ConfirmsOptOut, NumberKey) VALUES (?, ?, ?, ?, 0, 1, ?)"),
                  {key, text, now.date().toString(QStringLiteral("yyyy-MM-dd")),
                   now.time().toString(QStringLiteral("HH:mm")), PhoneNumbers::storedKey(key)});
    return true;
}

Checker::Checker(Reading reading) : m_find(QStringLiteral("SELECT 1 FROM OptOuts WHERE Number = ?")), m_reading(reading)
{}

bool Checker::blocks(const QString &number)
{
    if (m_reading == Reading::EmptyOnce && !std::exchange(m_looked, true))
        m_empty = !Database::value(QStringLiteral("SELECT 1 FROM OptOuts LIMIT 1")).isValid();
    if (m_empty)
        return false;
    const QString key = keyOf(number);
    if (key.isEmpty())
        return false;
    return m_find.finds({key});
}

} // namespace OptOutList
