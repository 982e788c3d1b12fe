#include "contacts/frmListClients.h"

#include "ui_frmListClients.h"

#include "contacts/ClientHandOver.h"
#include "contacts/ContactCleanup.h"
#include "contacts/ContactListModel.h"
#include "contacts/ContactStore.h"
#include "contacts/frmAddEditClients.h"
#include "contacts/frmImportCsv.h"
#include "contacts/frmSearchClients.h"
#include "contacts/frmSelectGroup.h"
#include "conversations/frmConversation.h"
#include "data/AppError.h"
#include "ui/MessageBoxes.h"
#include "ui/Shades.h"

#include <QAction>
#include <QHeaderView>
#include <QMenuBar>
#include <QShortcut>

namespace {

// Finding a contact reads the keys before it (keys only, a few megabytes at a
// million); a list larger than this shows its top instead.
constexpr int RevealedAtMost = 5'000'000;

int columnOf(const QString &name)
{
    return int(ContactListing::columns().indexOf(name));
}

void shade(QLabel *label, CellphoneClass::Shading shading)
{
    const QColor background = Shades::forPalette(ContactListModel::colourOf(shading));
    label->setStyleSheet(QStringLiteral("QLabel { background-color: %1; color: %2; padding: 2px 8px; }")
                             .arg(background.name(), Shades::textOn(background).name()));
}

} // namespace

frmListClients::frmListClients(QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::frmListClients>()), m_model(new ContactListModel(this))
{
    ui->setupUi(this);
    buildMenus();
    shade(ui->Label6, CellphoneClass::Shading::TooLong);
    shade(ui->Label5, CellphoneClass::Shading::TooShort);
    shade(ui->Label4, CellphoneClass::Shading::Invalid);

    ui->grdList->setModel(m_model);
    QHeaderView *header = ui->grdList->horizontalHeader();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    header->setDefaultSectionSize(110);
    QHeaderView *rows = ui->grdList->verticalHeader();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(fontMetrics().height() + 8);
    rows->hide();
    for (const QString &hidden : {QStringLiteral("ClientID"), QStringLiteral("Selected"), QStringLiteral("Company")})
        ui->grdList->setColumnHidden(columnOf(hidden), true);

    connect(ui->cmdAdd, &QPushButton::clicked, this, &frmListClients::cmdAdd_Click);
    connect(ui->cmdEdit, &QPushButton::clicked, this, &frmListClients::cmdEdit_Click);
    connect(ui->cmdDelete, &QPushButton::clicked, this, &frmListClients::cmdDelete_Click);
    connect(ui->cmdClose, &QPushButton::clicked, this, &frmListClients::cmdClose_Click);
    connect(ui->grdList, &QTableView::doubleClicked, this, &frmListClients::cmdEdit_Click);
    connect(header, &QHeaderView::sectionClicked, this, &frmListClients::grdList_HeadClick);
    auto *conversation = new QAction(QStringLiteral("&Conversation\u2026"), ui->grdList);
    conversation->setObjectName(QStringLiteral("mnuListConversation"));
    connect(conversation, &QAction::triggered, this, &frmListClients::grdList_Conversation);
    ui->grdList->addAction(conversation);
    ui->grdList->setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(new QShortcut(QKeySequence(Qt::Key_F4), this), &QShortcut::activated, this, &frmListClients::Form_KeyDown);
    Form_Load();
}

frmListClients::~frmListClients() = default;

void frmListClients::buildMenus()
{
    auto *bar = new QMenuBar(this);
    bar->setObjectName(QStringLiteral("mnuBar"));
    layout()->setMenuBar(bar);
    const auto menu = [bar](const char *name, const QString &caption) {
        QMenu *added = bar->addMenu(caption);
        added->setObjectName(QString::fromLatin1(name));
        return added;
    };
    const auto item = [this](QMenu *in, const char *name, const QString &caption, void (frmListClients::*handler)()) {
        QAction *action = in->addAction(caption);
        action->setObjectName(QString::fromLatin1(name));
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    mnuImport = menu("mnuImport", QStringLiteral("&Import"));
    mnuImportPastel = item(mnuImport, "mnuImportPastel", QStringLiteral("Import from &Pastel Customer Export File"),
                           &frmListClients::mnuImportPastel_Click);
    mnuImportCsv = item(mnuImport, "mnuImportCsv", QStringLiteral("Import Contacts from &CSV\u2026"),
                        &frmListClients::mnuImportCsv_Click);
    mnuExport = menu("mnuExport", QStringLiteral("&Export"));
    mnuExportCSV =
        item(mnuExport, "mnuExportCSV", QStringLiteral("Export to CSV format"), &frmListClients::mnuExportCSV_Click);
    mnuUpdate = menu("mnuUpdate", QStringLiteral("&Update"));
    mnuUpdateSpaces = item(mnuUpdate, "mnuUpdateSpaces", QStringLiteral("&Remove Spaces from Phone"),
                           &frmListClients::mnuUpdateSpaces_Click);
    mnuUpdateNames = item(mnuUpdate, "mnuUpdateNames", QStringLiteral("Split LastName and FirstName"),
                          &frmListClients::mnuUpdateNames_Click);
}

QString frmListClients::SortClause() const
{
    return m_model->listing().sortClause();
}

void frmListClients::Form_Load()
{
    m_model->listing().setOrder(ContactListing::orderBy(QStringLiteral("AssNo")));
    ui->grdList->horizontalHeader()->setSortIndicator(columnOf(QStringLiteral("AssNo")), Qt::AscendingOrder);
    MessageBoxes::runShowingErrors(this, [&] { reload(0); });
    showCount();
}

void frmListClients::reload(int row)
{
    m_model->reload();
    setCurrentRow(std::min(row, m_model->rowCount() - 1));
}

int frmListClients::currentRow() const
{
    const QModelIndex current = ui->grdList->currentIndex();
    return current.isValid() ? current.row() : -1;
}

void frmListClients::grdList_Conversation()
{
    const int row = currentRow();
    if (row < 0)
        return;
    const auto text = [&](const QString &column) {
        return m_model->index(row, columnOf(column)).data().toString().trimmed();
    };
    frmConversation::open(
        text(QStringLiteral("Mobile")),
        (text(QStringLiteral("FirstName")) + QLatin1Char(' ') + text(QStringLiteral("LastName"))).trimmed(), this);
}

void frmListClients::setCurrentRow(int row)
{
    if (row < 0 || row >= m_model->rowCount())
        return;
    const QModelIndex index = m_model->index(row, columnOf(QStringLiteral("AssNo")));
    ui->grdList->setCurrentIndex(index);
    ui->grdList->scrollTo(index);
}

void frmListClients::locate(qint64 clientId)
{
    const int row = m_model->reveal(clientId, RevealedAtMost);
    setCurrentRow(row < 0 ? 0 : row);
}

void frmListClients::showCount()
{
    QString text;
    try {
        const KeysetList::Size size = m_model->listing().size();
        text = size.exact ? QString::number(size.rows) : QStringLiteral("about %1").arg(size.rows);
    } catch (const AppError &) {
        text = QString::number(m_model->rowCount());
    }
    ui->lblQty->setText(text);
    ui->lblQty->repaint();
}

void frmListClients::cmdAdd_Click()
{
    ClientHandOver::SavedClientID = 0;
    {
        frmAddEditClients editor(this);
        editor.exec();
    }
    MessageBoxes::runShowingErrors(this, [&] {
        reload(0);
        if (ClientHandOver::SavedClientID != 0)
            locate(ClientHandOver::SavedClientID);
    });
    showCount();
}

void frmListClients::cmdEdit_Click()
{
    const int row = currentRow();
    if (row < 0)
        return;
    const qint64 clientId = m_model->listing().keyAt(row);
    {
        frmAddEditClients editor(this);
        editor.LoadDetails(qint32(clientId));
        editor.exec();
    }
    MessageBoxes::runShowingErrors(this, [&] {
        reload(row);
        // The edited contact stays current, also when the edit moved it in the order.
        const int now = m_model->reveal(clientId, std::max(row + 1, RevealedAtMost));
        setCurrentRow(now < 0 ? std::min(row, m_model->rowCount() - 1) : now);
    });
}

void frmListClients::cmdDelete_Click()
{
    const int row = currentRow();
    if (row < 0)
        return;
    const qint64 clientId = m_model->listing().keyAt(row);
    const QString assNo = m_model->listing().value(row, columnOf(QStringLiteral("AssNo"))).toString();
    if (!MessageBoxes::ask(this, QStringLiteral("DELETE"),
                           QStringLiteral("Are you sure you want to delete the customer with Ass No = ") + assNo
                               + QStringLiteral("?")))
        return;
    MessageBoxes::runShowingErrors(this, [&] {
        ContactStore::remove(clientId);
        reload(row);
    });
    showCount();
}

void frmListClients::cmdClose_Click()
{
    close();
}

void frmListClients::Form_KeyDown()
{
    const qint32 chosen = frmSearchClients::pick(this);
    if (chosen == 0)
        return;
    locate(chosen);
    ui->cmdEdit->setFocus();
}

void frmListClients::grdList_HeadClick(int column)
{
    if (column < 0 || column >= ContactListing::columns().size())
        return;
    m_model->listing().setOrder(ContactListing::orderBy(ContactListing::columns().at(column)));
    // Always ascending, however often the same header is clicked.
    ui->grdList->horizontalHeader()->setSortIndicator(column, Qt::AscendingOrder);
    MessageBoxes::runShowingErrors(this, [&] { reload(0); });
}

void frmListClients::mnuImportPastel_Click()
{
    {
        frmSelectGroup import(this);
        import.ActionType = QStringLiteral("IMPORT");
        import.FileFormat = QStringLiteral("PASTEL");
        import.exec();
    }
    MessageBoxes::runShowingErrors(this, [&] { reload(0); });
    showCount();
}

void frmListClients::mnuImportCsv_Click()
{
    {
        frmImportCsv import(this);
        if (!import.cmdBrowse_Click())
            return;
        import.exec();
    }
    MessageBoxes::runShowingErrors(this, [&] { reload(0); });
    showCount();
}

void frmListClients::mnuExportCSV_Click()
{
    frmSelectGroup exporter(this);
    exporter.ActionType = QStringLiteral("EXPORT");
    exporter.FileFormat = QStringLiteral("CSV");
    exporter.exec();
}

void frmListClients::mnuUpdateNames_Click()
{
    cleanUp(&ContactCleanup::splitNames);
}

void frmListClients::mnuUpdateSpaces_Click()
{
    cleanUp(&ContactCleanup::removePhoneSpaces);
}

void frmListClients::cleanUp(qint64 (*command)())
{
    MessageBoxes::runShowingErrors(this, [&] { command(); });
    // Contacts changed before an error stay changed: the list shows them either way.
    MessageBoxes::runShowingErrors(this, [&] { reload(currentRow()); });
}
