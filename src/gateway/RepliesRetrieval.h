#pragma once

#include "gateway/GatewayAnswers.h"
#include "gateway/GatewayClient.h"
#include "gateway/RunSummary.h"

#include <QString>

class CycleHost;

// Fetches the replies the gateway holds for the account and stores each one
// that is not stored yet (known by its identifier without surrounding blanks).
class RepliesRetrieval : public SummaryReporter
{
public:
    // What a request that fails makes of a run: an empty answer (the main
    // window's cycles go on with their next step), or the run's failure.
    enum class Failures { CountAsEmpty, Reported };

    explicit RepliesRetrieval(CycleHost &host);
    // `doneText` is the status a run ends with ("Done. Ready ..." unless told).
    RepliesRetrieval(CycleHost &host, QString doneText, Failures failures = Failures::CountAsEmpty);

    // False when an error ended the run (it was shown, and "ERROR" is the
    // status), or, with reported failures, when the gateway could not be
    // reached, answered with an error status or with something that is not a
    // list of replies (the status says which; nothing was stored).
    bool FetchReplies();
    // What a send run does first, so that a STOP that has arrived is honoured:
    // stores the new replies of the run's replies request without status
    // texts. Gives why the replies could not be fetched (empty when they
    // were); a database error is thrown.
    QString storeBeforeSending(const GatewayClient::Answer &asked);

    // Whether a reply is stored: one bound value, the identifier without
    // surrounding blanks. Answered from the index SMSReplies_Incoming.
    static inline const QString KnownReplySql =
        QStringLiteral("SELECT 1 FROM SMSReplies WHERE trim(coalesce(IncomingID, '')) = ?");

private:
    // Stores the replies not stored yet, each acted on by the opt-out rules
    // as it is stored; gives how many were stored.
    int storeNew(const GatewayAnswers::RepliesList &list, bool showStatus);

    CycleHost &m_host;
    QString m_doneText;
    Failures m_failures;
    bool m_busy = false;
};
