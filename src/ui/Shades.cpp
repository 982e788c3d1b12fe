#include "ui/Shades.h"

#include <QApplication>

#include <cmath>

namespace Shades {

bool isDark(const QPalette &palette)
{
    return palette.color(QPalette::Base).lightnessF() < 0.5;
}

QColor forPalette(const QColor &lightTint, const QPalette &palette)
{
    if (!lightTint.isValid() || !isDark(palette))
        return lightTint;
    // Same hue, a little more saturated so a dark shade still tells the rows apart.
    const float saturation = std::min(1.0f, lightTint.hslSaturationF() * 0.6f + 0.15f);
    return QColor::fromHslF(lightTint.hslHueF(), saturation, 0.24f);
}

QColor forPalette(const QColor &lightTint)
{
    return forPalette(lightTint, QApplication::palette());
}

namespace {

double luminance(const QColor &colour)
{
    const auto channel = [](float value) {
        return value <= 0.03928f ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) + 0.0722 * channel(colour.blueF());
}

} // namespace

double contrast(const QColor &a, const QColor &b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor textOn(const QColor &background)
{
    const QColor black(Qt::black);
    const QColor white(Qt::white);
    return contrast(black, background) >= contrast(white, background) ? black : white;
}

QColor outboxTint(Outbox::Style style)
{
    switch (style) {
    case Outbox::Style::Delivered:
        return QColor(206, 251, 208);
    case Outbox::Style::Sent:
        return QColor(251, 253, 187);
    case Outbox::Style::Failed:
        return QColor(255, 205, 205);
    case Outbox::Style::InFlight:
        return QColor(255, 222, 173);
    case Outbox::Style::BeingSent:
        return QColor(255, 236, 200);
    case Outbox::Style::OptedOut:
        return QColor(215, 215, 215);
    case Outbox::Style::NotSend:
        break;
    }
    return {};
}

} // namespace Shades
