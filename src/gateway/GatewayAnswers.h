#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QVariant>

#include <optional>

// How the gateway's answers are read. Pure functions: no network, no database.
namespace GatewayAnswers {

// Credits: the leading number of the answer. An answer that does not begin
// with a number ("FALSE: ...", an error page, nothing) holds no balance.
std::optional<double> credits(const QString &answer);

// SingleSMS: refused when the first five characters of the raw answer, in
// upper case, are "FALSE"; otherwise accepted with the answer's leading
// number as batch number.
struct SingleSmsAnswer
{
    bool accepted = false;
    QString batch = QStringLiteral("0"); // decimal text; "0" when refused
    QString cleaned;                     // the answer without tabs and line breaks, blanks trimmed
    // Refused: the gateway's reason, what follows "FALSE" without the
    // punctuation and blanks before it ("FALSE: Not enough credits" ->
    // "Not enough credits"); empty when it gave none.
    QString reason;
};
SingleSmsAnswer singleSms(const QString &answer);

// A number read from an answer that names a row or an entry: a whole number
// from 0 to what 64 bits hold. Nothing for any other (1E30, "1E400" read as
// infinity, a negative number, a fraction), which is then never converted.
std::optional<qint64> wholeKey(double value);

// One entry of the delivery-status report ("sent/msg"), children read by position.
struct StatusEntry
{
    qint64 trn = 0;        // leading number of child 0
    QString flag;          // child 5 as sent
    qint64 customerId = 0; // leading number of child 6
    bool delivered() const;
};

// One item per msg element in document order; an element that lacks any of
// children 0, 5 and 6, or whose child 0 or 6 is no whole key, is passed over
// (nullopt). `highestTrn` is the highest transaction number of all elements
// whose child 0 is a whole key, passed over or not.
struct StatusReport
{
    bool wellFormed = false;
    qint64 highestTrn = 0;
    QList<std::optional<StatusEntry>> entries;
};
StatusReport statusReport(const QString &answer);

// One reply ("replies/reply"), children read by position.
struct Reply
{
    QString incomingId;   // 0, as received
    QString phoneNumber;  // 2
    QString message;      // 3
    QString received;     // 4, as received
    QString sentMessage;  // 5
    QString sentDateTime; // 6, as received
    qint64 smsSendId = 0; // leading number of 7; 0 (no outbox row) when that is no whole key
};

struct RepliesList
{
    bool wellFormed = false;
    bool listed = false; // well formed and its root is "replies"
    int total = 0;       // every reply element, whole or not
    QList<Reply> replies;
};
RepliesList replies(const QString &answer);

// What a gateway said, short enough to quote to the operator: the title of an
// HTML page, otherwise the text without tags, blanks collapsed; empty when
// that is long or there is nothing.
QString shortWords(const QString &answer);

// A date and time as the gateway may write it: "yyyy-MM-dd HH:mm:ss", ISO
// with "T" (an offset or "Z" is turned into the office's time), with or without
// seconds, "yyyy/MM/dd HH:mm[:ss]", "dd/MM/yyyy HH:mm[:ss]" (day first;
// month first only when day first cannot be a date), a date alone, and
// 12-hour forms with AM or PM. Nothing when the text cannot be read.
std::optional<QDateTime> dateTime(const QString &text);

// The stored form of such a text: "yyyy-MM-dd HH:mm:ss", or NULL when it
// cannot be read.
QVariant storedDateTime(const QString &text);

} // namespace GatewayAnswers
