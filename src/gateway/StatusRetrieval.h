#pragma once

#include <QString>

class CycleHost;

// Fetches the new entries of the gateway's delivery-status report, page by
// page after the resume point Setup.LastHighestTrn, and marks the outbox rows
// whose messages were delivered.
class StatusRetrieval
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
    CycleHost &m_host;
    bool m_busy = false;
};
