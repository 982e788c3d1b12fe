#include "settings/frmSetup.h"

#include "ui_frmSetup.h"

#include "data/AppError.h"
#include "data/Database.h"
#include "data/modFunctions.h"
#include "settings/BrowseDirectorysOnly.h"
#include "ui/MessageBoxes.h"

#include <QFileInfo>

frmSetup::frmSetup(QWidget *parent, bool withAccount)
    : QDialog(parent), ui(std::make_unique<Ui::frmSetup>()), m_withAccount(withAccount)
{
    ui->setupUi(this);
    ui->txtGatewayHost->setPlaceholderText(SetupStore::BuiltInGatewayHost);
    ui->txtAlternateGatewayHost->setPlaceholderText(SetupStore::BuiltInAlternateGatewayHost);
    if (!m_withAccount) {
        for (QLineEdit *box : {ui->txtUsername, ui->txtPassword}) {
            box->setEnabled(false);
            box->setPlaceholderText(QStringLiteral("read from the chosen database"));
        }
        ui->chkShowPassword->setEnabled(false);
        ui->lblNote->setText(QStringLiteral("The program starts on this database with these gateway hosts; "
                                            "an empty box means the default."));
    }
    connect(ui->txtDatabase, &QLineEdit::textChanged, this, &frmSetup::showDatabasePassword);
    pairShowBox(ui->chkShowPassword, ui->txtPassword);
    pairShowBox(ui->chkShowDatabasePassword, ui->txtDatabasePassword);
    connect(ui->cmdBrowse, &QPushButton::clicked, this, &frmSetup::cmdBrowse_Click);
    connect(ui->cmdSave, &QPushButton::clicked, this, &frmSetup::cmdSave_Click);
    connect(ui->cmdCancel, &QPushButton::clicked, this, &frmSetup::cmdCancel_Click);
    Form_Load();
}

frmSetup::~frmSetup() = default;

void frmSetup::Form_Load()
{
    const bool loaded = MessageBoxes::runShowingErrors(this, [&] {
        ui->lblPasswordStore->setText(SetupStore::passwordStore() == SetupStore::PasswordStore::Keyring
                                          ? QStringLiteral("Database password kept in the desktop keyring")
                                          : QStringLiteral("Database password kept in the settings file "
                                                           "(no keyring found)"));
        const SetupStore::Values stored = SetupStore::load(m_withAccount);
        ui->txtUsername->setText(stored.username);
        ui->txtPassword->setText(stored.password);
        ui->txtDatabase->setText(stored.database);
        ui->txtGatewayHost->setText(stored.gatewayHost);
        ui->txtAlternateGatewayHost->setText(stored.alternateGatewayHost);
        ui->txtDatabasePassword->setText(stored.databasePassword);
        ui->spnGatewayConnections->setValue(stored.gatewayConnections);
        ui->spnGatewayMessagesPerSecond->setValue(stored.gatewayMessagesPerSecond);
        showDatabasePassword();
    });
    if (!loaded) {
        // Saving boxes that could not be filled would overwrite the stored
        // values with blanks: only Cancel is left.
        for (QWidget *control : std::initializer_list<QWidget *>{
                 ui->txtUsername, ui->txtPassword, ui->chkShowPassword, ui->txtDatabase, ui->cmdBrowse,
                 ui->txtDatabasePassword, ui->chkShowDatabasePassword, ui->txtGatewayHost, ui->txtAlternateGatewayHost,
                 ui->spnGatewayConnections, ui->spnGatewayMessagesPerSecond, ui->cmdSave})
            control->setEnabled(false);
    }
}

SetupStore::Values frmSetup::typed() const
{
    return {ui->txtUsername->text(),
            ui->txtPassword->text(),
            ui->txtDatabase->text(),
            ui->txtGatewayHost->text(),
            ui->txtAlternateGatewayHost->text(),
            ui->txtDatabasePassword->text(),
            ui->spnGatewayConnections->value(),
            ui->spnGatewayMessagesPerSecond->value()};
}

// A file needs no password; a server address does.
void frmSetup::showDatabasePassword()
{
    const bool server = Database::isServerAddress(modFunctions::TrimBlanks(ui->txtDatabase->text()));
    ui->txtDatabasePassword->setEnabled(server && ui->cmdSave->isEnabled());
    ui->chkShowDatabasePassword->setEnabled(ui->txtDatabasePassword->isEnabled());
    ui->txtDatabasePassword->setPlaceholderText(server ? QString() : QStringLiteral("only for a server address"));
}

// A password is shown as typed only while the operator ticks its Show box.
void frmSetup::pairShowBox(QCheckBox *show, QLineEdit *password)
{
    connect(show, &QCheckBox::toggled, password,
            [password](bool shown) { password->setEchoMode(shown ? QLineEdit::Normal : QLineEdit::Password); });
}

void frmSetup::cmdBrowse_Click()
{
    // Opens beside the database the box names, where another one is most
    // likely kept.
    const QString named = modFunctions::TrimBlanks(ui->txtDatabase->text());
    const QString beside =
        named.isEmpty() || Database::isServerAddress(named) ? QString() : QFileInfo(named).absolutePath();
    const QString folder =
        BrowseDirectorysOnly::BrowseForFolder(this, QStringLiteral("SELECT DATABASE FOLDER"), beside);
    if (modFunctions::TrimBlanks(folder).isEmpty())
        return;
    const QString file = SetupStore::databaseFileIn(folder);
    if (file.isEmpty()) {
        MessageBoxes::inform(this, QStringLiteral("NOT FOUND"),
                             QStringLiteral("The Tellwave database can not be found in this location. "
                                            "Please choose another."));
        return;
    }
    ui->txtDatabase->setText(file);
}

void frmSetup::cmdSave_Click()
{
    if (MessageBoxes::runShowingErrors(this, [&] { SetupStore::save(typed(), m_withAccount); }))
        accept();
}

void frmSetup::cmdCancel_Click()
{
    reject();
}
