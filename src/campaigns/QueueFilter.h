#pragma once

#include "campaigns/OptOuts.h"

#include <QDateTime>
#include <QString>
#include <QVariant>

// How one queueing action treats its messages, and what it left out.
struct QueueCampaign
{
    bool marketing = false;
    qint64 leftOut = 0; // addressees not queued because their number opted out
    // Scheduled: the rows are not posted before this time (invalid: at the next
    // run). The batch is made with the first row written.
    QDateTime sendAt;
    QString description; // what is queued, for the list of batches ("Group Friends")
    qint64 batchId = 0;
};

// What every queueing path asks before it writes a row: whether the number is
// left out (it opted out) and the text the row carries (a marketing message
// ends with the sender's name and the stop text).
class QueueFilter
{
public:
    explicit QueueFilter(QueueCampaign *campaign);

    // True (and counted) when the number is on the opt-out list.
    bool leaveOut(const QString &number);
    // The row's text for this addressee: merge fields filled from the contact
    // (none for 0), then the marketing footer. Throws UnresolvedField when a
    // field has no value and no fallback.
    QString text(const QString &body, qint64 clientId, const QString &number) const;
    int marketing() const { return m_campaign && m_campaign->marketing ? 1 : 0; }
    // SMSSend.BatchID for the next row: NULL unless the queueing is
    // scheduled, when its batch is made on first use.
    QVariant batch();

private:
    QueueCampaign *m_campaign;
    OptOuts::Checker m_checker;
    QString m_senderName;
};
