#pragma once

#include "outbox/Outbox.h"

#include <QColor>
#include <QPalette>

// The colours the program paints rows and labels with, readable in a light
// and in a dark palette. Each is given as its light tint (a pale green for
// delivered, and so on): on a light palette it is used as it is, with black
// text; on a dark palette the same hue is used dark, with white text, so the
// style's own check boxes and focus marks, drawn for the dark palette, stay
// visible on it.
namespace Shades {

bool isDark(const QPalette &palette);
// `lightTint` as the palette wants it; invalid stays invalid.
QColor forPalette(const QColor &lightTint, const QPalette &palette);
QColor forPalette(const QColor &lightTint);
// Black or white: whichever reads better on `background`.
QColor textOn(const QColor &background);
// The contrast ratio of two colours as WCAG 2 defines it: 1 to 21.
double contrast(const QColor &a, const QColor &b);

// The light tint of an outbox row in this style (pale green for DELIVERED,
// pale yellow for SENT, ...); invalid for a queued row, which keeps the
// list's own colours.
QColor outboxTint(Outbox::Style style);

} // namespace Shades
