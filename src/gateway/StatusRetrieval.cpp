#include "gateway/StatusRetrieval.h"

#include "data/Database.h"
#include "data/modFunctions.h"
#include "gateway/CycleSupport.h"
#include "gateway/GatewayAnswers.h"
#include "gateway/GatewayClient.h"

#include <algorithm>
#include <optional>

using modFunctions::DecimalText;
using modFunctions::LeadingNumber;

StatusRetrieval::StatusRetrieval(CycleHost &host) : m_host(host) {}

QString StatusRetrieval::ReadLastHighestTrn()
{
    const QVariant stored =
        Database::value(QStringLiteral("SELECT coalesce(CAST(LastHighestTrn AS TEXT), '') FROM Setup ORDER BY rowid LIMIT 1"));
    if (!stored.isValid())
        return QStringLiteral("0");
    return DecimalText(LeadingNumber(stored.toString()));
}

bool StatusRetrieval::SaveLastHighestTrn(const QString &value)
{
    QSqlQuery query = Database::run(
        QStringLiteral("UPDATE Setup SET LastHighestTrn = ? "
                       "WHERE rowid = (SELECT rowid FROM Setup ORDER BY rowid LIMIT 1)"),
        {LeadingNumber(value)});
    return query.numRowsAffected() > 0;
}

void StatusRetrieval::FetchStatusReports()
{
    CycleBusy busy(m_host, m_busy);
    try {
        m_host.setStatus(QStringLiteral("Getting new status of smse sent ..."));
        GatewayClient client;
        Run run;
        while (fetchPage(client, run) >= ReportPage) {
        }
        m_host.outboxChanged();
        m_host.setStatus(CycleTexts::Ready);
    } catch (const AppError &error) {
        EndWithError(m_host, busy, error);
    }
}

qsizetype StatusRetrieval::fetchPage(GatewayClient &client, Run &run)
{
    try {
        run.resume = ReadLastHighestTrn();
    } catch (const AppError &) {
        // keeps the resume point of the page before
    }
    m_host.setStatus(QStringLiteral("Sending request for status reports ..."));
    QString answer;
    try {
        answer = client.sent(run.resume);
    } catch (const GatewayError &) {
        // counts as an empty answer, which ends the run
    }
    m_host.setStatus(QStringLiteral("Got the status reports ..."));
    m_host.setStatus(QStringLiteral("Parsing reports ..."));
    const GatewayAnswers::StatusReport report = GatewayAnswers::statusReport(answer);
    if (!report.wellFormed)
        return 0;
    storePage(report, run);
    // A full page that did not move past the point asked from would be asked
    // for again and again.
    if (!(double(report.highestTrn) > LeadingNumber(run.resume)))
        return 0;
    return report.entries.size();
}

void StatusRetrieval::storePage(const GatewayAnswers::StatusReport &report, Run &run)
{
    std::optional<Database::Batch> batch;
    try {
        batch.emplace();
    } catch (const AppError &) {
        // written one by one instead
    }
    for (const auto &entry : report.entries) {
        m_host.setStatus(QStringLiteral("Parsing report rows %1 ...").arg(run.counter++));
        if (entry)
            storeEntry(*entry);
        m_host.yieldToEvents();
    }
    run.highest = std::max(run.highest, report.highestTrn);
    if (run.highest != 0) {
        try {
            SaveLastHighestTrn(QString::number(run.highest));
        } catch (const AppError &) {
            // the next page asks from the point read before
        }
    }
    // A commit that fails is the run's error: nothing of the page is stored.
    if (batch)
        batch->commit();
}

// Any entry shows that the gateway received the message. A row left in doubt
// by a run that stopped before the answer came is in doubt no more; its batch
// number was never read, so the entry's transaction number stands in for it.
void StatusRetrieval::storeEntry(const GatewayAnswers::StatusEntry &entry)
{
    const QString trn = QString::number(entry.trn);
    try {
        if (entry.delivered())
            Database::run(QStringLiteral("UPDATE SMSSend SET Delivered = 1, SentID = ?, "
                                         "EventID = CASE WHEN InFlight <> 0 AND Send = 1 THEN ? ELSE EventID END, "
                                         "InFlight = 0 WHERE SMSSendID = ?"),
                          {trn, trn, entry.customerId});
        else
            Database::run(QStringLiteral("UPDATE SMSSend SET InFlight = 0, EventID = ? "
                                         "WHERE SMSSendID = ? AND Send = 1 AND InFlight <> 0"),
                          {trn, entry.customerId});
    } catch (const AppError &) {
        // the entry is passed over
    }
}
