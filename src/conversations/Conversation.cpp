#include "conversations/Conversation.h"

#include "data/OperatorTime.h"
#include "data/PhoneNumbers.h"
#include "gateway/Replies.h"

#include <QDateTime>

#include <algorithm>

namespace {

// When a sent message went: posted (kept in UTC) as the office's clock
// showed it, or queued when it has not been posted.
QString sentAt(const Outbox::Message &message)
{
    if (!message.postedAt.isEmpty()) {
        QDateTime posted = QDateTime::fromString(message.postedAt, Qt::ISODateWithMs);
        if (!posted.isValid())
            posted = QDateTime::fromString(message.postedAt, Qt::ISODate);
        if (posted.isValid())
            return OperatorTime::current().local(posted).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    }
    return (message.sendDate.left(10) + QLatin1Char(' ') + message.sendTime).trimmed();
}

} // namespace

QString Conversation::stateOf(Outbox::Style style, const QString &failReason)
{
    switch (style) {
    case Outbox::Style::NotSend:
        return QStringLiteral("queued");
    case Outbox::Style::Sent:
        return QStringLiteral("sent");
    case Outbox::Style::Delivered:
        return QStringLiteral("delivered");
    case Outbox::Style::Failed:
        return failReason.isEmpty() ? QStringLiteral("failed") : QStringLiteral("failed \u2014 %1").arg(failReason);
    case Outbox::Style::OptedOut:
        return QStringLiteral("opted out");
    case Outbox::Style::InFlight:
        return QStringLiteral("sent?");
    case Outbox::Style::BeingSent:
        return QStringLiteral("being sent");
    }
    return {};
}

Conversation Conversation::read(const QString &number)
{
    Conversation conversation;
    conversation.m_key = PhoneNumbers::storedKey(number);
    if (conversation.m_key.isEmpty())
        return conversation;
    QList<Message> &messages = conversation.m_messages;
    for (const Outbox::Message &sent : Outbox::toPerson(conversation.m_key))
        messages.append(
            {Direction::Sent, sentAt(sent), sent.number, sent.text, sent.style, stateOf(sent.style, sent.failReason)});
    for (const Replies::Message &reply : Replies::fromPerson(conversation.m_key))
        messages.append({Direction::Received, reply.received, reply.number, reply.text, Outbox::Style::NotSend, {}});
    // Sent messages come first among equal times: a reply answers what went before it.
    std::stable_sort(messages.begin(), messages.end(), [](const Message &a, const Message &b) { return a.at < b.at; });
    return conversation;
}
