#pragma once

#include <QString>

class CycleHost;

// Fetches the gateway's HTML report page and writes what it says back into
// the outbox: each row's identifier into SentID, and Delivered for a message
// reported as sent. Never sets Delivered back to false. A row the page names
// was received by the gateway: it is never posted again.
class SendReportRetrieval
{
public:
    explicit SendReportRetrieval(CycleHost &host);

    // False when an error ended the run (shown, with "ERROR" as the status),
    // or when the gateway could not be reached, answered with an error status
    // or with a page that holds no report (the status says which; nothing is
    // stored). A row that cannot be written ends the run with its error, and
    // nothing of the page is stored.
    bool GetReport();

private:
    CycleHost &m_host;
    bool m_busy = false;
};
