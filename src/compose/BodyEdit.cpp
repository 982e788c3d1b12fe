#include "compose/BodyEdit.h"

#include "compose/MessageText.h"

#include <QKeyEvent>
#include <QMimeData>
#include <QScopedValueRollback>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>

namespace {

constexpr Qt::KeyboardModifiers HeldKeys =
    Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier | Qt::GroupSwitchModifier;

// Shift alone with the "=/+" or "7/&" key of the main keyboard. With Shift
// held the key code is the shifted symbol on most layouts; the plain key is
// accepted as well.
bool isVetoCombination(const QKeyEvent *event)
{
    if (event->modifiers().testFlag(Qt::KeypadModifier))
        return false;
    if ((event->modifiers() & HeldKeys) != Qt::ShiftModifier)
        return false;
    switch (event->key()) {
    case Qt::Key_Equal:
    case Qt::Key_Plus:
    case Qt::Key_7:
    case Qt::Key_Ampersand:
        return true;
    default:
        return false;
    }
}

bool isLineBreakKey(const QKeyEvent *event)
{
    return (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
           && !event->modifiers().testFlag(Qt::ControlModifier);
}

// A key press that types a character into the body (text or a line break),
// as opposed to movement, deletion and shortcuts.
bool isTypedCharacter(const QKeyEvent *event)
{
    if (isLineBreakKey(event))
        return true;
    const QString text = event->text();
    if (text.isEmpty())
        return false;
    const Qt::KeyboardModifiers held = event->modifiers();
    if (held.testFlag(Qt::ControlModifier) && !held.testFlag(Qt::AltModifier))
        return false;
    for (QChar c : text)
        if (!c.isPrint())
            return false;
    return true;
}

} // namespace

BodyEdit::BodyEdit(QWidget *parent) : QPlainTextEdit(parent)
{
    setTabChangesFocus(true);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    connect(document(), &QTextDocument::contentsChange, this, &BodyEdit::rememberChange);
    connect(this, &QPlainTextEdit::textChanged, this, &BodyEdit::enforceLimit);
}

void BodyEdit::setVetoFlag(bool *flag)
{
    m_veto = flag ? flag : &m_ownVeto;
}

QString BodyEdit::storedText() const
{
    return MessageText::toStored(toPlainText());
}

int BodyEdit::storedLength() const
{
    return MessageText::storedLength(toPlainText());
}

void BodyEdit::setStoredText(const QString &text)
{
    setPlainText(MessageText::fitToRoom(text, MessageText::BodyLimit));
}

QSize BodyEdit::sizeHint() const
{
    const int margins = 2 * (frameWidth() + int(document()->documentMargin()));
    return {fontMetrics().averageCharWidth() * 42 + margins, fontMetrics().lineSpacing() * 5 + margins};
}

int BodyEdit::room() const
{
    return MessageText::BodyLimit - storedLength() + MessageText::storedLength(textCursor().selectedText());
}

void BodyEdit::keyPressEvent(QKeyEvent *event)
{
    if (isVetoCombination(event))
        *m_veto = true;

    if (isTypedCharacter(event)) {
        const bool vetoed = *m_veto;
        *m_veto = false;
        const int needed = isLineBreakKey(event) ? 2 : MessageText::storedLength(event->text());
        if (vetoed || isReadOnly()) {
            event->accept();
            return;
        }
        if (needed > room()) {
            const QTextCursor cursor = textCursor();
            if (!cursor.hasSelection() && cursor.atEnd())
                emit overflowed(isLineBreakKey(event) ? QStringLiteral("\n") : event->text(), false);
            else
                emit refusedWhenFull();
            event->accept();
            return;
        }
    }
    QPlainTextEdit::keyPressEvent(event);
}

void BodyEdit::insertFromMimeData(const QMimeData *source)
{
    if (!source || !source->hasText() || isReadOnly())
        return;
    const QString text = MessageText::toEditor(source->text());
    const QString fitted = MessageText::fitToRoom(text, room());
    if (!fitted.isEmpty()) {
        insertPlainText(fitted);
        ensureCursorVisible();
    }
    if (fitted.size() < text.size())
        emit overflowed(text.mid(fitted.size()), true);
}

void BodyEdit::rememberChange(int position, int, int added)
{
    m_changeFrom = position;
    m_changeTo = position + added;
}

// Whatever way text got in (input methods, undo, the program), the body never
// keeps more than the limit: the overflow is cut from the end of what was
// just inserted.
void BodyEdit::enforceLimit()
{
    if (m_enforcing)
        return;
    const QString text = toPlainText();
    int over = MessageText::storedLength(text) - MessageText::BodyLimit;
    if (over <= 0)
        return;
    QScopedValueRollback<bool> guard(m_enforcing, true);

    const int size = int(text.size());
    int end = std::clamp(m_changeTo, 0, size);
    int from = std::clamp(m_changeFrom, 0, end);
    if (end == from) {
        from = 0;
        end = size;
    }
    int cut = end;
    while (cut > from && over > 0) {
        const QChar c = text.at(--cut);
        over -= c == QLatin1Char('\n') ? 2 : 1;
        if (c.isLowSurrogate() && cut > from && text.at(cut - 1).isHighSurrogate()) {
            --cut;
            --over;
        }
    }
    QTextCursor cursor(document());
    cursor.setPosition(cut);
    cursor.setPosition(end, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    if (over > 0) {
        // The insertion alone was not the cause (should not happen): cut the end.
        const QString rest = toPlainText();
        setPlainText(MessageText::fitToRoom(rest, MessageText::BodyLimit));
    }
}
