#pragma once

#include "data/Database.h"

#include <QSet>
#include <QString>

// The suppression list: numbers that said STOP are never sent to while they
// are on it. Numbers are kept in E.164 form as libphonenumber reads them,
// South African unless they say otherwise, so +27 82 123 4567, 0027821234567,
// +27 (0)82 123 4567 and 082-123-4567 (cell) are one entry. Every change is
// written to OptOutAudit.
namespace OptOutList {

// EventID of an outbox row that was not posted because its number opted out.
inline const QString OptedOutEventId = QStringLiteral("OPTOUT");

// Where an entry came from (OptOuts.Source, OptOutAudit.Source).
inline const QString FromReply = QStringLiteral("REPLY");
inline const QString FromImport = QStringLiteral("IMPORT");
inline const QString FromInbox = QStringLiteral("INBOX");
inline const QString FromOperator = QStringLiteral("MANUAL");

// The list key of a number (PhoneNumbers::personKey): its E.164 form; empty
// when there is none (an empty number, fewer than three digits, a sender
// name such as "BANK").
QString keyOf(const QString &number);

// Adds the number; false when it is already on the list or has no key.
bool add(const QString &number, const QString &source, const QString &detail = {});
// Takes the number off the list, and its confirmation when that still waits
// in the outbox; false when it was not on it.
bool lift(const QString &number, const QString &source, const QString &detail = {});
bool isSuppressed(const QString &number);
int count();
// Every key on the list, read at once: a queueing checks thousands of
// numbers against it.
QSet<QString> keys();

// Queues `text` once as a service message (no footer) marked as the
// confirmation of this number's opt-out, so that the list lets it through;
// nothing when the number has no key (a sender name) or a confirmation to it
// is already waiting. Gives whether it queued one.
bool queueConfirmation(const QString &number, const QString &text);

// Checks many numbers with one prepared statement (queueing and send runs).
class Checker
{
public:
    // How long what the checker read of the list holds.
    enum class Reading {
        EveryNumber, // the list is asked about every number (a send run, which may take hours)
        // An empty list stays empty for the checker's life: one queueing
        // action, which the send run checks again. Numbers are then not
        // keyed at all.
        EmptyOnce,
    };
    explicit Checker(Reading reading = Reading::EveryNumber);
    // True when the number is on the list: it must not be queued or posted.
    bool blocks(const QString &number);

private:
    Database::RowStatement m_find;
    Reading m_reading;
    bool m_empty = false;
    bool m_looked = false;
};

} // namespace OptOutList
