#include "groups/frmEditGroups.h"

#include "ui_frmEditGroups.h"

#include "data/AppError.h"
#include "data/modFunctions.h"
#include "groups/GroupBook.h"
#include "groups/frmEditGroupsListContacts.h"
#include "ui/MessageBoxes.h"
#include "ui/RecordTableModel.h"

#include <QHeaderView>
#include <QShortcut>

namespace {
frmEditGroups::ContactSearch &contactSearch()
{
    static frmEditGroups::ContactSearch search;
    return search;
}
} // namespace

void frmEditGroups::setContactSearch(ContactSearch search)
{
    contactSearch() = std::move(search);
}

frmEditGroups::frmEditGroups(QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::frmEditGroups>()), m_members(new RecordTableModel(this))
{
    ui->setupUi(this);
    m_members->setCaption(QStringLiteral("LastName"), QStringLiteral("Last Name"));
    m_members->setCaption(QStringLiteral("FirstName"), QStringLiteral("First Name"));
    ui->grdList->setModel(m_members);
    ui->grdList->verticalHeader()->hide();
    ui->grdList->verticalHeader()->setDefaultSectionSize(ui->grdList->fontMetrics().height() + 8);
    ui->grdList->horizontalHeader()->setDefaultSectionSize(110);

    connect(ui->cmdAdd, &QPushButton::clicked, this, &frmEditGroups::cmdAdd_Click);
    connect(ui->cmdDelete, &QPushButton::clicked, this, &frmEditGroups::cmdDelete_Click);
    connect(ui->cmdSave, &QPushButton::clicked, this, &frmEditGroups::cmdSave_Click);
    connect(ui->cmdCancel, &QPushButton::clicked, this, &frmEditGroups::cmdCancel_Click);
    // F4 works wherever the focus is in the window.
    auto *f4 = new QShortcut(QKeySequence(Qt::Key_F4), this);
    connect(f4, &QShortcut::activated, this, [this] { Form_KeyDown(Qt::Key_F4); });
    Form_Load();
}

frmEditGroups::~frmEditGroups() = default;

void frmEditGroups::Form_Load()
{
    showMembers();
}

qint64 frmEditGroups::groupId() const
{
    return GroupBook::idOf(ui->lblGroupID->text());
}

bool frmEditGroups::showMembers()
{
    try {
        m_members->setTable(GroupBook::members(groupId()));
    } catch (const AppError &error) {
        MessageBoxes::showError(this, error);
        return false;
    }
    // What identifies a member to the operator: names and numbers.
    static const QStringList shown = {QStringLiteral("LastName"), QStringLiteral("FirstName"),
                                      QStringLiteral("Initials"), QStringLiteral("Mobile"),
                                      QStringLiteral("TelWork"),  QStringLiteral("EMail")};
    for (int column = 0; column < m_members->columnCount(); ++column)
        ui->grdList->setColumnHidden(column, true);
    for (const QString &field : shown) {
        const int column = m_members->columnOf(field);
        if (column >= 0)
            ui->grdList->setColumnHidden(column, false);
    }
    // The number is what the operator checks here: beside the names.
    QHeaderView *header = ui->grdList->horizontalHeader();
    const int mobile = m_members->columnOf(QStringLiteral("Mobile"));
    const int firstName = m_members->columnOf(QStringLiteral("FirstName"));
    if (mobile >= 0 && firstName >= 0)
        header->moveSection(header->visualIndex(mobile), header->visualIndex(firstName) + 1);
    const int initials = m_members->columnOf(QStringLiteral("Initials"));
    if (initials >= 0)
        ui->grdList->setColumnWidth(initials, 70);
    const int email = m_members->columnOf(QStringLiteral("EMail"));
    if (email >= 0)
        ui->grdList->horizontalHeader()->setSectionResizeMode(email, QHeaderView::Stretch);
    return true;
}

void frmEditGroups::LoadDetails(qint32 id)
{
    std::optional<QString> name;
    if (!MessageBoxes::runShowingErrors(this, [&] { name = GroupBook::nameOf(id); }) || !name)
        return;
    ui->lblGroupID->setText(QString::number(id));
    const QString trimmed = modFunctions::TrimBlanks(*name);
    ui->txtName->setText(trimmed);
    ui->lblOldGroupname->setText(trimmed);
    showMembers();
}

void frmEditGroups::Form_KeyDown(int keyCode)
{
    if (keyCode != Qt::Key_F4)
        return;
    if (!contactSearch())
        return;
    const qint64 chosen = contactSearch()(this);
    if (chosen == 0)
        return;
    MessageBoxes::runShowingErrors(this, [&] { GroupBook::addMember(groupId(), chosen); });
    showMembers();
}

void frmEditGroups::cmdAdd_Click()
{
    QList<qint64> marked;
    {
        frmEditGroupsListContacts picker(this);
        picker.exec();
        marked = picker.marked();
    }
    MessageBoxes::runShowingErrors(this, [&] { GroupBook::addMembers(groupId(), marked); });
    showMembers();
}

void frmEditGroups::cmdDelete_Click()
{
    const QModelIndex current = ui->grdList->currentIndex();
    if (!current.isValid())
        return;
    const auto cell = [this, &current](const QString &field) {
        return m_members->index(current.row(), m_members->columnOf(field)).data();
    };
    const QString question = QStringLiteral("Are you sure you want to delete ")
                             + cell(QStringLiteral("LastName")).toString() + QStringLiteral(", ")
                             + cell(QStringLiteral("FirstName")).toString() + QStringLiteral(" from group ")
                             + ui->txtName->text() + QStringLiteral("?");
    if (!MessageBoxes::ask(this, QStringLiteral("DELETE"), question))
        return;
    MessageBoxes::runShowingErrors(
        this, [&] { GroupBook::removeMember(groupId(), GroupBook::idOf(cell(QStringLiteral("ClientID")))); });
    showMembers();
}

void frmEditGroups::cmdSave_Click()
{
    if (MessageBoxes::runShowingErrors(this, [&] { GroupBook::rename(groupId(), ui->txtName->text()); }))
        accept();
}

void frmEditGroups::cmdCancel_Click()
{
    reject();
}
