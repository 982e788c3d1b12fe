#pragma once

#include "outbox/OptOutList.h"

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>

// What replies do to the opt-out list (which the outbox keeps: OptOutList):
// the words that opt out or lift an opt-out, the reply rules, the
// confirmation, and the list as a CSV file.
namespace OptOuts {

// What a reply did (SMSReplies.OptOut).
enum class ReplyKind { None = 0, OptOut = 1, Possible = 2, Lift = 3, Confirmed = 4 };

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

// When the OptOutConfirmation setting holds a text, queues it once to the
// number (OptOutList::queueConfirmation); nothing when the setting is empty.
// Gives whether it queued one.
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
