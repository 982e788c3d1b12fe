#pragma once

#include <QHash>
#include <QString>

#include <functional>

class QAction;
class QMenu;
class QToolBar;
class QWidget;

// The main window's command bar (vbalCommandBar1): its buttons, each known by
// its key ("NEW:SINGLE"), and the drop-down bars of New and Send/Receive.
class MainCommandBar
{
public:
    using Click = std::function<void(const QString &key)>;

    // The toolbar and every button (drop-down items included) in `window`;
    // a click on a button calls `click` with its key.
    MainCommandBar(QWidget *window, const Click &click);
    MainCommandBar(const MainCommandBar &) = delete;
    MainCommandBar &operator=(const MainCommandBar &) = delete;

    // The drop-down bars and the buttons on the toolbar; F9 runs
    // Send/Receive from anywhere in `window`.
    void buildBars(QWidget *window);

    QToolBar *toolBar() const { return m_toolBar; }
    QAction *button(const QString &key) const { return m_buttons.value(key); }
    QMenu *bar(const QString &key) const { return m_bars.value(key); }
    // The widget that shows a button on the toolbar.
    QWidget *face(const char *key) const;

    // While a run goes, the buttons that start work are disabled.
    void setRunning(bool running);

private:
    QToolBar *m_toolBar;
    QHash<QString, QAction *> m_buttons;
    QHash<QString, QMenu *> m_bars;
};
