#include "compose/frmSendToSingle.h"

#include "ui_frmSendToSingle.h"

#include "campaigns/CampaignNotices.h"
#include "campaigns/MessagePreview.h"
#include "campaigns/frmPreview.h"
#include "compose/BodyEdit.h"
#include "compose/NumbersQuestion.h"
#include "compose/SingleQueue.h"
#include "contacts/frmSearchClients.h"
#include "conversations/ConversationView.h"
#include "data/AppError.h"
#include "data/modFunctions.h"
#include "sendreceive/frmSendMessages.h"
#include "ui/MessageBoxes.h"

#include <QShortcut>

#include <algorithm>
#include <optional>

frmSendToSingle::frmSendToSingle(QWidget *parent) : QDialog(parent), ui(std::make_unique<Ui::frmSendToSingle>())
{
    ui->setupUi(this);
    connect(ui->cmdSend, &QPushButton::clicked, this, &frmSendToSingle::cmdSend_Click);
    connect(ui->cmdSendNow, &QPushButton::clicked, this, &frmSendToSingle::cmdSendNow_Click);
    connect(ui->cmdCancel, &QPushButton::clicked, this, &frmSendToSingle::cmdCancel_Click);
    connect(ui->cmdPreview, &QPushButton::clicked, this, &frmSendToSingle::cmdPreview_Click);
    // F4 works wherever the focus is in the window.
    auto *f4 = new QShortcut(QKeySequence(Qt::Key_F4), this);
    connect(f4, &QShortcut::activated, this, [this] { Form_KeyDown(Qt::Key_F4); });
}

frmSendToSingle::~frmSendToSingle() = default;

void frmSendToSingle::Form_KeyDown(int keyCode)
{
    if (keyCode != Qt::Key_F4)
        return;
    const qint64 chosen = frmSearchClients::pick(this);
    if (chosen == 0)
        return;
    const bool found = MessageBoxes::runShowingErrors(this, [&] {
        if (const std::optional<SingleQueue::Contact> contact = SingleQueue::find(chosen)) {
            showContact(*contact);
            ui->txtCellphone->setText(contact->mobile);
        }
    });
    if (!found)
        return;
    ui->composer->body(1)->setFocus();
}

void frmSendToSingle::showContact(const SingleQueue::Contact &contact)
{
    ui->lblID->setText(QString::number(contact.clientId));
    ui->txtLastname->setText(contact.lastName);
    ui->txtFirstname->setText(contact.firstName);
}

void frmSendToSingle::setStatus(const QString &text)
{
    ui->lblStatus->setText(text);
    ui->lblStatus->repaint();
}

void frmSendToSingle::cmdSendNow_Click()
{
    cmdSend_Click();
    frmSendMessages window(this);
    window.exec();
}

void frmSendToSingle::cmdSend_Click()
{
    ui->cmdSendNow->setEnabled(false);
    const QString number = modFunctions::TrimBlanks(ui->txtCellphone->text());
    if (number.isEmpty()) {
        MessageBoxes::inform(this, QStringLiteral("NO NUMBER"),
                             QStringLiteral("Customer has no cellphone number. Please edit the customer first."));
        return;
    }
    // The one number is the whole list: Skip leaves nothing to queue.
    SkippedNumbers skipped;
    if (!MessageBoxes::runShowingErrors(this, [&] { skipped = SingleQueue::screen(number); }))
        return;
    if (!skipped.isEmpty()) {
        if (NumbersQuestion::skipOrCancel(this, skipped))
            setStatus(QStringLiteral("Added 0 records."));
        return;
    }
    QueueCampaign campaign;
    const bool queued = MessageBoxes::runShowingErrors(this, [&] {
        const SingleQueue::Addressee to =
            SingleQueue::addressee(modFunctions::TrimBlanks(ui->txtLastname->text()),
                                   modFunctions::TrimBlanks(ui->txtFirstname->text()), number);
        setStatus(QStringLiteral("Adding ") + to.adding);
        campaign = ui->composer->campaign();
        campaign.description = QStringLiteral("Contact ") + to.description;
        SingleQueue::queue(ui->composer->bodies(), number, qint64(modFunctions::LeadingNumber(ui->lblID->text())),
                           &campaign);
        setStatus(campaign.leftOut > 0 ? QStringLiteral("Added 0 records.") : QStringLiteral("Added 1 records."));
        showConversation();
    });
    if (queued)
        CampaignNotices::tellLeftOut(this, campaign.leftOut);
}

void frmSendToSingle::cmdPreview_Click()
{
    const QString number = modFunctions::TrimBlanks(ui->txtCellphone->text());
    if (number.isEmpty()) {
        MessageBoxes::inform(this, QStringLiteral("NO NUMBER"),
                             QStringLiteral("Customer has no cellphone number. Please edit the customer first."));
        return;
    }
    std::optional<MessagePreview::Preview> preview;
    if (!MessageBoxes::runShowingErrors(this, [&] {
            preview = MessagePreview::forContact(qint64(modFunctions::LeadingNumber(ui->lblID->text())), number,
                                                 ui->composer->bodies(), ui->composer->isMarketing());
        }))
        return;
    frmPreview window(*preview, this);
    window.exec();
}

void frmSendToSingle::replyTo(const QString &number)
{
    ui->txtCellphone->setText(modFunctions::TrimBlanks(number));
    ui->grpConversation->setVisible(true);
    resize(std::max(width(), 1320), height());
    MessageBoxes::runShowingErrors(this, [&] {
        if (const std::optional<SingleQueue::Contact> contact = SingleQueue::findByNumber(number))
            showContact(*contact);
    });
    showConversation();
    ui->composer->body(1)->setFocus();
}

void frmSendToSingle::showConversation()
{
    if (!ui->grpConversation->isVisibleTo(this))
        return;
    try {
        ui->grdConversation->showConversation(ui->txtCellphone->text());
    } catch (const AppError &error) {
        MessageBoxes::showError(this, error);
    }
}

void frmSendToSingle::cmdCancel_Click()
{
    close();
}
