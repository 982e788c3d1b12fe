#pragma once

#include "gateway/RunSummary.h"

#include <QString>

class CycleHost;
class GatewayClient;
namespace GatewayAnswers {
struct StatusEntry;
struct StatusReport;
} // namespace GatewayAnswers

// Fetches the new entries of the gateway's delivery-status report, page by
// page after the resume point Setup.LastHighestTrn, and marks the outbox rows
// whose messages were delivered (and those the gateway received as no longer
// in doubt). Rows still in doubt afterwards are settled from the gateway's
// list of every message it received: sent, or never received (queued again
// unless the RequeueUnreceived setting is off, else shown as failed).
class StatusRetrieval : public SummaryReporter
{
public:
    explicit StatusRetrieval(CycleHost &host);

    void FetchStatusReports();

    // LastHighestTrn of the first Setup row as decimal text; "0" without a row.
    static QString ReadLastHighestTrn();
    // Stores the leading number of the text; false when there is no Setup row.
    static bool SaveLastHighestTrn(const QString &value);

    // A full page of the report; a page with fewer entries ends the run.
    static constexpr int ReportPage = 100;

private:
    // What a run carries from page to page.
    struct Run
    {
        QString resume = QStringLiteral("0"); // the point the last page was asked from
        qint64 highest = 0;                   // the highest transaction number of the run
        qint64 counter = 1;                   // entries read, for the status text
    };
    // Asks for the entries after the stored resume point and stores them; how
    // many the answer held (0 for an answer that is no report, or a full page
    // that did not move past the point asked from, which ends the run).
    qsizetype fetchPage(GatewayClient &client, Run &run);
    // The page's entries and the new resume point in one transaction.
    void storePage(const GatewayAnswers::StatusReport &report, Run &run);
    void settleDoubt(GatewayClient &client);

    CycleHost &m_host;
    QString m_doubtNote; // what the run's end says about rows in doubt
    bool m_busy = false;
};
