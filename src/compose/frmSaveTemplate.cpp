#include "compose/frmSaveTemplate.h"

#include "ui_frmSaveTemplate.h"

#include "ui/BusyPointer.h"
#include "ui/MessageBoxes.h"

frmSaveTemplate::frmSaveTemplate(TemplateText text, QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::frmSaveTemplate>()), m_text(std::move(text))
{
    ui->setupUi(this);
    connect(ui->cmdSave, &QPushButton::clicked, this, &frmSaveTemplate::cmdSave_Click);
    connect(ui->cmdCancel, &QPushButton::clicked, this, &frmSaveTemplate::cmdCancel_Click);
}

frmSaveTemplate::~frmSaveTemplate() = default;

void frmSaveTemplate::cmdSave_Click()
{
    BusyPointer busy;
    try {
        m_saved = TemplateBook::add(ui->txtName->text(), m_text);
    } catch (const TemplateNameRefused &refused) {
        busy.release();
        MessageBoxes::show(this, refused.title(), refused.description(), QMessageBox::Warning);
        ui->txtName->setFocus();
        return;
    } catch (const AppError &error) {
        busy.release();
        MessageBoxes::showError(this, error);
        return;
    }
    busy.release();
    accept();
}

void frmSaveTemplate::cmdCancel_Click()
{
    reject();
}
