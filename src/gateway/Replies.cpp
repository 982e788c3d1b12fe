#include "gateway/Replies.h"

#include "data/Database.h"
#include "data/KeysetList.h"

#include <QSqlQuery>

namespace Replies {

std::unique_ptr<KeysetList> newestFirst(QStringList columns)
{
    const qsizetype optOut = columns.indexOf(QStringLiteral("OptOut"));
    if (optOut >= 0)
        columns.replace(optOut, QStringLiteral("(SELECT OptOut FROM SMSReplies WHERE SMSReplies.SMSReplyID = "
                                               "RepliesWithClients.SMSReplyID)"));
    KeysetList::Order order;
    order.column = QStringLiteral("ReceivedDateTime");
    order.descending = true;
    auto list = std::make_unique<KeysetList>(QStringLiteral("RepliesWithClients"), columns,
                                             QStringLiteral("SMSReplyID"), order);
    list->setKeysFrom(QStringLiteral("SMSReplies"));
    return list;
}

QList<Message> fromPerson(const QString &key)
{
    QList<Message> messages;
    if (key.isEmpty())
        return messages;
    QSqlQuery rows = Database::run(QStringLiteral("SELECT SMSReplyID, PhoneNumber, Message, ReceivedDateTime "
                                                  "FROM SMSReplies WHERE NumberKey = ? "
                                                  "ORDER BY ReceivedDateTime, SMSReplyID"),
                                   {key});
    while (rows.next())
        messages.append(
            {rows.value(0).toLongLong(), rows.value(1).toString(), rows.value(2).toString(), rows.value(3).toString()});
    return messages;
}

} // namespace Replies
