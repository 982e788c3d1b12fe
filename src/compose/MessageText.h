#pragma once

#include <QString>

// The length rules of a message body. A body holds at most BodyLimit
// characters; a line break is stored as CR LF and so counts as two.
namespace MessageText {

inline constexpr int BodyLimit = 160;

// The text as stored in a row: every line break (LF, CR LF, lone CR, or an
// editor's paragraph/line separator) becomes CR LF.
QString toStored(const QString &text);

// The text as an editor holds it: every line break becomes LF.
QString toEditor(const QString &text);

// Length of a text once stored: a line break counts two.
int storedLength(const QString &text);

// The longest beginning of text that fits into room stored characters,
// line breaks in editor form (LF). Never splits a line break or a surrogate
// pair.
QString fitToRoom(const QString &text, int room);

} // namespace MessageText
