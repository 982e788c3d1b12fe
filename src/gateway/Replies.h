#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

class KeysetList;

// Reading the stored replies (SMSReplies), which RepliesRetrieval writes.
namespace Replies {

// The inbox: the newest reply first, read a page at a time on the received
// time and key (an index serves both), the values through the view
// RepliesWithClients; a column "OptOut" is read from the reply itself.
std::unique_ptr<KeysetList> newestFirst(QStringList columns);

// One reply of a conversation.
struct Message
{
    qint64 id = 0;
    QString number;
    QString text;
    QString received; // "yyyy-MM-dd HH:mm:ss", the gateway's time; empty when it gave none
};
// Every reply from the person with this key (PhoneNumbers::storedKey), in
// the order received; read on the index SMSReplies_NumberKey.
QList<Message> fromPerson(const QString &key);

} // namespace Replies
