#include "compose/frmSaveTemplate.h"

#include "ui_frmSaveTemplate.h"

#include "ui/MessageBoxes.h"

frmSaveTemplate::frmSaveTemplate(TemplateText text, QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::frmSaveTemplate>()), m_text(std::move(text))
{
    ui->setupUi(this);
    connect(ui->cmdSave, &QPushButton::clicked, this, &frmSaveTemplate::cmdSave_Click);
    connect(ui->cmdCancel, &QPushButton::clicked, this, &frmSaveTemplate::cmdCancel_Click);
}

frmSaveTemplate::~frmSaveTemplate() = default;

bool frmSaveTemplate::storeShowingRefusals(QWidget *parent, const std::function<void()> &store)
{
    std::optional<TemplateNameRefused> refused;
    const bool ran = MessageBoxes::runShowingErrors(parent, [&] {
        try {
            store();
        } catch (const TemplateNameRefused &error) {
            refused = error;
        }
    });
    if (refused)
        MessageBoxes::show(parent, refused->title(), refused->description(), QMessageBox::Warning);
    return ran && !refused;
}

void frmSaveTemplate::cmdSave_Click()
{
    if (storeShowingRefusals(this, [this] { m_saved = TemplateBook::add(ui->txtName->text(), m_text); }))
        accept();
    else
        ui->txtName->setFocus();
}

void frmSaveTemplate::cmdCancel_Click()
{
    reject();
}
