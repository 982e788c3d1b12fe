#include "gateway/OutboxSender.h"

#include "data/ProcessSettings.h"
#include "data/Database.h"
#include "data/modFunctions.h"
#include "gateway/CycleSupport.h"
#include "gateway/GatewayAnswers.h"
#include "gateway/GatewayClient.h"

#include <cmath>

using modFunctions::DecimalText;
using modFunctions::LeadingNumber;
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

// Marks a row attempted. Autocommitted, so it is on disk before the next
// message goes out.
void markAttempted(qint64 key, const QString &eventId)
{
    Database::run(QStringLiteral("UPDATE SMSSend SET Send = 1, EventID = ? WHERE SMSSendID = ?"), {eventId, key});
}

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

OutboxSender::OutboxSender(CycleHost &host) : m_host(host) {}

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

void OutboxSender::RefreshCredits()
{
    CycleBusy busy(m_host, m_busy);
    m_host.setStatus(QStringLiteral("Checking Credits ..."));
    try {
        const QString answer = GatewayClient().credits();
        m_host.setCreditsText(DecimalText(GatewayAnswers::credits(answer)));
        m_host.setStatus(CycleTexts::Ready);
    } catch (const AppError &) {
        busy.release();
        m_host.setStatus(CycleTexts::Error);
    }
}

int OutboxSender::CountQueued()
{
    return Database::value(QStringLiteral("SELECT count(*) FROM SMSSend WHERE Send = 0")).toInt();
}

QString OutboxSender::SendSingleSMS(const QString &number, const QString &text, const QString &customer)
{
    if (TrimBlanks(number).isEmpty() || TrimBlanks(text).isEmpty())
        return QStringLiteral("0");
    m_host.setStatus(QStringLiteral("Sending SMS to ") + TrimBlanks(number));
    const QString answer = GatewayClient().singleSms(number, TrimBlanks(text), customer);
    const GatewayAnswers::SingleSmsAnswer read = GatewayAnswers::singleSms(answer);
    if (read.accepted)
        m_host.setStatus(QStringLiteral("SMS Sent - BatchID: ") + read.batch);
    else
        m_host.setStatus(QStringLiteral("SMS NOT sent : ") + read.cleaned);
    return read.batch;
}

bool OutboxSender::SendOutbox()
{
    CycleBusy busy(m_host, m_busy);
    bool marked = false;
    int done = 0;
    int total = 0;
    try {
        const int count = CountQueued();
        if (LeadingNumber(m_host.creditsText()) == 0)
            RefreshCredits();
        const double balance = LeadingNumber(m_host.creditsText());
        if (balance <= 0) {
            busy.release();
            m_host.inform(TitleCredits, NoCredits);
            return false;
        }
        const bool partial = count > balance;
        if (partial) {
            busy.release();
            m_host.inform(TitleCredits, NotEnoughCredits);
            if (!m_host.ask(TitleSend, SendPart))
                return false;
        }

        // One row: read afresh (the operator may have deleted it while the
        // run waited), post, mark.
        const auto sendRow = [&](qint64 key) {
            QString number;
            QString message;
            {
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
                    if (error.mayHaveReached()) {
                        markAttempted(key, QStringLiteral("0"));
                        marked = true;
                    }
                    throw;
                }
            }
            if (!TrimBlanks(batch).isEmpty()) {
                markAttempted(key, batch);
                marked = true;
            }
        };
        const auto afterRow = [&] {
            m_host.setProgress(++done, total);
            m_host.yieldToEvents();
        };

        if (partial) {
            // Exactly as many rows as there are credits, the newest first.
            const QList<qint64> keys = keysOf(Database::run(
                QStringLiteral("SELECT SMSSendID FROM SMSSend WHERE Send = 0 "
                               "ORDER BY SendDate DESC, SendTime DESC, SMSSendID DESC LIMIT ?"),
                {qint64(std::floor(balance))}));
            total = int(keys.size());
            for (qint64 key : keys) {
                sendRow(key);
                afterRow();
            }
        } else {
            // Oldest first, only what was queued when the run started, read
            // in pages so a large outbox is never held in memory at once.
            const qint64 last = Database::value(
                QStringLiteral("SELECT coalesce(max(SMSSendID), 0) FROM SMSSend WHERE Send = 0")).toLongLong();
            total = Database::value(QStringLiteral("SELECT count(*) FROM SMSSend WHERE Send = 0 AND SMSSendID <= ?"),
                                    {last}).toInt();
            qint64 after = 0;
            for (;;) {
                const QList<qint64> keys = keysOf(Database::run(
                    QStringLiteral("SELECT SMSSendID FROM SMSSend WHERE Send = 0 AND SMSSendID > ? "
                                   "AND SMSSendID <= ? ORDER BY SMSSendID LIMIT ?"),
                    {after, last, PageSize}));
                for (qint64 key : keys) {
                    sendRow(key);
                    afterRow();
                }
                if (keys.size() < PageSize)
                    break;
                after = keys.last();
            }
        }
    } catch (const AppError &error) {
        busy.release();
        m_host.setProgress(0, 0);
        m_host.setStatus(CycleTexts::Error);
        m_host.showError(error);
        if (marked)
            m_host.outboxChanged();
        return false;
    }
    m_host.setProgress(0, 0);
    m_host.setStatus(CycleTexts::Ready);
    m_host.outboxChanged();
    return true;
}
