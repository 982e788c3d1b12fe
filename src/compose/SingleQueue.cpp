#include "compose/SingleQueue.h"

#include "campaigns/MessageFill.h"
#include "data/Database.h"
#include "data/PhoneNumbers.h"
#include "data/modFunctions.h"

#include <QSqlQuery>

namespace SingleQueue {

std::optional<Contact> find(qint64 clientId)
{
    QSqlQuery query = Database::run(
        QStringLiteral("SELECT ClientID, LastName, FirstName, Mobile FROM Clients WHERE ClientID = ?"), {clientId});
    if (!query.next())
        return std::nullopt;
    const auto text = [&query](int column) { return modFunctions::TrimBlanks(query.value(column).toString()); };
    return Contact{query.value(0).toLongLong(), text(1), text(2), text(3)};
}

std::optional<Contact> findByNumber(const QString &number)
{
    const QString key = PhoneNumbers::personKey(number);
    if (key.size() < 4)
        return std::nullopt;
    // Mobiles are kept as people write them ("082 123 4567"): the last four
    // digits, whatever stands between them, narrow the search; the key decides.
    QString pattern = QStringLiteral("%");
    for (QChar digit : key.right(4))
        pattern += digit + QStringLiteral("%");
    QSqlQuery query = Database::run(QStringLiteral("SELECT ClientID, Mobile FROM Clients WHERE Mobile LIKE ? "
                                                   "ORDER BY ClientID"),
                                    {pattern});
    while (query.next())
        if (PhoneNumbers::personKey(query.value(1).toString()) == key)
            return find(query.value(0).toLongLong());
    return std::nullopt;
}

Addressee addressee(const QString &lastName, const QString &firstName, const QString &number)
{
    if (lastName.isEmpty() && firstName.isEmpty())
        return {number, number};
    return {lastName + QStringLiteral(", ") + firstName, (firstName + QLatin1Char(' ') + lastName).trimmed()};
}

SkippedNumbers screen(const QString &number)
{
    NumberScreen screen;
    screen.admit(number);
    return screen.skipped();
}

int queue(const QStringList &bodies, const QString &number, qint64 clientId, QueueCampaign *campaign)
{
    int written = 0;
    writeInBatch([&](OutboxWriter &writer) { written = writer.queueBodies(bodies, number, clientId); }, campaign,
                 MessageFill::forCampaign(campaign));
    return written;
}

} // namespace SingleQueue
