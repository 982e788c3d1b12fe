#include "compose/frmTemplates.h"

#include "ui_frmTemplates.h"

#include "compose/ComposerBlock.h"
#include "compose/SendAtChoice.h"
#include "compose/TemplateBook.h"
#include "compose/TemplateChooser.h"
#include "compose/frmSaveTemplate.h"
#include "ui/MessageBoxes.h"

namespace {
constexpr int IdRole = Qt::UserRole;
}

frmTemplates::frmTemplates(QWidget *parent) : QDialog(parent), ui(std::make_unique<Ui::frmTemplates>())
{
    ui->setupUi(this);
    // Here the bodies are the template itself: nothing is queued or chosen.
    ui->composer->templateChooser()->hide();
    ui->composer->sendAtChoice()->hide();
    connect(ui->cmdNew, &QPushButton::clicked, this, &frmTemplates::cmdNew_Click);
    connect(ui->cmdSave, &QPushButton::clicked, this, &frmTemplates::cmdSave_Click);
    connect(ui->cmdDelete, &QPushButton::clicked, this, &frmTemplates::cmdDelete_Click);
    connect(ui->cmdClose, &QPushButton::clicked, this, &frmTemplates::cmdClose_Click);
    connect(ui->lstTemplates, &QListWidget::currentRowChanged, this, &frmTemplates::listChanged);
    const auto changed = [this] {
        if (!m_showing)
            m_changed = true;
    };
    connect(ui->txtName, &QLineEdit::textEdited, this, changed);
    connect(ui->composer, &ComposerBlock::contentChanged, this, changed);
    Form_Load();
}

frmTemplates::~frmTemplates() = default;

void frmTemplates::Form_Load()
{
    showList(0);
}

void frmTemplates::showList(qint64 selectId)
{
    QList<MessageTemplate> templates;
    MessageBoxes::runShowingErrors(this, [&] { templates = TemplateBook::list(); });
    m_showing = true;
    ui->lstTemplates->clear();
    int selectRow = templates.isEmpty() ? -1 : 0;
    for (int row = 0; row < templates.size(); ++row) {
        auto *item = new QListWidgetItem(templates.at(row).name, ui->lstTemplates);
        item->setData(IdRole, templates.at(row).id);
        if (templates.at(row).id == selectId)
            selectRow = row;
    }
    m_showing = false;
    if (selectRow < 0)
        cmdNew_Click();
    else
        ui->lstTemplates->setCurrentRow(selectRow);
}

void frmTemplates::showTemplate(qint64 templateId)
{
    std::optional<MessageTemplate> found;
    try {
        found = TemplateBook::find(templateId);
    } catch (const AppError &error) {
        MessageBoxes::showError(this, error);
    }
    m_showing = true;
    m_id = found ? found->id : 0;
    ui->txtName->setText(found ? found->name : QString());
    ui->composer->fill(found ? found->text : TemplateText{});
    m_showing = false;
    m_changed = false;
    ui->cmdDelete->setEnabled(m_id != 0);
}

void frmTemplates::listChanged()
{
    if (m_showing)
        return;
    QListWidgetItem *item = ui->lstTemplates->currentItem();
    const qint64 wanted = item ? item->data(IdRole).toLongLong() : 0;
    if (wanted == m_id && !m_changed)
        return;
    const Settled settled = settleChanges();
    if (settled == Settled::Stay) {
        // Back to the template being changed, whose changes stay.
        m_showing = true;
        int row = -1;
        for (int i = 0; i < ui->lstTemplates->count(); ++i)
            if (ui->lstTemplates->item(i)->data(IdRole).toLongLong() == m_id)
                row = i;
        ui->lstTemplates->setCurrentRow(row);
        m_showing = false;
        return;
    }
    if (settled == Settled::Saved)
        showList(wanted); // the saved name is listed in its place
    else if (wanted != 0)
        showTemplate(wanted);
}

frmTemplates::Settled frmTemplates::settleChanges()
{
    if (!m_changed)
        return Settled::Unchanged;
    const QString name = ui->txtName->text().trimmed();
    const QMessageBox::StandardButton answer = MessageBoxes::show(
        this, QStringLiteral("SAVE"),
        name.isEmpty() ? QStringLiteral("Save the new template?")
                       : QStringLiteral("Save the changes to the template \"%1\"?").arg(name),
        QMessageBox::Question, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
    if (answer == QMessageBox::Yes)
        return save() ? Settled::Saved : Settled::Stay;
    if (answer == QMessageBox::No) {
        m_changed = false;
        return Settled::Unchanged;
    }
    return Settled::Stay;
}

bool frmTemplates::save()
{
    const TemplateText text = ui->composer->templateText();
    const bool stored = frmSaveTemplate::storeShowingRefusals(this, [this, &text] {
        if (m_id == 0)
            m_id = TemplateBook::add(ui->txtName->text(), text);
        else
            TemplateBook::save(m_id, ui->txtName->text(), text);
    });
    if (!stored) {
        ui->txtName->setFocus();
        return false;
    }
    m_changed = false;
    return true;
}

void frmTemplates::cmdNew_Click()
{
    if (settleChanges() == Settled::Stay)
        return;
    m_showing = true;
    ui->lstTemplates->setCurrentRow(-1);
    m_showing = false;
    showTemplate(0);
    ui->txtName->setFocus();
}

void frmTemplates::cmdSave_Click()
{
    if (save())
        showList(m_id);
}

void frmTemplates::cmdDelete_Click()
{
    if (m_id == 0)
        return;
    if (!MessageBoxes::ask(
            this, QStringLiteral("DELETE"),
            QStringLiteral("Are you sure you want to delete the template \"%1\"?")
                .arg(ui->lstTemplates->currentItem() ? ui->lstTemplates->currentItem()->text() : ui->txtName->text())))
        return;
    const int row = ui->lstTemplates->currentRow();
    if (!MessageBoxes::runShowingErrors(this, [&] { TemplateBook::remove(m_id); })) {
        showList(0);
        return;
    }
    m_changed = false;
    m_id = 0;
    // The template after it, or the one before when it was the last.
    QListWidgetItem *next =
        ui->lstTemplates->item(row + 1) ? ui->lstTemplates->item(row + 1) : ui->lstTemplates->item(row - 1);
    showList(next ? next->data(IdRole).toLongLong() : 0);
}

void frmTemplates::cmdClose_Click()
{
    close();
}

void frmTemplates::done(int result)
{
    if (settleChanges() == Settled::Stay)
        return;
    QDialog::done(result);
}
