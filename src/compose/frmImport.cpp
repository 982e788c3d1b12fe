#include "compose/frmImport.h"

#include "data/Database.h"

#include "ui_frmImport.h"

#include "campaigns/CampaignNotices.h"
#include "compose/DebitOrderList.h"
#include "compose/DebitOrderModel.h"
#include "compose/MessageText.h"
#include "compose/NumbersQuestion.h"
#include "compose/SendAtChoice.h"
#include "compose/TemplateChooser.h"
#include "data/AppError.h"
#include "data/modFunctions.h"
#include "settings/cRegistry.h"
#include "ui/FileDialogs.h"
#include "ui/MessageBoxes.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>

#include <optional>

const QString frmImport::SettingsKey = QStringLiteral("Software\\Halvard Systems\\Halvard SMS Importer\\Settings");
const QString frmImport::MessageValue = QStringLiteral("Message");

namespace {
cRegistry messageSetting()
{
    cRegistry registry;
    registry.setClassKey(cRegistry::HKEY_LOCAL_MACHINE);
    registry.setSectionKey(frmImport::SettingsKey);
    registry.setValueType(cRegistry::REG_SZ);
    registry.setValueKey(frmImport::MessageValue);
    return registry;
}
} // namespace

frmImport::frmImport(QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::frmImport>()), m_model(new DebitOrderModel(this))
{
    ui->setupUi(this);
    ui->grdList->setModel(m_model);
    // At the right of the record count, above the buttons.
    m_sendAt = new SendAtChoice(this);
    ui->layRecords->addWidget(m_sendAt);
    // The templates beside the message's label: the list's one message is a
    // template's Body 1.
    auto *templates = new TemplateChooser(this);
    templates->setSource([this] { return TemplateText{{messageText(), {}, {}, {}}, false}; });
    connect(templates, &TemplateChooser::chosen, this, &frmImport::useTemplate);
    auto *messageRow = new QHBoxLayout;
    ui->layMessageText->removeWidget(ui->lblMessage);
    messageRow->addWidget(ui->lblMessage);
    messageRow->addStretch();
    messageRow->addWidget(templates);
    ui->layMessageText->insertLayout(0, messageRow);
    // Fixed row heights and column widths keep a list of 100,000 rows quick:
    // nothing is measured row by row.
    ui->grdList->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    ui->grdList->verticalHeader()->setDefaultSectionSize(ui->grdList->fontMetrics().height() + 8);
    ui->grdList->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    ui->grdList->horizontalHeader()->setStretchLastSection(true);
    ui->grdList->setColumnWidth(0, 110);
    ui->grdList->setColumnWidth(1, 130);

    connect(ui->cmdBrowse, &QPushButton::clicked, this, &frmImport::cmdBrowse_Click);
    connect(ui->cmdImport, &QPushButton::clicked, this, &frmImport::cmdImport_Click);
    connect(ui->cmdClose, &QPushButton::clicked, this, &frmImport::cmdClose_Click);
    Form_Load();
}

frmImport::~frmImport() = default;

void frmImport::Form_Load()
{
    ui->Label7->setText(QStringList{
        QStringLiteral("Instrunctions:"), QStringLiteral("1. Enter your message you want to send to the list."),
        QStringLiteral("2. If you want to be the last person in the list to receive a message, tick the "
                       "Send to myself when finished box and enter your cellphone number."),
        QStringLiteral("3. Browse for the file to be loaded. Once it is loaded on the screen and "
                       "everything looks ok, you can click Import. This will add the list with message "
                       "to your Outbox.")}
                            .join(QStringLiteral("\n")));

    cRegistry registry = messageSetting();
    const QString stored = modFunctions::TrimBlanks(registry.Value().toString());
    ui->txtMessage->setPlainText(MessageText::toEditor(stored));
}

QString frmImport::messageText() const
{
    return MessageText::toStored(ui->txtMessage->toPlainText());
}

// Every line of the list gets one message: the template's first body that
// holds text. Bodies after it would be messages of their own, which the list
// has no place for; the operator is told they were left out.
void frmImport::useTemplate(const TemplateText &text)
{
    QStringList filled;
    for (const QString &body : text.bodies)
        if (!modFunctions::TrimBlanks(body).isEmpty())
            filled << body;
    ui->txtMessage->setPlainText(MessageText::toEditor(filled.value(0)));
    const qsizetype leftOut = filled.size() - 1;
    if (leftOut > 0) {
        const QString bodies =
            leftOut == 1 ? QStringLiteral("body was") : QStringLiteral("%1 bodies were").arg(leftOut);
        MessageBoxes::inform(this, QStringLiteral("TEMPLATE"),
                             QStringLiteral("The importer sends one message to each line; the template's first body "
                                            "was used and its other %1 left out.")
                                 .arg(bodies));
    }
}

void frmImport::storeMessage()
{
    try {
        cRegistry registry = messageSetting();
        registry.setPlainText(messageText());
    } catch (const AppError &error) {
        MessageBoxes::showError(this, error);
    }
}

void frmImport::done(int result)
{
    storeMessage();
    QDialog::done(result);
}

void frmImport::cmdBrowse_Click()
{
    const QString path = FileDialogs::openFileName(this, QStringLiteral("SELECT IMPORT FILE"),
                                                   QStringLiteral("Text Files (*.txt)|*.txt"));
    if (modFunctions::TrimBlanks(path).isEmpty())
        return;
    ui->txtFile->setText(path);
    LoadFile(path);
}

void frmImport::LoadFile(const QString &path)
{
    if (!QFileInfo::exists(path))
        return;
    m_model->setRows({});
    ui->lblRecords->clear();
    DebitOrderList::Loaded loaded;
    if (!MessageBoxes::runShowingErrors(
            this, [&] { loaded = DebitOrderList::load(path, messageText(), ui->chkLastField->isChecked()); }))
        return;
    m_model->setRows(std::move(loaded.rows));
    ui->lblRecords->setText(QString::number(loaded.linesRead));
    MessageBoxes::inform(this, QStringLiteral("IMPORT"), QStringLiteral("Done Loading File"));
    const QString notice = DebitOrderList::shortLinesNotice(loaded);
    if (!notice.isEmpty())
        MessageBoxes::inform(this, QStringLiteral("IMPORT"), notice);
}

void frmImport::cmdImport_Click()
{
    if (!Database::isServerAddress(Database::path()) && !QFileInfo::exists(Database::path()))
        return;
    DebitOrderList::Imported imported;
    QueueCampaign campaign;
    campaign.sendAt = m_sendAt->sendAt();
    campaign.description = QStringLiteral("Debit-order list");
    std::optional<DebitOrderList::Plan> plan;
    if (!MessageBoxes::runShowingErrors(this, [&] {
            plan = DebitOrderList::screen(m_model->rows(),
                                          ui->chkSelfSend->isChecked() ? ui->txtCellNumber->text() : QString());
        }))
        return;
    if (!NumbersQuestion::skipOrCancel(this, plan->skipped))
        return;
    if (!MessageBoxes::runShowingErrors(this, [&] {
            imported = DebitOrderList::import(plan->rows, plan->ownNumber, &campaign);
            imported.markedOut = plan->markedOut;
        }))
        return;
    MessageBoxes::inform(this, QStringLiteral("IMPORTING"), DebitOrderList::importedText(imported));
    CampaignNotices::tellLeftOut(this, campaign.leftOut);
}

void frmImport::cmdClose_Click()
{
    close();
}
