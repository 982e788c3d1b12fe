#include "ui/Pictures.h"

#include <QIcon>
#include <QWidget>

namespace Pictures {

bool isDark(const QPalette &palette)
{
    return palette.color(QPalette::Window).lightness() < 128;
}

QString toolbarBackground(const QPalette &palette)
{
    return isDark(palette) ? QStringLiteral(":/images/toolbarback-dark.png")
                           : QStringLiteral(":/images/toolbarback.png");
}

QPixmap logo(const QWidget *on)
{
    // QIcon picks logo@2x.png on a screen of device pixel ratio 2.
    const QIcon icon(QStringLiteral(":/images/logo.png"));
    return icon.pixmap(QSize(120, 120), on ? on->devicePixelRatioF() : 1.0);
}

} // namespace Pictures
