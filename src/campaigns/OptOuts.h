#pragma once

#include "data/Database.h"

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>

// The suppression list: numbers that said STOP are never sent to while they
// are on it. Numbers are kept as the digits of the number the sender would
// post (NormaliseNumber), so +27 82 123 4567, 27821234567 and 082-123-4567
// are one entry. Every change is written to OptOutAudit.
namespace OptOuts {

// EventID of an outbox row that was not posted because its number opted out.
inline const QString OptedOutEventId = QStringLiteral("OPTOUT");

// Where an entry came from (OptOuts.Source, OptOutAudit.Source).
inline const QString FromReply = QStringLiteral("REPLY");
inline const QString FromImport = QStringLiteral("IMPORT");
inline const QString FromInbox = QStringLiteral("INBOX");
inline const QString FromOperator = QStringLiteral("MANUAL");

// What a reply did (SMSReplies.OptOut).
enum class ReplyKind { None = 0, OptOut = 1, Possible = 2, Lift = 3, Confirmed = 4 };

// The list key of a number: the digits of the number as the sender posts it;
// empty when there is none (an empty number, a sender name such as "BANK").
QString keyOf(const QString &number);

// Adds the number; false when it is already on the list or has no key.
bool add(const QString &number, const QString &source, const QString &detail = {});
// Takes the number off the list (and its confirmation, when that still
// waits); false when it was not on it.
bool lift(const QString &number, const QString &source, const QString &detail = {});
bool isSuppressed(const QString &number);
int count();

// Checks many numbers with one prepared statement (queueing and send runs).
class Checker
{
public:
    Checker();
    // True when the number is on the list: it must not be queued or posted.
    bool blocks(const QString &number);

private:
    Database::Statement m_find;
    bool m_empty = false;
};

// A reply cleaned for matching: punctuation removed, blanks collapsed, upper
// case, and OPT OUT / OPT-OUT written OPTOUT.
QString cleanReply(const QString &text);
// The words of a reply, punctuation counting as a blank.
QStringList replyWords(const QString &text);

// The editable word list: word -> true when it lifts an opt-out (START).
QHash<QString, bool> words();
void setWords(const QHash<QString, bool> &words);

// What a reply text means against a word list: exactly an opt-out word,
// exactly a lifting word, an opt-out word among others, or nothing.
ReplyKind classify(const QString &text, const QHash<QString, bool> &words);

// When the OptOutConfirmation setting holds a text, queues it once as a
// service message (no footer) marked as the confirmation of this number's
// opt-out, so that the list lets it through; nothing when the setting is
// empty, the number has no key (a sender name), or a confirmation to it is
// already waiting. Gives whether it queued one.
bool queueConfirmation(const QString &number);

// Acts on a stored reply at once: an opt-out word suppresses the sender, a
// lifting word lifts it, a word among others flags the reply as a possible
// opt-out. Writes SMSReplies.OptOut. A number that comes on the list gets
// the confirmation (queueConfirmation). Gives what it did.
ReplyKind takeReply(qint64 replyId, const QString &phoneNumber, const QString &message,
                    const QHash<QString, bool> &words);
// The operator's one-click action on a flagged reply: suppresses its sender
// (and queues the confirmation when it came on the list).
bool confirmPossible(qint64 replyId);

// The list as CSV: Number,OptedOutAt,Source,Detail with a header line.
void exportCsv(const QString &path);
struct ImportResult
{
    int added = 0;
    int alreadyListed = 0;
    int unusable = 0; // lines without a usable number
};
// Reads numbers from the first column of a CSV file (a header line is
// recognised and skipped); all added in one transaction or none.
ImportResult importCsv(const QString &path);

} // namespace OptOuts
