#pragma once

#include <QString>

#include <optional>

// The destination number as the gateway takes it: blanks trimmed, a leading
// "+" dropped, every blank removed; a number that does not start with "0"
// starts with a two-digit country code, which is replaced by "0"
// (+27 82 123 4567 -> 0821234567). Nothing when that cannot be done: an
// empty number, or one shorter than two characters that does not start with "0".
std::optional<QString> NormaliseNumber(const QString &number);
