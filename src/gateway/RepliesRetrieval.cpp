#include "gateway/RepliesRetrieval.h"

#include "campaigns/OptOuts.h"
#include "data/Database.h"
#include "data/PhoneNumbers.h"
#include "data/modFunctions.h"
#include "gateway/CycleSupport.h"
#include "gateway/GatewayAnswers.h"
#include "gateway/GatewayClient.h"

#include <optional>

using modFunctions::TrimBlanks;

RepliesRetrieval::RepliesRetrieval(CycleHost &host) : RepliesRetrieval(host, CycleTexts::Ready) {}

RepliesRetrieval::RepliesRetrieval(CycleHost &host, QString doneText, Failures failures)
    : m_host(host), m_doneText(std::move(doneText)), m_failures(failures)
{}

bool RepliesRetrieval::FetchReplies()
{
    CycleBusy busy(m_host, m_busy);
    try {
        m_host.setStatus(QStringLiteral("Getting new status of smse sent ..."));
        const bool reported = m_failures == Failures::Reported;
        const QString run = QStringLiteral("Getting replies");
        QString answer;
        try {
            answer =
                GatewayClient().replies(reported ? GatewayClient::Expect::Success : GatewayClient::Expect::Anything);
        } catch (const GatewayError &error) {
            summary().failed(RunSummary::Replies, error.description());
            if (reported) {
                EndWithGatewayFailure(m_host, busy, run, error.description());
                return false;
            }
            // otherwise it counts as an empty answer
        }
        const GatewayAnswers::RepliesList list = GatewayAnswers::replies(answer);
        if (!list.listed) {
            const QString unreadable =
                UnreadableAnswer(list.wellFormed ? QStringLiteral("a list of replies") : QStringLiteral("XML"),
                                 GatewayAnswers::shortWords(answer));
            // An empty answer here follows a failed request, already told.
            if (reported || !answer.isEmpty())
                summary().failed(RunSummary::Replies, unreadable);
            if (reported) {
                EndWithGatewayFailure(m_host, busy, run, unreadable);
                return false;
            }
        }
        summary().replies(storeNew(list, true));
        m_host.inboxChanged();
        m_host.setStatus(m_doneText);
    } catch (const AppError &error) {
        summary().failed(RunSummary::Replies, error.description());
        EndWithError(m_host, busy, error);
        return false;
    }
    return true;
}

int RepliesRetrieval::storeNew(const GatewayAnswers::RepliesList &list, bool showStatus)
{
    if (!list.wellFormed)
        return 0;
    if (showStatus)
        m_host.setStatus(QStringLiteral("Parsing results ..."));
    std::optional<Database::Batch> batch;
    try {
        batch.emplace();
    } catch (const AppError &) {
        // written one by one instead
    }
    const QHash<QString, bool> words = OptOuts::words();
    Database::RowStatement known(KnownReplySql);
    Database::RowStatement add(QStringLiteral(
        "INSERT INTO SMSReplies (IncomingID, PhoneNumber, Message, ReceivedDateTime, "
        "SentMessage, SentDateTime, SMSSendID, NumberKey) VALUES (?, ?, ?, ?, ?, ?, ?, ?) ON CONFLICT DO NOTHING"));
    EventTurns turns(m_host);
    int stored = 0;
    for (const GatewayAnswers::Reply &reply : list.replies) {
        const QString id = TrimBlanks(reply.incomingId);
        if (!id.isEmpty()) {
            qint64 replyId = 0;
            try {
                // Another program fetching the same replies may store one first;
                // on a shared server its unique identifier keeps it once (and
                // the insert then gives no key).
                const QString key = PhoneNumbers::storedKey(reply.phoneNumber);
                if (!known.finds({id}))
                    replyId = add.insert({reply.incomingId, reply.phoneNumber, reply.message,
                                          GatewayAnswers::storedDateTime(reply.received), reply.sentMessage,
                                          GatewayAnswers::storedDateTime(reply.sentDateTime), reply.smsSendId, key});
            } catch (const AppError &) {
                // the reply is passed over
            }
            if (replyId > 0) {
                ++stored;
                // A STOP that cannot be recorded is the run's error: the
                // batch is not committed, so the reply comes back next time.
                OptOuts::takeReply(replyId, reply.phoneNumber, reply.message, words);
            }
        }
        turns.offer();
    }
    // A commit that fails is the run's error: none of the replies is stored.
    if (batch)
        batch->commit();
    return stored;
}

QString RepliesRetrieval::storeBeforeSending(const GatewayClient::Answer &asked)
{
    QString answer;
    try {
        answer = asked.take();
    } catch (const GatewayError &error) {
        return error.description();
    }
    const GatewayAnswers::RepliesList list = GatewayAnswers::replies(answer);
    if (!list.listed)
        return UnreadableAnswer(list.wellFormed ? QStringLiteral("a list of replies") : QStringLiteral("XML"),
                                GatewayAnswers::shortWords(answer));
    const int stored = storeNew(list, false);
    summary().replies(stored);
    if (stored > 0)
        m_host.inboxChanged();
    return {};
}
