#include "gateway/OutboxSender.h"

#include "campaigns/Schedule.h"
#include "campaigns/SendGate.h"
#include "data/Database.h"
#include "data/modFunctions.h"
#include "gateway/CycleSupport.h"
#include "gateway/GatewayAnswers.h"
#include "gateway/GatewayClient.h"
#include "gateway/MessagePoster.h"
#include "gateway/RepliesRetrieval.h"
#include "outbox/Dispatch.h"
#include "outbox/FailReasons.h"
#include "outbox/Numbers.h"
#include "outbox/SendRuns.h"
#include "settings/RunningSetup.h"

#include <QElapsedTimer>
#include <QHash>

#include <algorithm>
#include <cmath>
#include <utility>

using modFunctions::DecimalText;
using modFunctions::TrimBlanks;

namespace {

const QString TitleCredits = QStringLiteral("CREDITS");
const QString NoCredits =
    QStringLiteral("Please check credits first, or there is not enough credits left for the amount of sms to be send. "
                   "Either buy more credits or delete some of the sms.");
const QString NotEnoughCredits = QStringLiteral("There is not enough credits left for the amount of sms to be send. "
                                                "Either buy more credits or delete some of the sms.");
const QString TitleSend = QStringLiteral("SEND");
const QString CheckingCredits = QStringLiteral("Checking Credits ...");
const QString SendPart = QStringLiteral("Do you only want to send the amount of sms that you have credits for?");

constexpr qint64 ErrorRunEnded = 3200;
constexpr qint64 ErrorNoBalance = 3201;

// The balance a Credits answer holds. A refusal or a page without one is an
// error quoting the gateway, never a balance of 0: the operator is told what
// went wrong instead of being told to buy credits.
double balanceIn(const QString &answer)
{
    const std::optional<double> balance = GatewayAnswers::credits(answer);
    if (!balance)
        throw GatewayError(ErrorNoBalance,
                           UnreadableAnswer(QStringLiteral("a credit balance"), GatewayAnswers::shortWords(answer)),
                           false);
    return *balance;
}

} // namespace

OutboxSender::OutboxSender(CycleHost &host) : OutboxSender(host, Texts()) {}

OutboxSender::OutboxSender(CycleHost &host, Texts texts) : m_host(host), m_texts(std::move(texts)) {}

void OutboxSender::CheckCredits()
{
    CycleBusy busy(m_host, m_busy);
    if (TrimBlanks(RunningSetup::gatewayUsername()).isEmpty()
        || TrimBlanks(RunningSetup::gatewayPassword()).isEmpty()) {
        busy.release();
        m_host.inform(QStringLiteral("USERNAME/PASSWORD"),
                      QStringLiteral("No username and/or password was specified."));
        return;
    }
    try {
        m_host.setCreditsText(DecimalText(balanceIn(GatewayClient().credits())));
    } catch (const AppError &error) {
        busy.release();
        m_host.setStatus(QStringLiteral("Check Credits failed: ") + error.description());
        m_host.showError(error);
    }
}

double OutboxSender::RefreshCredits()
{
    CycleBusy busy(m_host, m_busy);
    m_host.setStatus(CheckingCredits);
    return showBalance(GatewayClient().credits());
}

double OutboxSender::showBalance(const QString &answer)
{
    const double balance = balanceIn(answer);
    m_host.setCreditsText(DecimalText(balance));
    m_host.setStatus(m_texts.creditsChecked);
    return balance;
}

int OutboxSender::CountQueued()
{
    return Dispatch::count(Dispatch::Choice::ready());
}

QString OutboxSender::SendSingleSMS(const QString &number, const QString &text, const QString &customer)
{
    if (TrimBlanks(number).isEmpty() || TrimBlanks(text).isEmpty())
        return QStringLiteral("0");
    const QString sendingTo = QStringLiteral("Sending SMS to ") + TrimBlanks(number);
    m_host.setStatus(sendingTo);
    m_host.logSend(sendingTo);
    const QString answer = GatewayClient().singleSms(number, TrimBlanks(text), customer);
    const GatewayAnswers::SingleSmsAnswer read = GatewayAnswers::singleSms(answer);
    if (read.accepted) {
        m_host.setStatus(QStringLiteral("SMS Sent - BatchID: ") + read.batch);
        m_host.logSend(QStringLiteral("SMS sent - BatchID: ") + modFunctions::StripLineBreaks(answer));
    } else {
        m_host.setStatus(QStringLiteral("SMS NOT sent : ") + read.cleaned);
        m_host.logSend(QStringLiteral("SMS NOT sent : ") + modFunctions::StripLineBreaks(answer));
    }
    return read.batch;
}

namespace {

// A run stops handing out messages when this many requests in a row got no
// answer: the gateway is not answering, and every further message would only
// join the ones in doubt.
constexpr int StopAfterFailuresInARow = 3;

// Rows are marked in flight about this far ahead of posting them: the synced
// commit then costs little per message at any pace, and a crash leaves few
// rows marked that never went out.
constexpr qint64 MarkAheadMs = 20;
constexpr int MaxMarkAhead = 256;

// A refusal that says the account has no credits left: every message after it
// would be refused the same way.
bool refusedForCredits(const GatewayAnswers::SingleSmsAnswer &answer)
{
    return !answer.accepted && answer.cleaned.contains(QStringLiteral("credit"), Qt::CaseInsensitive);
}

// The run's first error, with what became of the messages that got no answer.
AppError firstErrorTold(const GatewayError &first, int inDoubt)
{
    QString description = first.description();
    if (inDoubt > 0)
        description +=
            (inDoubt == 1
                 ? QStringLiteral("\n\n1 message got no answer and may have reached the gateway.")
                 : QStringLiteral("\n\n%1 messages got no answer and may have reached the gateway.").arg(inDoubt))
            + QStringLiteral(" The outbox shows them as \"sent?\"; the next Receive asks the gateway "
                             "whether it has them, and they are not sent again before it says.");
    return AppError(first.number(), description, first.source());
}

} // namespace

// How a send run that got as far as posting ended.
struct OutboxSender::RunResult
{
    std::optional<GatewayError> firstError;
    QString keptBackTitle, keptBack; // what the run kept back and why, for the operator
    int inDoubt = 0;                 // requests that may have reached the gateway without an answer
    bool creditsOut = false;
    bool endedElsewhere = false; // another program ended the run's registration
};

int OutboxSender::markAhead(int connections)
{
    return std::max(8, 2 * connections);
}

// One send run. It registers itself (SendRuns) and beats while it goes, so
// that other programs know its rows are being sent. Rows are handed out in
// the run's order to free connections. Before a message is posted its row is
// claimed for the run in a synced commit that claims a few rows ahead (at
// least markAhead(), more when messages go out fast); its answer clears the
// claim and stores the batch number. A row still claimed when the run has
// ended may have reached the gateway: it is in doubt until a delivery report
// settles it. Rows claimed but not posted go back to the queue when the run
// ends.
class OutboxSender::Run
{
public:
    Run(OutboxSender &sender, Dispatch::ReadyRows rows, bool &wrote, SendGate &gate)
        : m_host(sender.m_host), m_summary(sender.summary()), m_rows(std::move(rows)), m_wrote(wrote), m_gate(gate),
          m_poster(RunningSetup::gatewayConnections(), GatewayClient::defaultTimeout(),
                   RunningSetup::gatewayMessagesPerSecond()),
          m_ahead(markAhead(m_poster.connections())), m_rowsOfRun(m_registration.token())
    {}

    ~Run()
    {
        try {
            unclaimUnposted();
        } catch (const AppError &) {
            // They stay claimed: in doubt once the run has ended, never sent twice.
        }
    }
    Run(const Run &) = delete;
    Run &operator=(const Run &) = delete;

    RunResult go()
    {
        for (;;) {
            const qint64 wakeIn = fill();
            if (m_poster.inFlight() == 0 && (m_stop || m_ended))
                break;
            // With several connections, those the answers freed carry the
            // next messages at once, before the answers are stored (what the
            // answers say about going on is known first), and so do those of
            // the answers that came in meanwhile: storing waits while the
            // gateway works. With one, the answer is stored and the window
            // has its turn before the next message goes, as one at a time
            // always went.
            claimAhead();
            readNumbersAhead();
            QList<MessagePoster::Answer> answers = m_poster.wait(wakeIn);
            beat();
            for (qsizetype judged = 0; judged < answers.size();) {
                for (; judged < answers.size(); ++judged)
                    judge(answers[judged]);
                if (m_poster.connections() > 1) {
                    fill();
                    if (m_poster.inFlight() > 0)
                        answers += m_poster.wait(0);
                }
            }
            // Answers in together are stored in one commit (a single one
            // commits on its own); the window has its turn after it, never
            // inside the transaction.
            std::optional<Database::Transaction> together;
            if (answers.size() > 1)
                together.emplace();
            for (const MessagePoster::Answer &answer : answers)
                settle(answer);
            if (together)
                together->commit();
            m_host.yieldToEvents();
        }
        unclaimUnposted();
        m_registration.end();
        m_result.keptBack = m_gate.notice();
        m_result.keptBackTitle = m_gate.noticeTitle();
        return m_result;
    }

private:
    // A claimed row, and its number as read for the gateway once it has been
    // read ahead.
    struct Claimed
    {
        Dispatch::Claimed row;
        std::optional<GatewayNumber> number;
    };

    // The claimed rows' numbers are read while the gateway works on the
    // messages in flight, so that an answer's freed connection carries the
    // next message without that work.
    void readNumbersAhead()
    {
        if (m_poster.inFlight() == 0)
            return;
        for (Claimed &claimed : m_claimed) {
            if (!claimed.number)
                claimed.number = NormaliseNumber(claimed.row.message.number);
        }
    }

    // Hands out messages while a connection is free; the poster writes each
    // when the rate limit lets it go. How long to wait at most before handing
    // out again (-1: until an answer comes).
    qint64 fill()
    {
        while (!m_stop && !m_ended && m_poster.hasFreeConnection()) {
            std::optional<Claimed> row = nextClaimed();
            if (!row) {
                m_ended = true;
                break;
            }
            handOut(*row);
        }
        return m_poster.inFlight() > 0 ? SendRuns::HeartbeatMs : -1;
    }

    // The registration's heartbeat. A run another program has ended (its
    // heartbeat had lapsed, and its rows may be queued again there) posts
    // nothing more.
    void beat()
    {
        if (m_stop || m_registration.beat())
            return;
        m_result.endedElsewhere = true;
        m_stop = true;
    }

    // Rows for the next answers' connections are claimed while the gateway
    // works on the messages in flight, not when their answers are in.
    void claimAhead()
    {
        if (!m_stop && !m_ended && m_poster.inFlight() > 0 && m_claimed.size() < m_poster.connections()
            && rowsLeftToClaim())
            claimNext();
    }

    bool rowsLeftToClaim() const { return !m_pending.isEmpty() || !m_rowsEnded; }

    std::optional<Claimed> nextClaimed()
    {
        while (m_claimed.isEmpty() && rowsLeftToClaim())
            claimNext();
        if (m_claimed.isEmpty())
            return std::nullopt;
        return m_claimed.takeFirst();
    }

    // As many rows as went out in MarkAheadMs at the pace of the last batch.
    int batchSize() const
    {
        if (m_lastBatchSize == 0)
            return m_ahead;
        const qint64 ms = std::max<qint64>(1, m_lastBatch.elapsed());
        return int(std::clamp<qint64>(m_lastBatchSize * MarkAheadMs / ms, m_ahead, std::max(m_ahead, MaxMarkAhead)));
    }

    void claimNext()
    {
        const int size = batchSize();
        QList<qint64> keys;
        while (keys.size() < size) {
            if (m_pending.isEmpty()) {
                if (m_rowsEnded)
                    break;
                m_pending = m_rows.next();
                if (m_pending.isEmpty()) {
                    m_rowsEnded = true;
                    break;
                }
            }
            keys.append(m_pending.takeFirst());
        }
        if (keys.isEmpty())
            return;
        const QList<Dispatch::Claimed> claimed = Dispatch::claim(m_rows.choice(), keys, m_registration.token());
        for (const Dispatch::Claimed &row : claimed)
            m_claimed.append({row, std::nullopt});
        m_lastBatchSize = claimed.size();
        m_lastBatch.start();
        m_wrote = m_wrote || !claimed.isEmpty();
    }

    void unclaimUnposted()
    {
        QList<qint64> keys;
        for (const Claimed &claimed : std::exchange(m_claimed, {}))
            keys.append(claimed.row.key);
        Dispatch::unclaim(keys, m_registration.token());
    }

    // Posts the row's message, or settles the row at once when it has none to post.
    void handOut(const Claimed &claimed)
    {
        const qint64 key = claimed.row.key;
        if (!m_rowsOfRun.stillClaimed(key))
            return; // deleted, or reported, while the run waited
        const QString &number = claimed.row.message.number;
        const QString text = TrimBlanks(claimed.row.message.text);
        const GatewayNumber normalised = claimed.number ? *claimed.number : NormaliseNumber(number);
        QString notPosted;
        if (TrimBlanks(number).isEmpty())
            notPosted = FailReasons::NoNumber;
        else if (!normalised.sendable())
            notPosted = normalised.failReason();
        else if (text.isEmpty())
            notPosted = FailReasons::NoText;
        if (!notPosted.isEmpty()) {
            m_summary.notPosted(notPosted);
            answered(key, QStringLiteral("0"), notPosted);
            advance();
            return;
        }
        switch (m_gate.check(normalised.number, claimed.row.message.marketing, claimed.row.message.confirmsOptOut)) {
        case SendGate::Verdict::OptedOut:
            m_summary.optedOut();
            answered(key, OptOutList::OptedOutEventId);
            advance();
            return;
        case SendGate::Verdict::Wait:
            m_summary.leftForSendingWindow();
            Dispatch::unclaim({key}, m_registration.token());
            advance();
            return;
        case SendGate::Verdict::Post:
            break;
        }
        m_postedAt.insert(key, SendGate::postedStamp());
        const QString sendingTo = QStringLiteral("Sending SMS to ") + normalised.number;
        m_host.setStatus(sendingTo);
        try {
            m_poster.post(key, normalised.number, text);
        } catch (const GatewayError &error) {
            failed(key, error);
            advance();
            return;
        }
        m_sendingLines.insert(key, sendingTo);
    }

    // Whether the run may go on after this answer. One that certainly did
    // not reach the gateway, or a refusal for lack of credits, stops new
    // messages; so do failures that keep coming without an answer between them.
    void judge(const MessagePoster::Answer &answer)
    {
        if (answer.error) {
            if (!answer.error->mayHaveReached() || ++m_failuresInARow >= StopAfterFailuresInARow)
                m_stop = true;
            return;
        }
        m_failuresInARow = 0;
        if (refusedForCredits(GatewayAnswers::singleSms(answer.text))) {
            m_result.creditsOut = true;
            m_stop = true;
        }
    }

    void settle(const MessagePoster::Answer &answer)
    {
        // A window that logs the run gets each message's lines together, in
        // the order the answers come.
        m_host.logSend(m_sendingLines.take(answer.key));
        if (answer.error) {
            failed(answer.key, *answer.error);
        } else {
            const GatewayAnswers::SingleSmsAnswer read = GatewayAnswers::singleSms(answer.text);
            if (read.accepted) {
                m_host.setStatus(QStringLiteral("SMS Sent - BatchID: ") + read.batch);
                m_host.logSend(QStringLiteral("SMS sent - BatchID: ") + modFunctions::StripLineBreaks(answer.text));
            } else {
                m_host.setStatus(QStringLiteral("SMS NOT sent : ") + read.cleaned);
                m_host.logSend(QStringLiteral("SMS NOT sent : ") + modFunctions::StripLineBreaks(answer.text));
            }
            QString reason;
            if (!read.accepted)
                reason = read.reason.isEmpty() ? FailReasons::RefusedWithoutReason : read.reason;
            else if (read.batch == QLatin1String("0"))
                reason = FailReasons::NoBatchNumber;
            if (reason.isEmpty())
                m_summary.sent();
            else if (const QString words = GatewayAnswers::shortWords(answer.text);
                     reason == FailReasons::NoBatchNumber && !words.isEmpty())
                m_summary.refused(reason + QStringLiteral(": ") + words); // an error page's title, say
            else
                m_summary.refused(reason);
            answered(answer.key, read.batch, reason);
        }
        m_host.setProgress(++m_done, m_rows.total());
    }

    // A request that got no answer. One that certainly did not reach the
    // gateway goes back to the queue; one that may have reached it keeps its
    // claim, and is in doubt once the run has ended.
    void failed(qint64 key, const GatewayError &error)
    {
        m_postedAt.remove(key);
        if (!m_result.firstError)
            m_result.firstError = error;
        if (error.mayHaveReached()) {
            ++m_result.inDoubt;
            m_summary.inDoubt(1);
        } else {
            Dispatch::unclaim({key}, m_registration.token());
            m_stop = true;
        }
    }

    // Stores what became of a row (a failed one keeps why: empty `reason`
    // for one accepted). A row changed behind the run's back is said in the
    // log and the status line.
    void answered(qint64 key, const QString &eventId, const QString &reason = {})
    {
        const Dispatch::Stored stored = m_rowsOfRun.answer(key, eventId, m_postedAt.take(key), reason);
        m_wrote = true;
        QString note;
        switch (stored) {
        case Dispatch::Stored::Stored:
        case Dispatch::Stored::ClaimedElsewhere:
            return;
        case Dispatch::Stored::TakenBack:
            note =
                QStringLiteral("Message %1 had been queued again meanwhile; it was sent, so it is no longer queued.");
            break;
        case Dispatch::Stored::LeftQueued:
            note = QStringLiteral("Message %1 had been queued again meanwhile; it stays queued.");
            break;
        case Dispatch::Stored::Gone:
            note = QStringLiteral("Message %1 was deleted from the outbox while it was being sent; "
                                  "the gateway's answer could not be stored.");
            break;
        }
        note = note.arg(key);
        m_host.setStatus(note);
        m_host.logSend(note);
    }

    void advance()
    {
        m_host.setProgress(++m_done, m_rows.total());
        m_host.yieldToEvents();
    }

    CycleHost &m_host;
    RunSummary &m_summary;
    Dispatch::ReadyRows m_rows;
    bool &m_wrote;
    SendGate &m_gate;
    MessagePoster m_poster;
    const int m_ahead;
    SendRuns::Registration m_registration;
    Dispatch::RunRows m_rowsOfRun;
    QElapsedTimer m_lastBatch; // since the last rows were claimed
    qint64 m_lastBatchSize = 0;
    QHash<qint64, QString> m_postedAt;     // posted, waiting for their answers
    QList<qint64> m_pending;               // chosen, not yet claimed
    QList<Claimed> m_claimed;              // claimed, not yet posted
    QHash<qint64, QString> m_sendingLines; // posted, waiting for their answers
    bool m_rowsEnded = false;
    bool m_ended = false;
    bool m_stop = false;
    int m_done = 0;
    int m_failuresInARow = 0;
    RunResult m_result;
};

bool OutboxSender::SendOutbox()
{
    return send(Dispatch::Choice::ready());
}

bool OutboxSender::SendBatches(const QList<qint64> &batches)
{
    return !batches.isEmpty() && send(Dispatch::Choice::ofBatches(batches));
}

bool OutboxSender::send(const Dispatch::Choice &choice)
{
    CycleBusy busy(m_host, m_busy);
    bool wrote = false;
    RunResult result;
    QString heldStatus; // why marketing messages waited this run
    QString step = RunSummary::Replies;
    int queued = 0;
    const int handledBefore = summary().handled();
    // Rows of the run's choice that it neither settled nor left for the
    // sending window stay queued for the next run.
    const auto leftQueued = [&] { summary().leftQueued(std::max(0, queued - (summary().handled() - handledBefore))); };
    try {
        SendGate gate;
        // A STOP waiting at the gateway must be read before a marketing
        // message goes to its sender; service messages need not wait for it.
        // The replies and the balance are asked together, so the first
        // message waits for one answer, not two.
        m_host.setStatus(CheckingCredits);
        const QList<GatewayClient::Answer> asked = GatewayClient().exchangeTogether(
            {GatewayClient::repliesRequest(GatewayClient::Expect::Success), GatewayClient::creditsRequest()});
        RepliesRetrieval replies(m_host);
        replies.reportTo(&summary());
        if (const QString failure = replies.storeBeforeSending(asked[0]); !failure.isEmpty()) {
            summary().failed(RunSummary::Replies, failure);
            gate.holdMarketing(QStringLiteral("the replies could not be fetched first (%1)").arg(failure));
        }
        step = RunSummary::Credits;
        queued = Dispatch::count(choice);
        std::optional<Dispatch::ReadyRows> rows = chooseRows(busy, choice, queued, asked[1]);
        if (!rows) {
            leftQueued();
            return false;
        }
        step = RunSummary::Send;
        Run run(*this, std::move(*rows), wrote, gate);
        result = run.go();
        if (!gate.heldReason().isEmpty())
            heldStatus = gate.statusLine();
    } catch (const AppError &error) {
        summary().failed(step, error.description());
        leftQueued();
        m_host.setProgress(0, 0);
        EndWithError(m_host, busy, error);
        if (wrote)
            m_host.outboxChanged();
        return false;
    }
    m_host.setProgress(0, 0);
    leftQueued();
    return tellOutcome(busy, result, heldStatus);
}

bool OutboxSender::tellOutcome(CycleBusy &busy, const RunResult &result, const QString &heldStatus)
{
    if (result.firstError) {
        summary().failed(RunSummary::Send, result.firstError->description());
        m_host.outboxChanged();
        EndWithError(m_host, busy, firstErrorTold(*result.firstError, result.inDoubt));
        return false;
    }
    if (result.endedElsewhere) {
        summary().failed(RunSummary::Send, QStringLiteral("another program took this run for stopped"));
        m_host.outboxChanged();
        EndWithError(
            m_host, busy,
            AppError(ErrorRunEnded, QStringLiteral("This send run could not write to the database for over a "
                                                   "minute, and another program took it for stopped. It posted "
                                                   "no more messages; those it posted without an answer are "
                                                   "settled by the next Receive.")));
        return false;
    }
    m_host.setStatus(heldStatus.isEmpty() ? m_texts.runDone : heldStatus);
    m_host.outboxChanged();
    if (!result.keptBack.isEmpty()) {
        busy.release();
        m_host.inform(result.keptBackTitle, result.keptBack);
    }
    if (result.creditsOut) {
        busy.release();
        m_host.inform(TitleCredits, NotEnoughCredits);
        return false;
    }
    return true;
}

std::optional<Dispatch::ReadyRows> OutboxSender::chooseRows(CycleBusy &busy, const Dispatch::Choice &choice, int count,
                                                            const GatewayClient::Answer &credits)
{
    // The balance the gateway holds now, never the one shown: that one may be
    // from before the last run, which spent some of it.
    const double balance = showBalance(credits.take());
    if (balance <= 0) {
        summary().failed(RunSummary::Credits, QStringLiteral("the balance is %1").arg(DecimalText(balance)));
        busy.release();
        m_host.inform(TitleCredits, NoCredits);
        return std::nullopt;
    }
    if (count <= balance)
        return Dispatch::ReadyRows::oldestFirst(choice);
    busy.release();
    m_host.inform(TitleCredits, NotEnoughCredits);
    if (!m_host.ask(TitleSend, SendPart))
        return std::nullopt;
    // Exactly as many rows as there are credits (fewer than the queued count).
    return Dispatch::ReadyRows::newest(choice, qint64(std::floor(balance)));
}
