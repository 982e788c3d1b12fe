#pragma once

#include "data/Database.h"

#include <QHash>
#include <QList>
#include <QString>

// What the gateway's reports say about outbox rows. Any report naming a row
// shows that the gateway received its message: a row in doubt is in doubt no
// more, and a row that was queued again is taken out of the queue (it must
// never be posted a second time).
namespace OutboxReports {

class Updates
{
public:
    Updates();
    // An entry of the delivery-status report: the row's transaction number
    // (and Delivered) when it was delivered; a row in doubt or queued takes
    // the transaction number as its batch number. Gives whether a row changed.
    bool statusEntry(qint64 key, const QString &trn, bool delivered);
    // A row of the send-report page: the gateway's identifier always,
    // Delivered when it says so.
    bool reportRow(qint64 key, const QString &sentId, bool delivered);

private:
    Database::RowStatement m_delivered;
    Database::RowStatement m_received;
    Database::RowStatement m_reportRow;
};

// The rows in doubt: claimed by runs that are no longer live, not reported.
QList<qint64> inDoubt();

struct Settled
{
    int received = 0;   // the gateway has them: sent
    int requeued = 0;   // never reached the gateway: queued again
    int unreceived = 0; // never reached the gateway: left failed, for the operator
};
// Settles the rows in doubt from the gateway's list of every message it has
// received (customer identifier -> its identifier there). A row it lists was
// sent; one it does not list never reached it: queued again, or marked
// failed ("Never reached the gateway") when requeueUnreceived is false. A row
// that is no longer in doubt when its turn comes is left alone.
Settled settleDoubt(const QList<qint64> &doubtful, const QHash<qint64, QString> &received, bool requeueUnreceived);

} // namespace OutboxReports
