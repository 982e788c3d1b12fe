#include "groups/frmAddGroups.h"

#include "ui_frmAddGroups.h"

#include "data/AppError.h"
#include "groups/GroupBook.h"
#include "ui/MessageBoxes.h"

frmAddGroups::frmAddGroups(QWidget *parent) : QDialog(parent), ui(std::make_unique<Ui::frmAddGroups>())
{
    ui->setupUi(this);
    connect(ui->cmdSave, &QPushButton::clicked, this, &frmAddGroups::cmdSave_Click);
    connect(ui->cmdCancel, &QPushButton::clicked, this, &frmAddGroups::cmdCancel_Click);
}

frmAddGroups::~frmAddGroups() = default;

void frmAddGroups::cmdSave_Click()
{
    bool created = false;
    if (!MessageBoxes::runShowingErrors(this, [&] { created = GroupBook::create(ui->txtName->text()).has_value(); }))
        return;
    if (created) {
        accept();
        return;
    }
    MessageBoxes::show(this, QStringLiteral("EXIST"),
                       QStringLiteral("This group name already exist. Please choose another one."),
                       QMessageBox::Warning);
}

void frmAddGroups::cmdCancel_Click()
{
    reject();
}
