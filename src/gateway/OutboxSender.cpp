#include "gateway/OutboxSender.h"

#include "data/ProcessSettings.h"
#include "data/Database.h"
#include "data/modFunctions.h"
#include "gateway/CycleSupport.h"
#include "gateway/GatewayAnswers.h"
#include "gateway/GatewayClient.h"

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

int OutboxSender::CountQueued()
{
    return Database::value(QStringLiteral("SELECT count(*) FROM SMSSend WHERE Send = 0")).toInt();
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
    static Rows newest(qint64 limit)
    {
        Rows rows;
        rows.m_keys = keysOf(Database::run(QStringLiteral("SELECT SMSSendID FROM SMSSend WHERE Send = 0 "
                                                          "ORDER BY SendDate DESC, SendTime DESC, SMSSendID DESC "
                                                          "LIMIT ?"),
                                           {limit}));
        rows.m_total = int(rows.m_keys.size());
        return rows;
    }

    static Rows oldestFirst()
    {
        Rows rows;
        rows.m_paged = true;
        rows.m_last =
            Database::value(QStringLiteral("SELECT coalesce(max(SMSSendID), 0) FROM SMSSend WHERE Send = 0"))
                .toLongLong();
        rows.m_total = Database::value(QStringLiteral("SELECT count(*) FROM SMSSend WHERE Send = 0 "
                                                      "AND SMSSendID <= ?"),
                                       {rows.m_last})
                           .toInt();
        return rows;
    }

    int total() const { return m_total; }

    // The next keys to send; empty at the end.
    QList<qint64> next()
    {
        if (!m_paged || m_ended)
            return std::exchange(m_keys, {});
        QList<qint64> keys = keysOf(Database::run(QStringLiteral("SELECT SMSSendID FROM SMSSend WHERE Send = 0 "
                                                                 "AND SMSSendID > ? AND SMSSendID <= ? "
                                                                 "ORDER BY SMSSendID LIMIT ?"),
                                                  {m_after, m_last, PageSize}));
        m_ended = keys.size() < PageSize;
        if (!keys.isEmpty())
            m_after = keys.last();
        return keys;
    }

private:
    QList<qint64> m_keys;
    bool m_paged = false;
    bool m_ended = false;
    qint64 m_after = 0;
    qint64 m_last = 0;
    int m_total = 0;
};

bool OutboxSender::SendOutbox()
{
    CycleBusy busy(m_host, m_busy);
    m_marked = false;
    try {
        std::optional<Rows> rows = chooseRows(busy);
        if (!rows)
            return false;
        int done = 0;
        for (QList<qint64> keys = rows->next(); !keys.isEmpty(); keys = rows->next()) {
            for (qint64 key : keys) {
                sendRow(key);
                m_host.setProgress(++done, rows->total());
                m_host.yieldToEvents();
            }
        }
    } catch (const AppError &error) {
        m_host.setProgress(0, 0);
        EndWithError(m_host, busy, error);
        if (m_marked)
            m_host.outboxChanged();
        return false;
    }
    m_host.setProgress(0, 0);
    m_host.setStatus(m_texts.runDone);
    m_host.outboxChanged();
    return true;
}

std::optional<OutboxSender::Rows> OutboxSender::chooseRows(CycleBusy &busy)
{
    const int count = CountQueued();
    // The balance the gateway holds now, never the one shown: that one may be
    // from before the last run, which spent some of it.
    const double balance = RefreshCredits();
    if (balance <= 0) {
        busy.release();
        m_host.inform(TitleCredits, NoCredits);
        return std::nullopt;
    }
    if (count <= balance)
        return Rows::oldestFirst();
    busy.release();
    m_host.inform(TitleCredits, NotEnoughCredits);
    if (!m_host.ask(TitleSend, SendPart))
        return std::nullopt;
    // Exactly as many rows as there are credits (fewer than the queued count).
    return Rows::newest(qint64(std::floor(balance)));
}

void OutboxSender::sendRow(qint64 key)
{
    QString number;
    QString message;
    {
        // The operator may have deleted the row while the run waited.
        QSqlQuery row = Database::run(
            QStringLiteral("SELECT Number, Message FROM SMSSend WHERE SMSSendID = ? AND Send = 0"), {key});
        if (!row.next())
            return;
        number = row.value(0).toString();
        message = row.value(1).toString();
    }
    QString batch = QStringLiteral("0");
    if (const auto normalised = NormaliseNumber(number)) {
        try {
            batch = SendSingleSMS(*normalised, TrimBlanks(message), QString::number(key));
        } catch (const GatewayError &error) {
            // The message may have gone out: never offer it again.
            if (error.mayHaveReached())
                markAttempted(key, QStringLiteral("0"));
            throw;
        }
    }
    if (!TrimBlanks(batch).isEmpty())
        markAttempted(key, batch);
}

// Autocommitted, so the mark is on disk before the next message goes out.
void OutboxSender::markAttempted(qint64 key, const QString &eventId)
{
    Database::run(QStringLiteral("UPDATE SMSSend SET Send = 1, EventID = ? WHERE SMSSendID = ?"), {eventId, key});
    m_marked = true;
}
