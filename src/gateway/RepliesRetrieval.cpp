#include "gateway/RepliesRetrieval.h"

#include "data/Database.h"
#include "data/modFunctions.h"
#include "gateway/CycleSupport.h"
#include "gateway/GatewayAnswers.h"
#include "gateway/GatewayClient.h"

#include <optional>

using modFunctions::TrimBlanks;

RepliesRetrieval::RepliesRetrieval(CycleHost &host) : RepliesRetrieval(host, CycleTexts::Ready) {}

RepliesRetrieval::RepliesRetrieval(CycleHost &host, QString doneText) : m_host(host), m_doneText(std::move(doneText))
{
}

bool RepliesRetrieval::FetchReplies()
{
    CycleBusy busy(m_host, m_busy);
    try {
        m_host.setStatus(QStringLiteral("Getting new status of smse sent ..."));
        QString answer;
        try {
            answer = GatewayClient().replies();
        } catch (const GatewayError &) {
            // counts as an empty answer
        }
        const GatewayAnswers::RepliesList list = GatewayAnswers::replies(answer);
        if (list.wellFormed) {
            m_host.setStatus(QStringLiteral("Parsing results ..."));
            std::optional<Database::Batch> batch;
            try {
                batch.emplace();
            } catch (const AppError &) {
                // written one by one instead
            }
            for (const GatewayAnswers::Reply &reply : list.replies) {
                const QString id = TrimBlanks(reply.incomingId);
                if (!id.isEmpty()) {
                    try {
                        // Another program fetching the same replies may store one
                        // first; the server's unique identifier keeps it once.
                        const bool known = Database::value(KnownReplySql, {id}).isValid();
                        if (!known)
                            Database::run(QStringLiteral(
                                "INSERT INTO SMSReplies (IncomingID, PhoneNumber, Message, ReceivedDateTime, "
                                "SentMessage, SentDateTime, SMSSendID) VALUES (?, ?, ?, ?, ?, ?, ?) ON CONFLICT DO NOTHING"),
                                {reply.incomingId, reply.phoneNumber, reply.message,
                                 GatewayAnswers::storedDateTime(reply.received), reply.sentMessage,
                                 GatewayAnswers::storedDateTime(reply.sentDateTime), reply.smsSendId});
                    } catch (const AppError &) {
                        // the reply is passed over
                    }
                }
                m_host.yieldToEvents();
            }
            // A commit that fails is the run's error: none of the replies is stored.
            if (batch)
                batch->commit();
        }
        m_host.inboxChanged();
        m_host.setStatus(m_doneText);
    } catch (const AppError &error) {
        EndWithError(m_host, busy, error);
        return false;
    }
    return true;
}
