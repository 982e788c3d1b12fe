#include "compose/SingleQueue.h"

#include "campaigns/MessageFill.h"
#include "data/Database.h"
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
