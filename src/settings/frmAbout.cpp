#include "settings/frmAbout.h"
#include "ui_frmAbout.h"

#include "ui/Pictures.h"

frmAbout::frmAbout(QWidget *parent) : QDialog(parent), ui(std::make_unique<Ui::frmAbout>())
{
    ui->setupUi(this);
    connect(ui->cmdClose, &QPushButton::clicked, this, &frmAbout::cmdClose_Click);
    Form_Load();
}

frmAbout::~frmAbout() = default;

QStringList frmAbout::contactLines()
{
    return {
        QStringLiteral("Corvane Communications (Pty) Ltd"),
        QStringLiteral("Telephone: 021 883 4120"),
        QStringLiteral("Fax: 021 883 4129"),
        QStringLiteral("Support e-mail: support@corvane.co.za"),
        QStringLiteral("VAT number: 4780215936"),
    };
}

QStringList frmAbout::bankingLines()
{
    return {
        QStringLiteral("Banking Details"),
        QStringLiteral("Account name: Corvane Communications (Pty) Ltd"),
        QStringLiteral("Account type: Business cheque account"),
        QStringLiteral("Branch name: Stellenbosch"),
        QStringLiteral("Branch code: 250655"),
        QStringLiteral("Account number: 6204 173 8825"),
    };
}

void frmAbout::Form_Load()
{
    ui->Image1->setPixmap(Pictures::logo(this));
    ui->Label1->setText(contactLines().join(QLatin1Char('\n')));
    ui->Label2->setText(bankingLines().join(QLatin1Char('\n')));
    adjustSize();
    setFixedSize(sizeHint());
}

void frmAbout::cmdClose_Click()
{
    close();
}
