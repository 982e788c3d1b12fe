#include "groups/frmListGroups.h"

#include "ui_frmListGroups.h"

#include "data/AppError.h"
#include "groups/GroupBook.h"
#include "groups/frmAddGroups.h"
#include "groups/frmEditGroups.h"
#include "ui/MessageBoxes.h"
#include "ui/QueryListModel.h"

#include <QHeaderView>

frmListGroups::frmListGroups(QWidget *parent) : QDialog(parent), ui(std::make_unique<Ui::frmListGroups>())
{
    ui->setupUi(this);
    m_groups = new QueryListModel(
        {{QStringLiteral("GroupID"), QStringLiteral("GroupID"), true, QueryListModel::Kind::Text, 70},
         {QStringLiteral("Name"), QStringLiteral("Name")}},
        this);
    ui->grdList->verticalHeader()->hide();
    ui->grdList->verticalHeader()->setDefaultSectionSize(ui->grdList->fontMetrics().height() + 8);

    connect(ui->cmdAdd, &QPushButton::clicked, this, &frmListGroups::cmdAdd_Click);
    connect(ui->cmdEdit, &QPushButton::clicked, this, &frmListGroups::cmdEdit_Click);
    connect(ui->grdList, &QAbstractItemView::doubleClicked, this, &frmListGroups::cmdEdit_Click);
    connect(ui->cmdDelete, &QPushButton::clicked, this, &frmListGroups::cmdDelete_Click);
    connect(ui->cmdClose, &QPushButton::clicked, this, &frmListGroups::cmdClose_Click);
    Form_Load();
}

frmListGroups::~frmListGroups() = default;

void frmListGroups::Form_Load()
{
    MessageBoxes::runShowingErrors(this, [&] { m_groups->setQuery(GroupBook::listStatement()); });
    m_groups->showIn(ui->grdList, QStringLiteral("Name"));
    if (m_groups->rowCount() > 0)
        ui->grdList->selectRow(0);
}

void frmListGroups::reload(qint64 currentGroupId)
{
    try {
        m_groups->refresh();
    } catch (const AppError &error) {
        MessageBoxes::showError(this, error);
        return;
    }
    int current = m_groups->rowCount() > 0 ? 0 : -1;
    if (currentGroupId != 0) {
        // The list is fetched as it is scrolled; look through what it holds.
        while (m_groups->canFetchMore({}))
            m_groups->fetchMore({});
        for (int row = 0; row < m_groups->rowCount(); ++row)
            if (GroupBook::idOf(m_groups->value(row, QStringLiteral("GroupID"))) == currentGroupId)
                current = row;
    }
    if (current >= 0)
        ui->grdList->selectRow(current);
}

int frmListGroups::currentRow() const
{
    const QModelIndex current = ui->grdList->currentIndex();
    return current.isValid() ? current.row() : -1;
}

void frmListGroups::cmdAdd_Click()
{
    frmAddGroups add(this);
    add.exec();
    reload();
}

void frmListGroups::cmdEdit_Click()
{
    const int row = currentRow();
    if (row < 0)
        return;
    const qint64 groupId = GroupBook::idOf(m_groups->value(row, QStringLiteral("GroupID")));
    frmEditGroups editor(this);
    editor.LoadDetails(qint32(groupId));
    editor.exec();
    reload(groupId);
}

void frmListGroups::cmdDelete_Click()
{
    const int row = currentRow();
    if (row < 0)
        return;
    const qint64 groupId = GroupBook::idOf(m_groups->value(row, QStringLiteral("GroupID")));
    const QString name = m_groups->value(row, QStringLiteral("Name")).toString();
    if (!MessageBoxes::ask(this, QStringLiteral("DELETE"),
                           QStringLiteral("Are you sure you want group : ") + name + QStringLiteral("?")))
        return;
    // Enter on this question must never take the contacts: No is its default.
    const bool withContacts =
        MessageBoxes::ask(this, QStringLiteral("DELETE"),
                          QStringLiteral("Do you want to delete all the contacts associated with this group as well?"),
                          QMessageBox::Question, QMessageBox::No);
    MessageBoxes::runShowingErrors(this, [&] { GroupBook::remove(groupId, withContacts); });
    reload();
}

void frmListGroups::cmdClose_Click()
{
    close();
}
