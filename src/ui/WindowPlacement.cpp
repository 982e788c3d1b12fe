#include "ui/WindowPlacement.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QMainWindow>
#include <QMessageBox>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QWidget>

namespace {

const char PlacedProperty[] = "tellwavePlaced";

bool isProgramWindow(const QWidget *widget)
{
    return widget->isWindow() && (qobject_cast<const QMainWindow *>(widget) || qobject_cast<const QDialog *>(widget))
           && !widget->objectName().isEmpty();
}

} // namespace

WindowPlacement::WindowPlacement(QObject *parent) : QObject(parent) {}

void WindowPlacement::install()
{
    if (qApp->findChild<WindowPlacement *>(QString(), Qt::FindDirectChildrenOnly))
        return;
    qApp->installEventFilter(new WindowPlacement(qApp));
}

QString WindowPlacement::placesPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
           + QStringLiteral("/Tellwave/windows.ini");
}

QRect WindowPlacement::fitted(QRect window, const QRect &available)
{
    window.setWidth(std::min(window.width(), available.width()));
    window.setHeight(std::min(window.height(), available.height()));
    window.moveLeft(std::clamp(window.left(), available.left(), available.right() - window.width() + 1));
    window.moveTop(std::clamp(window.top(), available.top(), available.bottom() - window.height() + 1));
    return window;
}

bool WindowPlacement::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::Show && event->type() != QEvent::Hide)
        return false;
    auto *widget = qobject_cast<QWidget *>(watched);
    if (!widget || !isProgramWindow(widget))
        return false;
    if (event->type() == QEvent::Show)
        place(widget);
    else
        remember(widget);
    return false;
}

void WindowPlacement::place(QWidget *window)
{
    if (window->property(PlacedProperty).toBool())
        return;
    window->setProperty(PlacedProperty, true);
    // Message boxes size themselves to their text; only the program's own
    // windows go back where they were.
    if (!qobject_cast<QMessageBox *>(window)) {
        QSettings places(placesPath(), QSettings::IniFormat);
        const QByteArray saved = places.value(window->objectName()).toByteArray();
        if (!saved.isEmpty())
            window->restoreGeometry(saved);
    }
    const QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect available = screen->availableGeometry();
    // The frame is not known before the window is first shown: the title bar
    // and borders are allowed for as a window manager commonly draws them.
    const QMargins frame = window->frameGeometry() != window->geometry()
                               ? QMargins(window->geometry().left() - window->frameGeometry().left(),
                                          window->geometry().top() - window->frameGeometry().top(),
                                          window->frameGeometry().right() - window->geometry().right(),
                                          window->frameGeometry().bottom() - window->geometry().bottom())
                               : QMargins(4, 30, 4, 4);
    const QRect inside = fitted(window->geometry(), available - frame);
    if (inside != window->geometry())
        window->setGeometry(inside);
}

void WindowPlacement::remember(QWidget *window)
{
    if (qobject_cast<QMessageBox *>(window) || !window->property(PlacedProperty).toBool())
        return;
    QSettings places(placesPath(), QSettings::IniFormat);
    places.setValue(window->objectName(), window->saveGeometry());
}
