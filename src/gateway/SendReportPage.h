#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>

// How the gateway's HTML report page is read: the table after the word
// DATAGRID is cut out with plain text searches and split into rows at "</TR>"
// and cells at "</TD>". Pure functions: no network, no database.
namespace SendReportPage {

// The page upper-cased from one character past the word DATAGRID (past the
// first eight characters when it is missing) up to "</TABLE>" (to the end when
// that is missing), split at every "</TR>". Text after the last "</TR>" is a
// row text of its own.
QStringList rowTexts(const QString &page);

// Whether the page holds the report table: the word DATAGRID, in any case.
bool holdsReport(const QString &page);

// One row of the table: the gateway's message identifier, number, text, date
// and time, the customer identifier the message was submitted with and its
// delivery status, in that order.
struct Row
{
    QString sentId;
    QString phoneNumber;
    QString data;
    QString dateTime;
    QString customerId;
    QString status;

    // The outbox row it names: none for an empty identifier or "NONE" (a
    // message without an outbox row), else the identifier's leading number.
    std::optional<qint64> outboxKey() const;
    // "SENT", blanks around it ignored.
    bool delivered() const;
};

// The cells of a row text, cleaned of line breaks, row and cell tags and
// surrounding blanks. Missing cells are empty, and so is a cell that holds its
// column's name: the heading row reads as a row without identifiers.
Row readRow(const QString &rowText);

// Every message the page lists with an outbox row: customer identifier ->
// the gateway's identifier. Nothing unless the page holds the whole table
// (the word DATAGRID, the heading row with the six column names, and the
// table's end): an error page must never read as "received nothing".
std::optional<QHash<qint64, QString>> received(const QString &page);

} // namespace SendReportPage
