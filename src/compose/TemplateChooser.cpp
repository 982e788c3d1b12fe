#include "compose/TemplateChooser.h"

#include "compose/frmSaveTemplate.h"
#include "data/modFunctions.h"
#include "ui/MessageBoxes.h"

#include <QHBoxLayout>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>

namespace {

bool blank(const TemplateText &text)
{
    for (const QString &body : text.bodies)
        if (!modFunctions::TrimBlanks(body).isEmpty())
            return false;
    return true;
}

} // namespace

TemplateChooser::TemplateChooser(QWidget *parent)
    : QWidget(parent), m_choose(new QToolButton(this)), m_save(new QPushButton(this)), m_menu(new QMenu(this))
{
    setObjectName(QStringLiteral("TemplateChooser"));
    m_choose->setObjectName(QStringLiteral("cmdTemplate"));
    m_choose->setText(QStringLiteral("Tem&plate"));
    m_choose->setToolTip(QStringLiteral("Fill the message with a saved template"));
    m_choose->setPopupMode(QToolButton::InstantPopup);
    m_choose->setToolButtonStyle(Qt::ToolButtonTextOnly);
    m_choose->setMenu(m_menu);
    // Room for the drop-down mark beside the text.
    m_choose->setMinimumWidth(m_choose->sizeHint().width() + 2 * m_choose->fontMetrics().averageCharWidth());
    m_menu->setObjectName(QStringLiteral("mnuTemplates"));
    m_save->setObjectName(QStringLiteral("cmdSaveTemplate"));
    m_save->setText(QStringLiteral("Save as &Template..."));
    m_save->setAutoDefault(false);
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(m_choose);
    row->addWidget(m_save);
    // Read when the list drops down: a template saved or deleted meanwhile is
    // listed as it is now.
    connect(m_menu, &QMenu::aboutToShow, this, &TemplateChooser::fillMenu);
    connect(m_save, &QPushButton::clicked, this, &TemplateChooser::cmdSaveTemplate_Click);
}

void TemplateChooser::fillMenu()
{
    m_menu->clear();
    QList<MessageTemplate> templates;
    try {
        templates = TemplateBook::list();
    } catch (const AppError &error) {
        m_menu->addAction(QStringLiteral("The templates could not be read"))->setEnabled(false);
        m_menu->addAction(error.text())->setEnabled(false);
        return;
    }
    if (templates.isEmpty())
        m_menu->addAction(QStringLiteral("No templates yet: write a message and Save as Template"))->setEnabled(false);
    for (const MessageTemplate &item : std::as_const(templates)) {
        // A name is shown as written: an "&" in it is no access key.
        QString shown = item.name;
        QAction *action = m_menu->addAction(shown.replace(QLatin1Char('&'), QStringLiteral("&&")));
        const qint64 id = item.id;
        connect(action, &QAction::triggered, this, [this, id] { choose(id); });
    }
}

void TemplateChooser::choose(qint64 templateId)
{
    std::optional<MessageTemplate> found;
    try {
        found = TemplateBook::find(templateId);
    } catch (const AppError &error) {
        MessageBoxes::showError(this, error);
        return;
    }
    if (!found) {
        MessageBoxes::inform(this, QStringLiteral("NOT FOUND"),
                             QStringLiteral("That template is no longer there; it was deleted meanwhile."));
        return;
    }
    // What the operator typed is not thrown away without asking.
    if (m_current) {
        const TemplateText now = m_current();
        if (!blank(now) && now.bodies != found->text.bodies
            && !MessageBoxes::ask(
                this, QStringLiteral("TEMPLATE"),
                QStringLiteral("Replace the message you wrote with the template \"%1\"?").arg(found->name)))
            return;
    }
    emit chosen(found->text);
}

void TemplateChooser::cmdSaveTemplate_Click()
{
    const TemplateText text = m_current ? m_current() : TemplateText{};
    if (blank(text)) {
        MessageBoxes::inform(this, QStringLiteral("TEMPLATE"),
                             QStringLiteral("Write the message first; a template of empty bodies is not saved."));
        return;
    }
    frmSaveTemplate window(text, this);
    window.exec();
}
