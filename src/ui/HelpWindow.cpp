#include "ui/HelpWindow.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace {

const QString HelpWindowName = QStringLiteral("HelpWindow");

// F1 anywhere: the key reaches the focus widget first, so an application-wide
// filter sees it whatever window and control hold the focus.
class F1Filter : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
            return false;
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() != Qt::Key_F1 || key->modifiers() != Qt::NoModifier)
            return false;
        HelpWindow::showFor(static_cast<QWidget *>(watched));
        return true;
    }
};

} // namespace

HelpWindow::HelpWindow(const QString &page, QWidget *owner) : QDialog(owner), m_browser(new QTextBrowser(this))
{
    setObjectName(HelpWindowName);
    setWindowTitle(QStringLiteral("Tellwave Help"));
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    m_browser->setObjectName(QStringLiteral("txtHelp"));
    m_browser->setOpenExternalLinks(true);
    m_browser->setSource(QUrl::fromLocalFile(page));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setObjectName(QStringLiteral("cmdClose"));
    buttons->button(QDialogButtonBox::Close)->setText(QStringLiteral("&Close"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_browser);
    layout->addWidget(buttons);
    resize(780, 640);
}

bool HelpWindow::hasAnchor(const QString &name) const
{
    for (QTextBlock block = m_browser->document()->begin(); block.isValid(); block = block.next())
        for (auto piece = block.begin(); !piece.atEnd(); ++piece)
            if (piece.fragment().charFormat().anchorNames().contains(name))
                return true;
    return false;
}

void HelpWindow::showAnchor(const QString &name)
{
    if (name.isEmpty())
        m_browser->verticalScrollBar()->setValue(0);
    else
        m_browser->scrollToAnchor(name);
}

namespace {

QString &foundFile()
{
    static QString file;
    return file;
}

} // namespace

QString HelpWindow::helpFile()
{
    return foundFile();
}

void HelpWindow::useHelpFile(const QString &file)
{
    foundFile() = file;
}

HelpWindow *HelpWindow::beside(QWidget *from)
{
    if (helpFile().isEmpty())
        return nullptr;
    QWidget *owner = from ? from->window() : QApplication::activeWindow();
    // A menu's pop-up is gone in a moment; the help belongs to its window.
    while (owner && owner->windowType() == Qt::Popup && owner->parentWidget())
        owner = owner->parentWidget()->window();
    if (auto *open = qobject_cast<HelpWindow *>(owner))
        return open;
    // Owned by the window it was asked from: a modal window blocks every
    // window but its own, and the help must stay usable beside it.
    auto *help = owner ? owner->findChild<HelpWindow *>(HelpWindowName, Qt::FindDirectChildrenOnly) : nullptr;
    return help ? help : new HelpWindow(helpFile(), owner);
}

HelpWindow *HelpWindow::showFor(QWidget *from)
{
    HelpWindow *help = beside(from);
    if (!help)
        return nullptr;
    // F1 in the help window itself only brings it forward.
    if (!from || from->window() != help) {
        QString anchor;
        // A message box or a window without a section of its own: the section
        // about the window it belongs to.
        for (QWidget *window = help->parentWidget(); window && anchor.isEmpty();
             window = window->parentWidget() ? window->parentWidget()->window() : nullptr)
            if (!window->objectName().isEmpty() && help->hasAnchor(window->objectName()))
                anchor = window->objectName();
        help->showAnchor(anchor);
    }
    help->present();
    return help;
}

HelpWindow *HelpWindow::showContents(QWidget *from)
{
    HelpWindow *help = beside(from);
    if (!help)
        return nullptr;
    help->showAnchor({});
    help->present();
    return help;
}

void HelpWindow::present()
{
    show();
    raise();
    activateWindow();
}

void HelpWindow::installF1(QApplication &application)
{
    application.installEventFilter(new F1Filter(&application));
}
