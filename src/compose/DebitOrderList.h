#pragma once

#include "outbox/NumberScreen.h"
#include "outbox/OutboxWriter.h"

#include <QList>
#include <QString>
#include <QStringList>

// The debit-order list: a comma-separated text file of accounts (identifier,
// cellphone number, optionally the code of the reason the debit came back)
// turned into one outbox message per account.
namespace DebitOrderList {

struct Row
{
    QString id;
    QString cellphone;
    QString message;
};

// The checks that colour a row; where several apply the later one wins:
// LineInvalid, then MessageTooLong, then CellTooShort.
enum class Style { None, LineInvalid, MessageTooLong, CellTooShort };

inline constexpr int MessageTooLongAt = 159;
inline constexpr int CellTooShortBelow = 10;

Style styleOf(const Row &row);
// Whether the row is marked for a missing field or a number too short,
// whichever colour it shows: such a row is never queued.
bool markedOut(const Row &row);

// The words for a reason code whose numeric value is in the table; any other
// field comes back unchanged.
QString reasonText(const QString &field);

struct Loaded
{
    QList<Row> rows;
    qint64 linesRead = 0;     // every line, blank ones included
    QList<qint64> shortLines; // 1-based numbers of non-blank lines with too few fields
    int fieldsRequired = 2;
};

// Turns the lines of a file into rows: blank lines are skipped, every other
// line is split at each comma and its fields trimmed of blanks; a line is a
// row when its identifier begins with a number greater than 0. The message
// (trimmed) is followed directly by the trimmed reason when readReason.
Loaded parse(const QStringList &lines, const QString &message, bool readReason);

// Reads the file (UTF-8 when valid, otherwise Windows-1252) and parses it.
// Throws AppError when the file cannot be read.
Loaded load(const QString &path, const QString &message, bool readReason);

// The notice about lines left out for too few fields; empty when none were.
// Names the first few line numbers, then "...".
QString shortLinesNotice(const Loaded &loaded);

// The list as it will be imported: the rows neither marked out nor left out
// by the screen (see NumberScreen: the same number with the same message
// twice is one message), the own number when the screen lets it through, how
// many rows were marked out, and what the screen left out.
struct Plan
{
    QList<Row> rows;
    QString ownNumber;
    qint64 markedOut = 0;
    SkippedNumbers skipped;
};
Plan screen(const QList<Row> &rows, const QString &ownNumber = {});

// Queues every row (number and message trimmed of blanks; no contact, date or
// time), then, when ownNumber is not blank, "Finished Sending." to it. One
// batch of writes; rows written before an error stay stored.
struct Imported
{
    qint64 rows = 0;
    bool toSelf = false;
    qint64 markedOut = 0; // rows of the list left out for their marks
};
Imported import(const QList<Row> &rows, const QString &ownNumber = {}, QueueCampaign *campaign = nullptr);

// "Done Importing N records", with " and 1 to yourself" when the closing row
// was added, and a line on the marked rows left out when there were any.
QString importedText(const Imported &imported);

} // namespace DebitOrderList
