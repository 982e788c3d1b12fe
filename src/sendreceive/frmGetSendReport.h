#pragma once

#include "gateway/SendReportRetrieval.h"
#include "sendreceive/SendReceiveWindow.h"

#include <memory>

namespace Ui {
class frmGetSendReport;
}
class QueryListModel;

// "Get Send Report": the messages sent so far, newest first, and the
// gateway's HTML report page read back into them.
class frmGetSendReport : public SendReceiveWindow
{
    Q_OBJECT

public:
    explicit frmGetSendReport(QWidget *parent = nullptr);
    ~frmGetSendReport() override;

    void cmdGetReport_Click();
    void cmdCancel_Click();

    QueryListModel *list() const { return m_list; }

protected:
    void reloadList() override;

private:
    void Form_Load();

    std::unique_ptr<Ui::frmGetSendReport> ui;
    QueryListModel *m_list = nullptr;
    SendReportRetrieval m_report;
};
