#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QVariantList>

// Scheduled batches (SendBatches): a queueing with a send-at time becomes a
// batch whose rows no send run posts before that time, nor while the batch
// is held. Times are stored in UTC ("yyyy-MM-ddTHH:mm:ssZ", which sorts as
// text in time order).
namespace Batches {

struct Batch
{
    qint64 id = 0;
    QDateTime sendAt; // UTC
    QString description;
    bool held = false;
    int unsent = 0;    // rows not yet attempted
    int marketing = 0; // of those, marketing messages
};

QString stamp(const QDateTime &at);
// An invalid QDateTime for a text that is not a stamp.
QDateTime parse(const QString &stamp);

// Makes a batch (joins the caller's transaction); gives its key.
qint64 create(const QDateTime &sendAt, const QString &description);
// Every batch with rows not yet attempted, by send-at time.
QList<Batch> waiting();
// Holds the batches; gives how many were not held before.
int hold(const QList<qint64> &ids);
// Lets a held batch go: it is sent at the next run. False when it was not held.
bool release(qint64 id);
// The held batches the outbox rows belong to.
QList<qint64> heldOf(const QList<qint64> &rowIds);

// The condition a queued SMSSend row meets when a run may post it now: in no
// batch, or in one that is due and not held. Its one "?" takes readyValues().
QString readyCondition();
QVariantList readyValues();

} // namespace Batches
