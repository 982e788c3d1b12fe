#include "gateway/OutboxSender.h"

#include "campaigns/Schedule.h"
#include "campaigns/SendGate.h"
#include "data/ProcessSettings.h"
#include "data/Database.h"
#include "data/modFunctions.h"
#include "gateway/CycleSupport.h"
#include "gateway/FailReasons.h"
#include "gateway/GatewayAnswers.h"
#include "gateway/GatewayClient.h"
#include "gateway/MessagePoster.h"
#include "gateway/RepliesRetrieval.h"
#include "gateway/SendPace.h"

#include <QElapsedTimer>
#include <QHash>
#include <QRandomGenerator>
#include <QSet>
#include <QSqlQuery>

#include <algorithm>
#include <cmath>
#include <utility>

using modFunctions::DecimalText;
using modFunctions::TrimBlanks;

namespace {

const QString TitleCredits = QStringLiteral("CREDITS");
const QString NoCredits = QStringLiteral(
    "Please check credits first, or there is not enough credits left for the amount of sms to be send. "
    "Either buy more credits or delete some of the sms.");
const QString NotEnoughCredits = QStringLiteral(
    "There is not enough credits left for the amount of sms to be send. "
    "Either buy more credits or delete some of the sms.");
const QString TitleSend = QStringLiteral("SEND");
const QString SendPart = QStringLiteral("Do you only want to send the amount of sms that you have credits for?");

// Rows of the outbox are read by key in pages of this many.
constexpr int PageSize = 500;

QList<qint64> keysOf(QSqlQuery query)
{
    QList<qint64> keys;
    while (query.next())
        keys.append(query.value(0).toLongLong());
    return keys;
}

} // namespace

std::optional<QString> NormaliseNumber(const QString &number)
{
    QString value = TrimBlanks(number);
    if (value.startsWith(QLatin1Char('+')))
        value.remove(0, 1);
    value.remove(QLatin1Char(' '));
    if (value.startsWith(QLatin1Char('0')))
        return value;
    if (value.size() < 2)
        return std::nullopt;
    return QLatin1Char('0') + value.mid(2);
}

OutboxSender::OutboxSender(CycleHost &host) : OutboxSender(host, Texts()) {}

OutboxSender::OutboxSender(CycleHost &host, Texts texts) : m_host(host), m_texts(std::move(texts)) {}

void OutboxSender::CheckCredits()
{
    CycleBusy busy(m_host, m_busy);
    if (TrimBlanks(modMain::GatewayUsername).isEmpty() || TrimBlanks(modMain::GatewayPassword).isEmpty()) {
        busy.release();
        m_host.inform(QStringLiteral("USERNAME/PASSWORD"), QStringLiteral("No username and/or password was specified."));
        return;
    }
    try {
        const QString answer = GatewayClient().credits();
        m_host.setCreditsText(DecimalText(GatewayAnswers::credits(answer)));
    } catch (const AppError &error) {
        busy.release();
        m_host.showError(error);
    }
}

double OutboxSender::RefreshCredits()
{
    CycleBusy busy(m_host, m_busy);
    m_host.setStatus(QStringLiteral("Checking Credits ..."));
    const double balance = GatewayAnswers::credits(GatewayClient().credits());
    m_host.setCreditsText(DecimalText(balance));
    m_host.setStatus(m_texts.creditsChecked);
    return balance;
}

// Which queued rows a run takes: those a run may post now, of some batches
// only when it is given them. The condition is read with the time the run
// began, from choosing the rows to claiming each one.
struct OutboxSender::Choice
{
    QString condition = QStringLiteral("Send = 0 AND ") + Schedule::readyCondition();
    QVariantList values = Schedule::readyValues();

    Choice() = default;
    explicit Choice(const QList<qint64> &batches)
    {
        condition += QStringLiteral(" AND SMSSend.BatchID IN (%1)").arg(Database::placeholders(batches.size()));
        for (qint64 batch : batches)
            values << batch;
    }
};

int OutboxSender::CountQueued()
{
    const Choice choice;
    return Database::value(QStringLiteral("SELECT count(*) FROM SMSSend WHERE ") + choice.condition, choice.values)
        .toInt();
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

// The rows a run sends, in order: the newest `limit` rows, or every row
// queued when the run started, oldest first, read by key a page at a time so
// that a large outbox is never held in memory at once.
class OutboxSender::Rows
{
public:
    static Rows newest(const Choice &choice, qint64 limit)
    {
        Rows rows(choice);
        rows.m_keys = keysOf(Database::run(QStringLiteral("SELECT SMSSendID FROM SMSSend WHERE %1 "
                                                          "ORDER BY SendDate DESC NULLS LAST, SendTime DESC NULLS LAST, SMSSendID DESC "
                                                          "LIMIT ?").arg(choice.condition),
                                           choice.values + QVariantList{limit}));
        rows.m_total = int(rows.m_keys.size());
        return rows;
    }

    static Rows oldestFirst(const Choice &choice)
    {
        Rows rows(choice);
        rows.m_paged = true;
        rows.m_last = Database::value(QStringLiteral("SELECT coalesce(max(SMSSendID), 0) FROM SMSSend WHERE ")
                                          + choice.condition,
                                      choice.values)
                          .toLongLong();
        rows.m_total = Database::value(QStringLiteral("SELECT count(*) FROM SMSSend WHERE %1 "
                                                      "AND SMSSendID <= ?").arg(choice.condition),
                                       choice.values + QVariantList{rows.m_last})
                           .toInt();
        return rows;
    }

    int total() const { return m_total; }
    const Choice &choice() const { return m_choice; }

    // The next keys to send; empty at the end.
    QList<qint64> next()
    {
        if (!m_paged || m_ended)
            return std::exchange(m_keys, {});
        QList<qint64> keys = keysOf(Database::run(QStringLiteral("SELECT SMSSendID FROM SMSSend WHERE %1 "
                                                                 "AND SMSSendID > ? AND SMSSendID <= ? "
                                                                 "ORDER BY SMSSendID LIMIT ?").arg(m_choice.condition),
                                                  m_choice.values + QVariantList{m_after, m_last, PageSize}));
        m_ended = keys.size() < PageSize;
        if (!keys.isEmpty())
            m_after = keys.last();
        return keys;
    }

private:
    explicit Rows(Choice choice) : m_choice(std::move(choice)) {}

    Choice m_choice;
    QList<qint64> m_keys;
    bool m_paged = false;
    bool m_ended = false;
    qint64 m_after = 0;
    qint64 m_last = 0;
    int m_total = 0;
};


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

QVariantList keyValues(const QList<qint64> &keys)
{
    QVariantList values;
    for (qint64 key : keys)
        values << key;
    return values;
}

// A refusal that says the account has no credits left: every message after it
// would be refused the same way.
bool refusedForCredits(const GatewayAnswers::SingleSmsAnswer &answer)
{
    return !answer.accepted && answer.cleaned.contains(QStringLiteral("credit"), Qt::CaseInsensitive);
}


} // namespace

int OutboxSender::markAhead(int connections)
{
    return std::max(8, 2 * connections);
}

// One send run. Rows are handed out in the run's order to free connections.
// Before a message is posted its row is marked in flight (Send true,
// InFlight the run's token) in a synced commit that marks a few rows ahead
// (at least markAhead(), more when messages go out fast);
// its answer clears the mark and stores the batch number. A row still marked
// after the run may have reached the gateway: it is never offered again
// unless the operator queues it again. Rows marked but not posted go back to
// the queue when the run ends.
class OutboxSender::Run
{
public:
    struct Result
    {
        std::optional<GatewayError> firstError;
        QString keptBackTitle, keptBack; // what the run kept back and why, for the operator
        int inDoubt = 0; // requests that may have reached the gateway without an answer
        bool creditsOut = false;
    };

    Run(OutboxSender &sender, Rows rows, bool &wrote)
        : m_host(sender.m_host), m_rows(std::move(rows)), m_wrote(wrote),
          m_poster(modMain::GatewayConnections, GatewayClient::defaultTimeout()),
          m_pace(modMain::GatewayMessagesPerSecond), m_ahead(markAhead(m_poster.connections())),
          m_token(qint64(QRandomGenerator::global()->bounded(quint64(1) << 62)) + 1)
    {
        m_clock.start();
    }

    ~Run()
    {
        try {
            unmark(std::exchange(m_marked, {}));
        } catch (const AppError &) {
            // They stay marked in flight: shown as in doubt, never sent twice.
        }
    }
    Run(const Run &) = delete;
    Run &operator=(const Run &) = delete;

    Result go()
    {
        for (;;) {
            const qint64 wakeIn = fill();
            if (m_poster.inFlight() == 0 && (m_stop || m_ended))
                break;
            // With several connections, those the answers freed carry the
            // next messages at once, before the answers are stored (what the
            // answers say about going on is known first). With one, the
            // answer is stored and the window has its turn before the next
            // message goes, as one at a time always went.
            const QList<MessagePoster::Answer> answers = m_poster.wait(wakeIn);
            for (const MessagePoster::Answer &answer : answers)
                judge(answer);
            if (m_poster.connections() > 1)
                fill();
            for (const MessagePoster::Answer &answer : answers)
                settle(answer);
        }
        unmark(std::exchange(m_marked, {}));
        m_result.keptBack = m_gate.notice();
        m_result.keptBackTitle = m_gate.noticeTitle();
        return m_result;
    }

private:
    // Hands out messages while a connection is free and the rate limit lets
    // them go; how long until the limit lets the next one go (-1: it does not
    // hold one back).
    qint64 fill()
    {
        while (!m_stop && !m_ended && m_poster.hasFreeConnection()) {
            const qint64 wait = m_pace.waitMs(m_clock.elapsed());
            if (wait > 0)
                return wait;
            const std::optional<qint64> key = nextMarked();
            if (!key) {
                m_ended = true;
                break;
            }
            handOut(*key);
        }
        return -1;
    }

    std::optional<qint64> nextMarked()
    {
        while (m_marked.isEmpty() && (!m_pending.isEmpty() || !m_rowsEnded))
            markNext();
        if (m_marked.isEmpty())
            return std::nullopt;
        return m_marked.takeFirst();
    }

    // As many rows as went out in MarkAheadMs at the pace of the last batch.
    int batchSize() const
    {
        if (m_lastBatchSize == 0)
            return m_ahead;
        const qint64 ms = std::max<qint64>(1, m_lastBatch.elapsed());
        return int(std::clamp<qint64>(m_lastBatchSize * MarkAheadMs / ms, m_ahead, std::max(m_ahead, MaxMarkAhead)));
    }

    void markNext()
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
        const QVariantList values = QVariantList{m_token} + keyValues(keys);
        {
            Database::DurableCommits synced;
            Database::Transaction transaction;
            // Only rows still queued and still ready (their batch due and
            // not held): one the operator deleted or held, or another run
            // took meanwhile, is left alone.
            // Another program claiming the same rows at this moment keeps
            // those it locked first; these are the rest.
            const Choice &choice = m_rows.choice();
            Database::run(QStringLiteral("UPDATE SMSSend SET Send = 1, InFlight = ? WHERE SMSSendID IN "
                                         "(SELECT SMSSendID FROM SMSSend WHERE %1 AND SMSSendID IN (%2)%3)")
                              .arg(choice.condition, Database::placeholders(keys.size()), Database::skipLocked()),
                          QVariantList{m_token} + choice.values + keyValues(keys));
            transaction.commit();
        }
        QSet<qint64> ours;
        QSqlQuery marked = Database::run(
            QStringLiteral("SELECT SMSSendID FROM SMSSend WHERE InFlight = ? AND SMSSendID IN (%1)")
                .arg(Database::placeholders(keys.size())),
            values);
        while (marked.next())
            ours.insert(marked.value(0).toLongLong());
        for (qint64 key : keys) {
            if (ours.contains(key))
                m_marked.append(key);
        }
        m_lastBatchSize = m_marked.size();
        m_lastBatch.start();
        m_wrote = m_wrote || !ours.isEmpty();
    }

    void unmark(const QList<qint64> &keys)
    {
        if (keys.isEmpty())
            return;
        Database::run(QStringLiteral("UPDATE SMSSend SET Send = 0, InFlight = 0 WHERE InFlight = ? "
                                     "AND SMSSendID IN (%1)")
                          .arg(Database::placeholders(keys.size())),
                      QVariantList{m_token} + keyValues(keys));
    }

    // Posts the row's message, or settles the row at once when it has none to post.
    void handOut(qint64 key)
    {
        QSqlQuery &row = m_read.run({key, m_token});
        if (!row.next())
            return; // deleted while the run waited
        const QString number = row.value(0).toString();
        const QString text = TrimBlanks(row.value(1).toString());
        const bool marketing = row.value(2).toInt() != 0;
        const bool confirmsOptOut = row.value(3).toInt() != 0;
        row.finish();
        const std::optional<QString> normalised = NormaliseNumber(number);
        QString notPosted;
        if (TrimBlanks(number).isEmpty())
            notPosted = FailReasons::NoNumber;
        else if (!normalised || TrimBlanks(*normalised).isEmpty())
            notPosted = FailReasons::UnusableNumber;
        else if (text.isEmpty())
            notPosted = FailReasons::NoText;
        if (!notPosted.isEmpty()) {
            markAnswered(key, QStringLiteral("0"), notPosted);
            advance();
            return;
        }
        switch (m_gate.check(*normalised, marketing, confirmsOptOut)) {
        case SendGate::Verdict::OptedOut:
            markAnswered(key, OptOuts::OptedOutEventId);
            advance();
            return;
        case SendGate::Verdict::Wait:
            unmark({key});
            advance();
            return;
        case SendGate::Verdict::Post:
            break;
        }
        m_postedAt.insert(key, SendGate::postedStamp());
        const QString sendingTo = QStringLiteral("Sending SMS to ") + TrimBlanks(*normalised);
        m_host.setStatus(sendingTo);
        try {
            m_poster.post(key, *normalised, text);
        } catch (const GatewayError &error) {
            failed(key, error);
            advance();
            return;
        }
        m_pace.sent(m_clock.elapsed());
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
            markAnswered(answer.key, read.batch, reason);
        }
        advance();
    }

    // A request that got no answer. One that certainly did not reach the
    // gateway goes back to the queue; one that may have reached it keeps its
    // mark.
    void failed(qint64 key, const GatewayError &error)
    {
        m_postedAt.remove(key);
        if (!m_result.firstError)
            m_result.firstError = error;
        if (error.mayHaveReached()) {
            ++m_result.inDoubt;
        } else {
            unmark({key});
            m_stop = true;
        }
    }

    // A row that failed keeps why (empty `reason` for one accepted).
    void markAnswered(qint64 key, const QString &eventId, const QString &reason = {})
    {
        const QVariant why = reason.isEmpty() ? QVariant(QMetaType::fromType<QString>()) : QVariant(reason);
        m_answered.run({eventId, m_postedAt.take(key), why, key, m_token});
        m_wrote = true;
    }

    void advance()
    {
        m_host.setProgress(++m_done, m_rows.total());
        m_host.yieldToEvents();
    }

    CycleHost &m_host;
    Rows m_rows;
    bool &m_wrote;
    MessagePoster m_poster;
    SendPace m_pace;
    const int m_ahead;
    const qint64 m_token;
    QElapsedTimer m_clock;
    QElapsedTimer m_lastBatch; // since the last rows were marked
    qint64 m_lastBatchSize = 0;
    Database::Statement m_read{
        QStringLiteral("SELECT Number, Message, Marketing, ConfirmsOptOut FROM SMSSend "
                       "WHERE SMSSendID = ? AND InFlight = ?")};
    // Autocommitted: a crash of the program never loses an answer stored.
    // Another program's status run may already have taken the mark off a row
    // the gateway reported before this answer came; the answer still counts.
    // (PostedAt is written only here.)
    Database::Statement m_answered{
        QStringLiteral("UPDATE SMSSend SET InFlight = 0, EventID = ?, PostedAt = ?, FailReason = ? WHERE SMSSendID = ? "
                       "AND (InFlight = ? OR (InFlight = 0 AND Send = 1 AND PostedAt IS NULL))")};
    SendGate m_gate;
    QHash<qint64, QString> m_postedAt; // posted, waiting for their answers
    QList<qint64> m_pending; // chosen, not yet marked
    QList<qint64> m_marked;  // marked, not yet posted
    QHash<qint64, QString> m_sendingLines; // posted, waiting for their answers
    bool m_rowsEnded = false;
    bool m_ended = false;
    bool m_stop = false;
    int m_done = 0;
    int m_failuresInARow = 0;
    Result m_result;
};

bool OutboxSender::SendOutbox()
{
    return send(Choice());
}

bool OutboxSender::SendBatches(const QList<qint64> &batches)
{
    return !batches.isEmpty() && send(Choice(batches));
}

bool OutboxSender::send(const Choice &choice)
{
    CycleBusy busy(m_host, m_busy);
    bool wrote = false;
    Run::Result result;
    try {
        RepliesRetrieval(m_host).fetchBeforeSending();
        std::optional<Rows> rows = chooseRows(busy, choice);
        if (!rows)
            return false;
        Run run(*this, std::move(*rows), wrote);
        result = run.go();
    } catch (const AppError &error) {
        m_host.setProgress(0, 0);
        EndWithError(m_host, busy, error);
        if (wrote)
            m_host.outboxChanged();
        return false;
    }
    m_host.setProgress(0, 0);
    if (result.firstError) {
        m_host.outboxChanged();
        const GatewayError &first = *result.firstError;
        QString description = first.description();
        if (result.inDoubt > 0)
            description += (result.inDoubt == 1
                                ? QStringLiteral("\n\n1 message got no answer and may have reached the gateway.")
                                : QStringLiteral("\n\n%1 messages got no answer and may have reached the gateway.")
                                      .arg(result.inDoubt))
                           + QStringLiteral(" The outbox shows them as \"sent?\"; they are not sent again "
                                            "unless they are queued again.");
        EndWithError(m_host, busy, AppError(first.number(), description, first.source()));
        return false;
    }
    m_host.setStatus(m_texts.runDone);
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

std::optional<OutboxSender::Rows> OutboxSender::chooseRows(CycleBusy &busy, const Choice &choice)
{
    const int count =
        Database::value(QStringLiteral("SELECT count(*) FROM SMSSend WHERE ") + choice.condition, choice.values).toInt();
    // The balance the gateway holds now, never the one shown: that one may be
    // from before the last run, which spent some of it.
    const double balance = RefreshCredits();
    if (balance <= 0) {
        busy.release();
        m_host.inform(TitleCredits, NoCredits);
        return std::nullopt;
    }
    if (count <= balance)
        return Rows::oldestFirst(choice);
    busy.release();
    m_host.inform(TitleCredits, NotEnoughCredits);
    if (!m_host.ask(TitleSend, SendPart))
        return std::nullopt;
    // Exactly as many rows as there are credits (fewer than the queued count).
    return Rows::newest(choice, qint64(std::floor(balance)));
}

