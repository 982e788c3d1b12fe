#include "gateway/StatusRetrieval.h"

#include "data/Database.h"
#include "data/modFunctions.h"
#include "gateway/CycleSupport.h"
#include "gateway/GatewayAnswers.h"
#include "gateway/GatewayClient.h"

#include <cmath>
#include <optional>

using modFunctions::DecimalText;
using modFunctions::LeadingNumber;
using modFunctions::TrimBlanks;

StatusRetrieval::StatusRetrieval(CycleHost &host) : m_host(host) {}

QString StatusRetrieval::ReadLastHighestTrn()
{
    const QVariant stored =
        Database::value(QStringLiteral("SELECT coalesce(LastHighestTrn, '') FROM Setup ORDER BY rowid LIMIT 1"));
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
        double highest = 0;
        qint64 counter = 1;
        int pageSize = ReportPage;
        QString resume = QStringLiteral("0");
        while (pageSize >= ReportPage) {
            pageSize = 0;
            try {
                resume = ReadLastHighestTrn();
            } catch (const AppError &) {
                // keeps the resume point of the page before
            }
            m_host.setStatus(QStringLiteral("Sending request for status reports ..."));
            QString answer;
            try {
                answer = client.sent(resume);
            } catch (const GatewayError &) {
                // counts as an empty answer, which ends the run
            }
            m_host.setStatus(QStringLiteral("Got the status reports ..."));
            m_host.setStatus(QStringLiteral("Parsing reports ..."));
            const GatewayAnswers::StatusReport report = GatewayAnswers::statusReport(answer);
            if (!report.wellFormed)
                continue;

            {
                // The page's updates and its resume point in one transaction.
                std::optional<Database::Batch> batch;
                try {
                    batch.emplace();
                } catch (const AppError &) {
                    // written one by one instead
                }
                for (const auto &entry : report.entries) {
                    m_host.setStatus(QStringLiteral("Parsing report rows %1 ...").arg(counter));
                    if (entry && entry->delivered() && entry->customerId == std::floor(entry->customerId)) {
                        try {
                            Database::run(QStringLiteral("UPDATE SMSSend SET Delivered = 1, SentID = ? "
                                                         "WHERE SMSSendID = ?"),
                                          {TrimBlanks(entry->trnText), qint64(entry->customerId)});
                        } catch (const AppError &) {
                            // the entry is passed over
                        }
                    }
                    ++counter;
                    ++pageSize;
                    m_host.yieldToEvents();
                }
                if (report.highestTrn > highest)
                    highest = report.highestTrn;
                if (highest != 0) {
                    try {
                        SaveLastHighestTrn(DecimalText(highest));
                    } catch (const AppError &) {
                        // the next page asks from the point read before
                    }
                }
                if (batch)
                    batch->commit();
            }

            // A full page that did not move past the point asked from would
            // be asked for again and again.
            if (pageSize >= ReportPage && !(report.highestTrn > LeadingNumber(resume)))
                break;
        }
        m_host.outboxChanged();
        m_host.setStatus(CycleTexts::Ready);
    } catch (const AppError &error) {
        busy.release();
        m_host.setStatus(CycleTexts::Error);
        m_host.showError(error);
    }
}
