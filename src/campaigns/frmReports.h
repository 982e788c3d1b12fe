#pragma once

#include "campaigns/CampaignReport.h"

#include <QDialog>

#include <memory>

namespace Ui {
class frmReports;
}
class QChartView;

// Sent, delivered, failed, pending, opted-out messages, replies and new
// opt-outs over a range by day, week or month, charted, with the delivery
// rate, the credits used and the failures by reason; exported to CSV. The
// failed messages can be queued again.
class frmReports : public QDialog
{
    Q_OBJECT

public:
    explicit frmReports(QWidget *parent = nullptr);
    ~frmReports() override;

    void cmdShow_Click();
    void cmdExport_Click();
    // Queues the failed messages of the range shown again as new rows, only
    // those of the reason selected in the reasons list when one is.
    void cmdQueueAgain_Click();
    const CampaignReport::Report &report() const { return m_report; }

private:
    void showChart();
    void showReasons();

    std::unique_ptr<Ui::frmReports> ui;
    QChartView *m_chart = nullptr;
    CampaignReport::Report m_report;
};
