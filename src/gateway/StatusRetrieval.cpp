#include "gateway/StatusRetrieval.h"

#include "data/Database.h"
#include "data/modFunctions.h"
#include "gateway/CycleSupport.h"
#include "gateway/GatewayAnswers.h"
#include "gateway/GatewayClient.h"
#include "gateway/SendReportPage.h"
#include "outbox/Reports.h"
#include "settings/SetupStore.h"

#include <algorithm>

using modFunctions::DecimalText;
using modFunctions::LeadingNumber;

StatusRetrieval::StatusRetrieval(CycleHost &host) : m_host(host) {}

QString StatusRetrieval::ReadLastHighestTrn()
{
    const QVariant stored = Database::value(
        QStringLiteral("SELECT coalesce(CAST(LastHighestTrn AS TEXT), '') FROM Setup ORDER BY rowid LIMIT 1"));
    if (!stored.isValid())
        return QStringLiteral("0");
    return DecimalText(LeadingNumber(stored.toString()));
}

bool StatusRetrieval::SaveLastHighestTrn(const QString &value)
{
    QSqlQuery query = Database::run(QStringLiteral("UPDATE Setup SET LastHighestTrn = ? "
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
        settleDoubt(client);
        m_host.outboxChanged();
        m_host.setStatus(m_doubtNote.isEmpty() ? CycleTexts::Ready : m_doubtNote);
    } catch (const AppError &error) {
        summary().failed(RunSummary::Reports, error.description());
        m_host.outboxChanged();
        EndWithError(m_host, busy, error);
    }
}

qsizetype StatusRetrieval::fetchPage(GatewayClient &client, Run &run)
{
    // The resume point is read afresh for every page; a failure to read it
    // ends the run with its error rather than asking from a wrong point.
    run.resume = ReadLastHighestTrn();
    m_host.setStatus(QStringLiteral("Sending request for status reports ..."));
    QString answer;
    try {
        answer = client.sent(run.resume);
    } catch (const GatewayError &error) {
        // counts as an empty answer, which ends the run
        summary().failed(RunSummary::Reports, error.description());
    }
    m_host.setStatus(QStringLiteral("Got the status reports ..."));
    m_host.setStatus(QStringLiteral("Parsing reports ..."));
    const GatewayAnswers::StatusReport report = GatewayAnswers::statusReport(answer);
    if (!report.wellFormed) {
        summary().failed(RunSummary::Reports,
                         UnreadableAnswer(QStringLiteral("XML"), GatewayAnswers::shortWords(answer)));
        return 0;
    }
    storePage(report, run);
    // A full page that did not move past the point asked from would be asked
    // for again and again.
    if (!(double(report.highestTrn) > LeadingNumber(run.resume)))
        return 0;
    return report.entries.size();
}

// The page's entries and the new resume point are stored together or not at
// all: an entry that cannot be stored ends the run with its error, and the
// next run asks for the same page again. No entry is ever passed over.
void StatusRetrieval::storePage(const GatewayAnswers::StatusReport &report, Run &run)
{
    Database::Batch batch;
    OutboxReports::Updates updates;
    EventTurns turns(m_host);
    for (const auto &entry : report.entries) {
        m_host.setStatus(QStringLiteral("Parsing report rows %1 ...").arg(run.counter++));
        if (entry)
            updates.statusEntry(entry->customerId, QString::number(entry->trn), entry->delivered());
        turns.offer();
    }
    run.highest = std::max(run.highest, report.highestTrn);
    if (run.highest != 0)
        SaveLastHighestTrn(QString::number(run.highest));
    batch.commit();
    summary().reports(int(report.entries.size()));
}

// Rows still in doubt once the report is read: their runs ended without an
// answer, and no entry named them. The send-report page lists every message
// the gateway received; one it does not list never reached it.
void StatusRetrieval::settleDoubt(GatewayClient &client)
{
    m_doubtNote.clear();
    const QList<qint64> doubtful = OutboxReports::inDoubt();
    if (doubtful.isEmpty())
        return;
    m_host.setStatus(QStringLiteral("Asking the gateway about messages in doubt ..."));
    std::optional<QHash<qint64, QString>> received;
    try {
        received = SendReportPage::received(client.reportPage(GatewayClient::Expect::Success));
    } catch (const GatewayError &error) {
        const QString why =
            QStringLiteral("%1 messages stay in doubt: %2").arg(doubtful.size()).arg(error.description());
        summary().failed(RunSummary::Reports, why);
        m_doubtNote = QStringLiteral("Done. %1 ...").arg(why);
        return;
    }
    if (!received) {
        const QString why = QStringLiteral("%1 messages stay in doubt: the gateway's list of messages received could "
                                           "not be read")
                                .arg(doubtful.size());
        summary().failed(RunSummary::Reports, why);
        m_doubtNote = QStringLiteral("Done. %1 ...").arg(why);
        return;
    }
    const OutboxReports::Settled settled =
        OutboxReports::settleDoubt(doubtful, *received, SetupStore::requeueUnreceived());
    QString settledNote;
    if (settled.requeued > 0)
        settledNote =
            QStringLiteral("%1 messages never reached the gateway and are queued again").arg(settled.requeued);
    else if (settled.unreceived > 0)
        settledNote = QStringLiteral("%1 messages never reached the gateway (shown as failed)").arg(settled.unreceived);
    if (!settledNote.isEmpty()) {
        summary().note(settledNote);
        m_doubtNote = QStringLiteral("Done. %1 ...").arg(settledNote);
    }
}
