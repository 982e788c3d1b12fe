#include "sendreceive/frmGetReplies.h"

#include "ui_frmGetReplies.h"

#include "data/AppError.h"
#include "data/modFunctions.h"
#include "sendreceive/SendReceiveRules.h"
#include "ui/QueryListModel.h"

#include <QHeaderView>

using Kind = QueryListModel::Kind;
using modFunctions::TrimBlanks;

frmGetReplies::frmGetReplies(QWidget *parent)
    : SendReceiveWindow(parent), ui(std::make_unique<Ui::frmGetReplies>()),
      m_replies(*this, QStringLiteral("Ready ..."), RepliesRetrieval::Failures::Reported)
{
    ui->setupUi(this);
    setUp(ui->lblStatus, {ui->cmdGetReplies, ui->cmdCancel});
    QFont bold = ui->grdList_Caption->font();
    bold.setBold(true);
    for (QLabel *label : {ui->grdList_Caption, ui->Label1, ui->Label2, ui->Label3})
        label->setFont(bold);
    for (QLabel *label : {ui->lblCustomer, ui->lblMessageSent, ui->lblMessageReceived})
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    ui->grdList->verticalHeader()->setDefaultSectionSize(ui->grdList->fontMetrics().height() + 8);
    connect(ui->cmdGetReplies, &QPushButton::clicked, this, &frmGetReplies::cmdGetReplies_Click);
    connect(ui->cmdCancel, &QPushButton::clicked, this, &frmGetReplies::cmdCancel_Click);
    connect(ui->grdList, &QTableView::clicked, this, &frmGetReplies::grdList_Click);
    Form_Load();
}

frmGetReplies::~frmGetReplies() = default;

void frmGetReplies::Form_Load()
{
    m_list = new QueryListModel(
        {{QStringLiteral("SMSReplyID"), QStringLiteral("SMSReplyID"), true, Kind::Text, 95},
         {QStringLiteral("IncomingID"), QStringLiteral("IncomingID"), true, Kind::Text, 90},
         {QStringLiteral("ReceivedDateTime"), QStringLiteral("Received Date Time"), true, Kind::DateTime, 150},
         {QStringLiteral("PhoneNumber"), QStringLiteral("Phone Number"), true, Kind::Text, 110},
         {QStringLiteral("Message"), QStringLiteral("Message"), true, Kind::Text},
         {QStringLiteral("SentMessage"), QStringLiteral("Sent Message"), true, Kind::Text, 160},
         {QStringLiteral("SentDateTime"), QStringLiteral("SentDateTime"), true, Kind::DateTime, 130},
         {QStringLiteral("SMSSendID"), QStringLiteral("SMSSendID"), true, Kind::Text, 90}},
        this);
    try {
        m_list->setQuery(QStringLiteral("SELECT SMSReplyID, IncomingID, ReceivedDateTime, PhoneNumber, Message, "
                                        "SentMessage, SentDateTime, SMSSendID FROM SMSReplies "
                                        "ORDER BY SMSReplyID DESC"));
    } catch (const AppError &error) {
        showError(error);
    }
    m_list->showIn(ui->grdList, QStringLiteral("Message"));
}

void frmGetReplies::reloadList()
{
    try {
        m_list->refresh();
    } catch (const AppError &error) {
        showError(error);
    }
}

void frmGetReplies::cmdGetReplies_Click()
{
    if (whileRunning([this] { return m_replies.FetchReplies(); }))
        inform(QStringLiteral("DONE"), QStringLiteral("Done getting replies."));
}

void frmGetReplies::cmdCancel_Click()
{
    close();
}

void frmGetReplies::grdList_Click(const QModelIndex &index)
{
    for (QLabel *label : {ui->lblMessageReceived, ui->lblMessageSent, ui->lblCustomer}) {
        label->clear();
        label->repaint();
    }
    if (!index.isValid())
        return;
    const int row = index.row();
    ui->lblMessageReceived->setText(TrimBlanks(m_list->value(row, QStringLiteral("Message")).toString()));
    ui->lblMessageSent->setText(TrimBlanks(m_list->value(row, QStringLiteral("SentMessage")).toString()));
    ui->lblMessageReceived->repaint();
    ui->lblMessageSent->repaint();
    try {
        ui->lblCustomer->setText(
            SendReceive::contactNameFor(m_list->value(row, QStringLiteral("SMSSendID")).toString()));
    } catch (const AppError &error) {
        showError(error);
    }
}
