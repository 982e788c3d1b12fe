#include "sendreceive/frmGetSendReport.h"

#include "ui_frmGetSendReport.h"

#include "data/AppError.h"
#include "sendreceive/SendReceiveRules.h"
#include "ui/MessageBoxes.h"
#include "ui/QueryListModel.h"

#include <QHeaderView>

namespace {

using Kind = QueryListModel::Kind;

// The list with the send date as "dd/MMM/yyyy" and the send time as "HH:mm".
class SentList : public QueryListModel
{
public:
    SentList(QObject *parent)
        : QueryListModel({{QStringLiteral("SMSSendID"), QStringLiteral("SMSSendID"), true, Kind::Text, 90},
                          {QStringLiteral("ClientID"), QStringLiteral("ClientID"), true, Kind::Text, 70},
                          {QStringLiteral("Number"), QStringLiteral("Number"), true, Kind::Text, 110},
                          {QStringLiteral("ClientName"), QStringLiteral("Contact Name"), true, Kind::Text, 150},
                          {QStringLiteral("Message"), QStringLiteral("Message"), true, Kind::Text},
                          {QStringLiteral("SendDate"), QStringLiteral("Sent Date"), true, Kind::Text, 95},
                          {QStringLiteral("SendTime"), QStringLiteral("Sent Time"), true, Kind::Text, 75},
                          {QStringLiteral("EventID"), QStringLiteral("EventID"), true, Kind::Text, 80},
                          {QStringLiteral("Send"), QStringLiteral("Sent"), true, Kind::Check, 45},
                          {QStringLiteral("Delivered"), QStringLiteral("Deliv"), true, Kind::Check, 45},
                          {QStringLiteral("SentID"), QStringLiteral("SentID"), true, Kind::Text, 80}},
                         parent),
          m_date(columnOf(QStringLiteral("SendDate"))), m_time(columnOf(QStringLiteral("SendTime")))
    {}

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (role == Qt::DisplayRole && index.column() == m_date)
            return SendReceive::sentDateText(value(index.row(), m_date));
        if (role == Qt::DisplayRole && index.column() == m_time)
            return SendReceive::sentTimeText(value(index.row(), m_time));
        return QueryListModel::data(index, role);
    }

private:
    int m_date;
    int m_time;
};

} // namespace

frmGetSendReport::frmGetSendReport(QWidget *parent)
    : SendReceiveWindow(parent), ui(std::make_unique<Ui::frmGetSendReport>()), m_report(*this)
{
    ui->setupUi(this);
    setUp(ui->lblStatus, {ui->cmdGetReport, ui->cmdCancel});
    QFont captionFont = ui->grdList_Caption->font();
    captionFont.setBold(true);
    ui->grdList_Caption->setFont(captionFont);
    ui->grdList->verticalHeader()->setDefaultSectionSize(ui->grdList->fontMetrics().height() + 8);
    connect(ui->cmdGetReport, &QPushButton::clicked, this, &frmGetSendReport::cmdGetReport_Click);
    connect(ui->cmdCancel, &QPushButton::clicked, this, &frmGetSendReport::cmdCancel_Click);
    Form_Load();
}

frmGetSendReport::~frmGetSendReport() = default;

void frmGetSendReport::Form_Load()
{
    m_list = new SentList(this);
    try {
        m_list->setQuery(QStringLiteral("SELECT SMSSendID, ClientID, Number, ClientName, Message, SendDate, SendTime, "
                                        "EventID, Send, Delivered, SentID FROM ListSMSandClients "
                                        "ORDER BY SMSSendID DESC"));
    } catch (const AppError &error) {
        showError(error);
    }
    m_list->showIn(ui->grdList, QStringLiteral("Message"));
}

void frmGetSendReport::reloadList()
{
    try {
        m_list->refresh();
    } catch (const AppError &error) {
        showError(error);
    }
}

void frmGetSendReport::cmdGetReport_Click()
{
    if (whileRunning([this] { return m_report.GetReport(); }))
        inform(QStringLiteral("DONE"), QStringLiteral("Done getting status reports."));
}

void frmGetSendReport::cmdCancel_Click()
{
    close();
}
