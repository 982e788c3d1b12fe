#pragma once

#include <QPlainTextEdit>

// One message body: a multi-line box that never holds more than
// MessageText::BodyLimit characters (a line break counting two), whatever the
// way of input. What is typed at the end of a full body, or pasted or dropped
// beyond its room, is handed on (overflowed) for the body after it; typing
// elsewhere in a full body is refused (refusedWhenFull).
// The body also applies the keystroke veto of its composer: Shift with the
// "=/+" key or the "7/&" key of the main keyboard refuses the next character
// typed into any body that shares the flag.
class BodyEdit : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit BodyEdit(QWidget *parent = nullptr);

    // The flag shared by the bodies of one composer (the body's own flag
    // until one is given).
    void setVetoFlag(bool *flag);

    // The text as stored: line breaks as CR LF.
    QString storedText() const;
    int storedLength() const;
    // Sets the text (line breaks in any form); cut to fit.
    void setStoredText(const QString &text);

    // Room for a full body (about four lines) without claiming more.
    QSize sizeHint() const override;

signals:
    // Text that did not fit (line breaks as LF): typed at the end, or pasted.
    void overflowed(const QString &text, bool pasted);
    void refusedWhenFull();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void insertFromMimeData(const QMimeData *source) override;

private:
    int room() const;
    void rememberChange(int position, int removed, int added);
    void enforceLimit();

    bool m_ownVeto = false;
    bool *m_veto = &m_ownVeto;
    int m_changeFrom = 0;
    int m_changeTo = 0;
    bool m_enforcing = false;
};
