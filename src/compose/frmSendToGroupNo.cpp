#include "compose/frmSendToGroupNo.h"

#include "ui_frmSendToGroupNo.h"

#include "campaigns/CampaignNotices.h"
#include "compose/NumberListQueue.h"
#include "compose/NumbersQuestion.h"
#include "data/AppError.h"
#include "sendreceive/frmSendMessages.h"
#include "ui/MessageBoxes.h"

#include <optional>

frmSendToGroupNo::frmSendToGroupNo(QWidget *parent) : QDialog(parent), ui(std::make_unique<Ui::frmSendToGroupNo>())
{
    ui->setupUi(this);
    ui->cmdSendNow->setVisible(false);
    connect(ui->cmdSend, &QPushButton::clicked, this, &frmSendToGroupNo::cmdSend_Click);
    connect(ui->cmdSendNow, &QPushButton::clicked, this, &frmSendToGroupNo::cmdSendNow_Click);
    connect(ui->cmdCancel, &QPushButton::clicked, this, &frmSendToGroupNo::cmdCancel_Click);
    ui->grdList->setFocus();
}

frmSendToGroupNo::~frmSendToGroupNo() = default;

void frmSendToGroupNo::setStatus(const QString &text)
{
    ui->lblStatus->setText(text);
    ui->lblStatus->repaint();
}

void frmSendToGroupNo::cmdSend_Click()
{
    ui->cmdSendNow->setEnabled(false);
    qint64 counter = 0;
    QueueCampaign campaign = ui->composer->campaign();
    campaign.description = QStringLiteral("Number list");
    const QStringList numbers = ui->grdList->numbers();
    if (numbers.isEmpty()) {
        MessageBoxes::inform(this, QStringLiteral("NO NUMBER"), QStringLiteral("No Cellphone Numbers Added."));
    } else {
        std::optional<NumberListPlan> plan;
        if (!MessageBoxes::runShowingErrors(this, [&] { plan = screenNumbers(numbers); }))
            return;
        if (!NumbersQuestion::skipOrCancel(this, plan->skipped))
            return;
        QString last; // the number being queued when an error stops the queueing
        const bool queued = MessageBoxes::runShowingErrors(this, [&] {
            counter = queueToNumbers(
                plan->numbers, ui->composer->bodies(),
                [&](const QString &number, bool done) {
                    last = number;
                    setStatus((done ? QStringLiteral("Added record for ") : QStringLiteral("Adding ")) + number);
                },
                &campaign);
        });
        if (!queued) {
            // Rows written before a commit that failed were not added after all.
            if (!last.isEmpty())
                setStatus(QStringLiteral("Adding ") + last);
            return;
        }
    }
    MessageBoxes::inform(this, QStringLiteral("ADDED"), QString::number(counter) + QStringLiteral(" records added."));
    CampaignNotices::tellLeftOut(this, campaign.leftOut);
}

void frmSendToGroupNo::cmdSendNow_Click()
{
    cmdSend_Click();
    frmSendMessages window(this);
    window.exec();
}

void frmSendToGroupNo::cmdCancel_Click()
{
    close();
}
