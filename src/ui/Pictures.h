#pragma once

#include <QPalette>
#include <QPixmap>
#include <QString>

class QWidget;

// The program's pictures, drawn for light and dark themes and for
// high-density screens (every picture has an @2x copy).
namespace Pictures {

// True when the palette's window colour is dark (a dark desktop theme).
bool isDark(const QPalette &palette);

// The command bar's background: a light or a dark gradient, matching the
// palette so that the button captions stay readable.
QString toolbarBackground(const QPalette &palette);

// The program's picture (side panel, About window) for the widget's screen.
QPixmap logo(const QWidget *on);

} // namespace Pictures
