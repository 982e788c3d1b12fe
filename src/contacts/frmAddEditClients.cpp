#include "contacts/frmAddEditClients.h"

#include "ui_frmAddEditClients.h"

#include "contacts/ClientHandOver.h"
#include "contacts/ContactStore.h"
#include "data/Database.h"
#include "data/modFunctions.h"
#include "ui/MessageBoxes.h"

#include <QFocusEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QSqlError>
#include <QSqlQueryModel>
#include <QTableView>

#include <utility>

using modFunctions::TrimBlanks;

namespace {
enum TownColumn { TownID, TownArea, TownTown, TownBoxCode, TownStreetCode, TownAreaGroup };
}

frmAddEditClients::frmAddEditClients(QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::frmAddEditClients>()), m_towns(new QSqlQueryModel(this))
{
    ui->setupUi(this);
    ui->lblID->hide();
    // The enroller is filled by LoadDetails; the Tab key passes it by.
    ui->txtEnrollerName->setFocusPolicy(Qt::ClickFocus);

    auto *list = new QTableView(ui->cboTown);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->verticalHeader()->hide();
    list->horizontalHeader()->setStretchLastSection(true);
    list->setMinimumWidth(320);
    ui->cboTown->setModel(m_towns);
    ui->cboTown->setView(list);
    ui->cboTown->setModelColumn(TownArea);
    for (QObject *watched : watchedByForm())
        watched->installEventFilter(this);

    connect(ui->cmdSave, &QPushButton::clicked, this, &frmAddEditClients::cmdSave_Click);
    connect(ui->cmdCancel, &QPushButton::clicked, this, &frmAddEditClients::cmdCancel_Click);
    // The arrow keys and the wheel on the closed box also activate a row; only
    // a town the operator picks from the open list or confirms with Enter
    // fills the postal code.
    connect(ui->cboTown, &QComboBox::activated, this, [this](int row) {
        if (std::exchange(m_townPicked, false))
            cboTown_Click(row);
    });
    Form_Load();
}

frmAddEditClients::~frmAddEditClients()
{
    // Closing moves the focus out of the boxes, and the town box then
    // activates its row once more: the form is past acting on either.
    for (QObject *watched : watchedByForm())
        watched->removeEventFilter(this);
    disconnect(ui->cboTown, nullptr, this, nullptr);
}

void frmAddEditClients::Form_Load()
{
    MessageBoxes::runShowingErrors(this, [&] {
        const QString sql = QStringLiteral("SELECT ID, Area, Town, BoxCode, StreetCode, AreaGroup FROM PostalCodes "
                                           "ORDER BY Area COLLATE Names, Town COLLATE Names");
        Database::fill(*m_towns, sql);
        while (m_towns->canFetchMore())
            m_towns->fetchMore();
        if (m_towns->lastError().isValid())
            throw Database::errorFrom(m_towns->lastError(), sql);
    });
    m_towns->setHeaderData(TownBoxCode, Qt::Horizontal, QStringLiteral("PO Box"));
    m_towns->setHeaderData(TownStreetCode, Qt::Horizontal, QStringLiteral("Street Box"));
    auto *list = static_cast<QTableView *>(ui->cboTown->view());
    for (int column : {TownID, TownBoxCode, TownStreetCode, TownAreaGroup})
        list->setColumnHidden(column, true);
    list->resizeColumnToContents(TownArea);
    ui->cboTown->setCurrentIndex(-1);
    ui->cboTown->setEditText(QString());
    ui->txtAssNo->setFocus();
}

QList<QObject *> frmAddEditClients::watchedByForm() const
{
    QAbstractItemView *list = ui->cboTown->view();
    return {ui->txtCellphone, ui->cboTown, ui->cboTown->lineEdit(), list, list->viewport()};
}

QList<std::pair<QString, QLineEdit *>> frmAddEditClients::boxes() const
{
    return {{QStringLiteral("AssNo"), ui->txtAssNo},           {QStringLiteral("LastName"), ui->txtLastname},
            {QStringLiteral("FirstName"), ui->txtFirstname},   {QStringLiteral("Initials"), ui->txtInitials},
            {QStringLiteral("Salute"), ui->txtSalute},         {QStringLiteral("EnrollerAssNo"), ui->txtEnrollerName},
            {QStringLiteral("Company"), ui->txtCompany},       {QStringLiteral("Address1"), ui->txtAddress1},
            {QStringLiteral("Address2"), ui->txtAddress2},     {QStringLiteral("Address3"), ui->cboTown->lineEdit()},
            {QStringLiteral("PostalCode"), ui->txtPostalCode}, {QStringLiteral("TelWork"), ui->txtTelWork},
            {QStringLiteral("TelHome"), ui->txtTelHome},       {QStringLiteral("Fax"), ui->txtFax},
            {QStringLiteral("Mobile"), ui->txtCellphone},      {QStringLiteral("EMail"), ui->txtEMail}};
}

void frmAddEditClients::LoadDetails(qint32 ID)
{
    MessageBoxes::runShowingErrors(this, [&] {
        const std::optional<ContactStore::Contact> contact = ContactStore::load(ID);
        if (!contact)
            return;
        setWindowTitle(QStringLiteral("Update Contacts"));
        ui->lblID->setText(QString::number(ID));
        for (const auto &[column, box] : boxes())
            box->setText(contact->value(column));
    });
}

void frmAddEditClients::ClearFields()
{
    setWindowTitle(QStringLiteral("Add Clients"));
    for (const auto &[column, box] : boxes())
        box->clear();
    ui->cboTown->setCurrentIndex(-1);
    ui->cboTown->setEditText(QString());
    ui->lblID->clear();
    // An empty number clashes with no one: the next contact can be saved.
    ui->cmdSave->setEnabled(true);
}

void frmAddEditClients::cmdSave_Click()
{
    const bool saved = MessageBoxes::runShowingErrors(this, [&] {
        ContactStore::Contact contact;
        for (const auto &[column, box] : boxes()) {
            // The enroller is stored as typed.
            const bool trimmed = box != ui->txtEnrollerName;
            contact.insert(column, trimmed ? TrimBlanks(box->text()) : box->text());
        }
        const qint64 id = qint64(modFunctions::LeadingNumber(ui->lblID->text()));
        ClientHandOver::SavedClientID = qint32(ContactStore::save(id, contact));
    });
    if (!saved)
        return;
    ClearFields();
    ui->txtAssNo->setFocus();
}

void frmAddEditClients::cmdCancel_Click()
{
    reject();
}

void frmAddEditClients::cboTown_Click(int row)
{
    if (row < 0)
        return;
    const auto code = [this, row](int column) { return m_towns->index(row, column).data().toString(); };
    ui->txtPostalCode->setText(
        ContactStore::postalCodeForTown(ui->txtPostalCode->text(), code(TownBoxCode), code(TownStreetCode), [this] {
            const QMessageBox::StandardButton answer = MessageBoxes::show(
                this, QStringLiteral("CODES"),
                QStringLiteral("Press YES to use PO Box Code or NO for Street Code or CANCEL for nothing."),
                QMessageBox::Information, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            return answer == QMessageBox::Yes  ? ContactStore::CodeChoice::BoxCode
                   : answer == QMessageBox::No ? ContactStore::CodeChoice::StreetCode
                                               : ContactStore::CodeChoice::Nothing;
        }));
    ui->cboTown->setEditText(modFunctions::ProperCase(ui->cboTown->currentText()));
}

void frmAddEditClients::txtCellphone_LostFocus()
{
    std::optional<ContactStore::Holder> holder;
    if (!MessageBoxes::runShowingErrors(this, [&] {
            holder = ContactStore::mobileHolder(TrimBlanks(ui->txtCellphone->text()),
                                                qint64(modFunctions::LeadingNumber(ui->lblID->text())));
        }))
        return;
    if (!holder) {
        ui->cmdSave->setEnabled(true);
        return;
    }
    MessageBoxes::inform(this, QStringLiteral("INFO"),
                         QStringLiteral("This cell number already exist for ") + holder->lastName + QStringLiteral(", ")
                             + holder->firstName);
    ui->cmdSave->setEnabled(false);
}

bool frmAddEditClients::eventFilter(QObject *watched, QEvent *event)
{
    const auto isEnter = [event] {
        const int key = static_cast<QKeyEvent *>(event)->key();
        return key == Qt::Key_Return || key == Qt::Key_Enter;
    };
    if (watched == ui->cboTown || watched == ui->cboTown->lineEdit()) {
        if (event->type() == QEvent::KeyPress)
            m_townPicked = isEnter();
        else if (event->type() == QEvent::Wheel)
            m_townPicked = false;
    } else if ((watched == ui->cboTown->view() || watched == ui->cboTown->view()->viewport())
               && ui->cboTown->view()->isVisible()) {
        // The open list takes Enter as its shortcut override, before any key
        // press; a key press that follows reaches the list already closed.
        const bool key = event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride;
        if (event->type() == QEvent::MouseButtonRelease || (key && isEnter()))
            m_townPicked = true;
    }
    if (watched == ui->txtCellphone && event->type() == QEvent::FocusOut && isVisible()) {
        // Only the operator moving on counts, not another window taking the focus.
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            txtCellphone_LostFocus();
    }
    return QDialog::eventFilter(watched, event);
}
