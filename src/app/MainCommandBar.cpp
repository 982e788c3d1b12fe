#include "app/MainCommandBar.h"

#include <QAction>
#include <QMenu>
#include <QToolBar>
#include <QToolButton>

namespace {

struct Button
{
    const char *key;
    const char *icon; // none for drop-down items and separators
    const char *caption;
    const char *toolTip;
    bool separator;
};
const Button buttons[] = {
    {"NEW", "new", "New", "New", false},
    {"SEP1", nullptr, "", "", true},
    {"CONTACTS", "contacts", "Contacts", "Contacts", false},
    {"SEP2", nullptr, "", "", true},
    {"SENDNOW", "sendreceive", "Send/Receive", "Send/Receive", false},
    {"NEW:SINGLE", nullptr, "&Send to Contact", "", false},
    {"NEW:BULK", nullptr, "&Send to Group", "", false},
    {"NEW:SEP1", nullptr, "", "", true},
    {"NEW:NONUMBER", nullptr, "Send to Number List", "", false},
    {"SENDNOW:SENDRECEIVE", nullptr, "Send/Receive", "", false},
    {"SENDNOW:SEP1", nullptr, "", "", true},
    {"SENDNOW:SENDNOW", nullptr, "Send Now", "", false},
    {"SENDNOW:RECEIVENOW", nullptr, "Receive Now", "", false},
};

QAction *buttonAction(const Button &button, QToolBar *toolBar)
{
    auto *action = new QAction(QString::fromUtf8(button.caption), toolBar);
    action->setObjectName(QString::fromLatin1(button.key));
    action->setSeparator(button.separator);
    action->setToolTip(QString::fromUtf8(button.toolTip));
    if (button.icon) {
        QIcon icon;
        icon.addFile(QStringLiteral(":/images/%1.png").arg(QLatin1String(button.icon)), QSize(32, 32));
        icon.addFile(QStringLiteral(":/images/%116.png").arg(QLatin1String(button.icon)), QSize(16, 16));
        action->setIcon(icon);
    }
    return action;
}

} // namespace

MainCommandBar::MainCommandBar(QWidget *window, const Click &click)
    : m_toolBar(new QToolBar(QStringLiteral("Standard Buttons"), window))
{
    m_toolBar->setObjectName(QStringLiteral("vbalCommandBar1"));
    m_toolBar->setProperty("key", QStringLiteral("STANDARD"));
    m_toolBar->setMovable(false);
    m_toolBar->setFloatable(false);
    m_toolBar->setIconSize(QSize(32, 32));
    m_toolBar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    m_toolBar->toggleViewAction()->setEnabled(false);
    for (const Button &button : buttons) {
        QAction *action = buttonAction(button, m_toolBar);
        const QString key = action->objectName();
        if (!button.separator)
            QObject::connect(action, &QAction::triggered, window, [click, key] { click(key); });
        m_buttons.insert(key, action);
    }
}

void MainCommandBar::buildBars(QWidget *window)
{
    struct Bar
    {
        const char *key;
        const char *title;
        QStringList items;
    };
    const Bar bars[] = {
        {"SENDNOW",
         "New",
         {QStringLiteral("NEW:SINGLE"), QStringLiteral("NEW:BULK"), QStringLiteral("NEW:SEP1"),
          QStringLiteral("NEW:NONUMBER")}},
        {"EDIT",
         "",
         {QStringLiteral("SENDNOW:SENDRECEIVE"), QStringLiteral("SENDNOW:SEP1"), QStringLiteral("SENDNOW:SENDNOW"),
          QStringLiteral("SENDNOW:RECEIVENOW")}},
    };
    for (const Bar &bar : bars) {
        auto *menu = new QMenu(QString::fromUtf8(bar.title), window);
        menu->setObjectName(QString::fromLatin1(bar.key));
        for (const QString &item : bar.items)
            menu->addAction(m_buttons.value(item));
        m_bars.insert(menu->objectName(), menu);
    }

    for (const char *key : {"NEW", "CONTACTS", "SENDNOW"})
        m_toolBar->addAction(m_buttons.value(QString::fromLatin1(key)));
    m_buttons.value(QStringLiteral("NEW"))->setMenu(m_bars.value(QStringLiteral("SENDNOW")));
    m_buttons.value(QStringLiteral("SENDNOW"))->setMenu(m_bars.value(QStringLiteral("EDIT")));
    for (const char *key : {"NEW", "SENDNOW"}) {
        if (auto *dropDown = qobject_cast<QToolButton *>(face(key)))
            dropDown->setPopupMode(QToolButton::InstantPopup);
    }
    // Without a mouse: Tab reaches the buttons (Space opens a drop-down), and
    // F9 runs Send/Receive from anywhere in the window.
    for (const char *key : {"NEW", "CONTACTS", "SENDNOW"})
        if (QWidget *shown = face(key))
            shown->setFocusPolicy(Qt::TabFocus);
    QAction *sendReceive = m_buttons.value(QStringLiteral("SENDNOW:SENDRECEIVE"));
    sendReceive->setShortcut(QKeySequence(Qt::Key_F9));
    window->addAction(sendReceive);
}

QWidget *MainCommandBar::face(const char *key) const
{
    return m_toolBar->widgetForAction(m_buttons.value(QString::fromLatin1(key)));
}

void MainCommandBar::setRunning(bool running)
{
    for (const char *key : {"NEW", "CONTACTS", "SENDNOW:SENDRECEIVE", "SENDNOW:SENDNOW", "SENDNOW:RECEIVENOW"})
        m_buttons.value(QString::fromLatin1(key))->setEnabled(!running);
}
