#pragma once

#include "outbox/NumberScreen.h"
#include "outbox/OutboxWriter.h"

#include <QString>
#include <QStringList>

#include <optional>

// Queueing the message bodies to one number, normally a contact's mobile.
namespace SingleQueue {

// A contact as the send-to-contact window shows it, blanks removed at both ends.
struct Contact
{
    qint64 clientId = 0;
    QString lastName;
    QString firstName;
    QString mobile;
};

// The contact with this key, or nothing when there is none.
std::optional<Contact> find(qint64 clientId);
// The contact whose mobile is this number however either is written (the
// same E.164 key), the first made among several; nothing when none is.
std::optional<Contact> findByNumber(const QString &number);

// How a queueing names the one it goes to: "Last, First" while it is added
// and "First Last" in its batch's description, or the number itself when a
// number was typed without a contact.
struct Addressee
{
    QString adding;
    QString description;
};
Addressee addressee(const QString &lastName, const QString &firstName, const QString &number);

// What queueing to this number would leave out: nothing, or the number
// itself with the reason (see NumberScreen).
SkippedNumbers screen(const QString &number);

// Queues the bodies to the number (blanks removed at both ends) with this
// contact key (0 for a number typed by hand), in one batch of writes (see
// writeInBatch). Gives the number of rows written.
int queue(const QStringList &bodies, const QString &number, qint64 clientId, QueueCampaign *campaign = nullptr);

} // namespace SingleQueue
