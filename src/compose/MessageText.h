#pragma once

#include <QList>
#include <QString>
#include <QStringList>

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

// Text that did not fit into a body, going on into the bodies after it: each
// in turn takes, at its start, the longest beginning of what is left that fits
// its room. `rooms` holds those bodies' rooms; `pieces` what each takes
// (empty: nothing), in editor form; `leftOver` what none of them took.
struct Spread
{
    QStringList pieces;
    QString leftOver;
};
Spread spread(const QString &text, const QList<int> &rooms);

} // namespace MessageText
