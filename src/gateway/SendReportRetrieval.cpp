#include "gateway/SendReportRetrieval.h"

#include "data/Database.h"
#include "gateway/CycleSupport.h"
#include "gateway/GatewayAnswers.h"
#include "gateway/GatewayClient.h"
#include "gateway/SendReportPage.h"
#include "outbox/Reports.h"

SendReportRetrieval::SendReportRetrieval(CycleHost &host) : m_host(host) {}

bool SendReportRetrieval::GetReport()
{
    CycleBusy busy(m_host, m_busy);
    try {
        m_host.setStatus(QStringLiteral("Getting new status of smse sent ..."));
        m_host.setStatus(QStringLiteral("Sending request for status reports ..."));
        const QString run = QStringLiteral("Getting status reports");
        QString page;
        try {
            page = GatewayClient().reportPage(GatewayClient::Expect::Success);
        } catch (const GatewayError &error) {
            EndWithGatewayFailure(m_host, busy, run, error.description());
            return false;
        }
        if (!SendReportPage::holdsReport(page)) {
            EndWithGatewayFailure(m_host, busy, run,
                                  UnreadableAnswer(QStringLiteral("a report page"), GatewayAnswers::shortWords(page)));
            return false;
        }
        m_host.setStatus(QStringLiteral("Got the status reports ..."));
        m_host.setStatus(QStringLiteral("Parsing reports ..."));
        const QStringList rows = SendReportPage::rowTexts(page);
        const QString last = QString::number(rows.size() - 1);

        Database::Batch batch;
        OutboxReports::Updates updates;
        for (qsizetype number = 0; number < rows.size(); ++number) {
            m_host.setStatus(QStringLiteral("Parsing report rows %1 / %2 ...").arg(number).arg(last));
            const SendReportPage::Row row = SendReportPage::readRow(rows.at(number));
            if (const std::optional<qint64> key = row.outboxKey())
                updates.reportRow(*key, row.sentId, row.delivered());
            m_host.yieldToEvents();
        }
        // A commit that fails is the run's error: none of the rows is stored.
        batch.commit();
        m_host.outboxChanged();
    } catch (const AppError &error) {
        EndWithError(m_host, busy, error);
        return false;
    }
    return true;
}
