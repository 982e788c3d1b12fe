#include "compose/frmSendToGroup.h"

#include "ui_frmSendToGroup.h"

#include <QPushButton>

#include "campaigns/CampaignNotices.h"
#include "campaigns/MessagePreview.h"
#include "campaigns/frmPreview.h"
#include "compose/GroupQueue.h"
#include "compose/NumbersQuestion.h"
#include "data/AppError.h"
#include "groups/GroupBook.h"
#include "ui/MessageBoxes.h"
#include "ui/RecordTableModel.h"

#include <QElapsedTimer>
#include <QHeaderView>

#include <optional>
#include <utility>

frmSendToGroup::frmSendToGroup(QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::frmSendToGroup>()), m_members(new RecordTableModel(this))
{
    ui->setupUi(this);
    m_members->setCaption(QStringLiteral("LastName"), QStringLiteral("Last Name"));
    m_members->setCaption(QStringLiteral("FirstName"), QStringLiteral("First Name"));
    ui->grdList->setModel(m_members);
    ui->grdList->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    ui->grdList->horizontalHeader()->setDefaultSectionSize(110);

    connect(ui->cmdSend, &QPushButton::clicked, this, &frmSendToGroup::cmdSend_Click);
    connect(ui->cmdCancel, &QPushButton::clicked, this, &frmSendToGroup::cmdCancel_Click);
    auto *preview = new QPushButton(QStringLiteral("Previe&w..."), this);
    preview->setObjectName(QStringLiteral("cmdPreview"));
    ui->layButtons->insertWidget(ui->layButtons->indexOf(ui->cmdSend), preview);
    connect(preview, &QPushButton::clicked, this, &frmSendToGroup::cmdPreview_Click);
    Form_Load();
    connect(ui->cboGroups, &QComboBox::currentIndexChanged, this, &frmSendToGroup::cboGroups_Click);
}

frmSendToGroup::~frmSendToGroup() = default;

void frmSendToGroup::Form_Load()
{
    MessageBoxes::runShowingErrors(this, [&] {
        for (const GroupBook::Group &group : GroupBook::list())
            ui->cboGroups->addItem(group.name, group.groupId);
        ui->cboGroups->setCurrentIndex(-1);
        showMembers(0);
    });
}

void frmSendToGroup::showMembers(qint64 groupId)
{
    m_members->setTable(GroupBook::members(groupId));
    // The mobile number is what the operator checks here: shown beside the
    // names rather than at the far end of the row.
    QHeaderView *header = ui->grdList->horizontalHeader();
    const int mobile = m_members->columnOf(QStringLiteral("Mobile"));
    const int firstName = m_members->columnOf(QStringLiteral("FirstName"));
    if (mobile >= 0 && firstName >= 0)
        header->moveSection(header->visualIndex(mobile), header->visualIndex(firstName) + 1);
    for (const QString &hidden : {QStringLiteral("GroupID"), QStringLiteral("ClientID"), QStringLiteral("Selected")}) {
        const int column = m_members->columnOf(hidden);
        if (column >= 0)
            ui->grdList->setColumnHidden(column, true);
    }
}

void frmSendToGroup::cboGroups_Click()
{
    const int index = ui->cboGroups->currentIndex();
    MessageBoxes::runShowingErrors(this,
                                   [&] { showMembers(index < 0 ? 0 : ui->cboGroups->itemData(index).toLongLong()); });
}

void frmSendToGroup::setStatus(const QString &text)
{
    ui->lblStatus->setText(text);
    ui->lblStatus->repaint();
}

namespace {
QString addingText(const std::pair<QString, QString> &member)
{
    return QStringLiteral("Adding ") + member.first + QStringLiteral(", ") + member.second;
}
} // namespace

void frmSendToGroup::cmdSend_Click()
{
    const int index = ui->cboGroups->currentIndex();
    if (index < 0)
        return;
    const qint64 groupId = ui->cboGroups->itemData(index).toLongLong();
    std::optional<GroupQueue::Plan> plan;
    if (!MessageBoxes::runShowingErrors(this, [&] { plan = GroupQueue::plan(groupId); }))
        return;
    const qint64 without = plan->skipped.countOf(SkippedNumbers::Reason::NoNumber);
    // Members without a number alone keep their own question; with other
    // numbers left out they are named in the one question about them all.
    if (without > 0 && without == plan->skipped.count) {
        const QString question =
            QStringLiteral("There are ") + QString::number(without)
            + QStringLiteral(" customers in this group that does not have mobile numbers. Press Yes to "
                             "continue, but leave them out. Press No to cancel send.");
        if (!MessageBoxes::ask(this, QStringLiteral("NUMBERS"), question, QMessageBox::Information))
            return;
    } else if (!NumbersQuestion::skipOrCancel(this, plan->skipped)) {
        return;
    }
    std::optional<std::pair<QString, QString>> adding; // the member being queued: last name, first name
    QueueCampaign campaign;
    const bool queued = MessageBoxes::runShowingErrors(this, [&] {
        campaign = ui->composer->campaign();
        campaign.description = QStringLiteral("Group ") + ui->cboGroups->currentText();
        // Painting the label takes longer than queueing a member: it shows
        // whom it is adding a few times a second, and the member an error
        // stopped at.
        QElapsedTimer shown;
        const qint64 counter = GroupQueue::queue(
            plan->members, ui->composer->bodies(),
            [&](const QString &lastName, const QString &firstName) {
                adding.emplace(lastName, firstName);
                if (shown.isValid() && shown.elapsed() < 100)
                    return;
                setStatus(addingText(*adding));
                shown.start();
            },
            &campaign);
        setStatus(QStringLiteral("Added ") + QString::number(counter) + QStringLiteral(" records."));
    });
    if (!queued) {
        // The member the error stopped at.
        if (adding)
            setStatus(addingText(*adding));
        return;
    }
    CampaignNotices::tellLeftOut(this, campaign.leftOut);
}

void frmSendToGroup::cmdPreview_Click()
{
    const int index = ui->cboGroups->currentIndex();
    if (index < 0)
        return;
    std::optional<MessagePreview::Preview> preview;
    if (!MessageBoxes::runShowingErrors(this, [&] {
            preview = MessagePreview::forGroup(ui->cboGroups->itemData(index).toLongLong(), ui->composer->bodies(),
                                               ui->composer->isMarketing());
        }))
        return;
    frmPreview window(*preview, this);
    window.exec();
}

void frmSendToGroup::cmdCancel_Click()
{
    close();
}
