#pragma once

#include "outbox/Outbox.h"

#include <QList>
#include <QString>

// Every message sent to and received from one person, oldest first: the
// person is the key of the number (PhoneNumbers::storedKey), so "082 123
// 4567", "+27 82 123 4567" and "27821234567" are one conversation. The sent
// part comes from the outbox, the received part from the replies.
class Conversation
{
public:
    enum class Direction { Sent, Received };

    struct Message
    {
        Direction direction = Direction::Sent;
        QString at;     // office time, "yyyy-MM-dd HH:mm" (seconds for a reply when known)
        QString number; // as stored
        QString text;
        Outbox::Style style = Outbox::Style::NotSend; // a sent message's state
        QString state; // "queued", "sent", "delivered", "failed — reason", ...; empty for a reply
    };

    // Reads the conversation with the number's person; an empty one for a
    // number without a key. Throws AppError.
    static Conversation read(const QString &number);

    QString key() const { return m_key; }
    const QList<Message> &messages() const { return m_messages; }

    // How a sent message's state reads in a conversation.
    static QString stateOf(Outbox::Style style, const QString &failReason = {});

private:
    QString m_key;
    QList<Message> m_messages;
};
