#pragma once

#include "TestSupport.h"
#include "ui/FileDialogs.h"
#include "ui/MessageBoxes.h"

#include <QList>
#include <QPalette>
#include <QQueue>

#include <functional>

class HelpWindow;
class QueryListModel;

// Answers every message box while it lives and records what was shown. Boxes
// take the queued answers in order; with none queued, an OK box is answered OK
// and a question No (and the box is still recorded).
class ScriptedMessageBoxes
{
public:
    ScriptedMessageBoxes();
    ~ScriptedMessageBoxes();

    void answer(QMessageBox::StandardButton button) { m_answers.enqueue(button); }

    const QList<MessageBoxes::Shown> &shown() const { return m_shown; }
    qsizetype count() const { return m_shown.size(); }
    const MessageBoxes::Shown &last() const { return m_shown.last(); }
    QStringList titles() const;
    void clear() { m_shown.clear(); }

private:
    QList<MessageBoxes::Shown> m_shown;
    QQueue<QMessageBox::StandardButton> m_answers;
};

// Gives file and folder dialogs the paths a test chose, in order; an empty
// path (or none queued) is a cancel. Records what was asked.
class ScriptedFileDialogs
{
public:
    ScriptedFileDialogs();
    ~ScriptedFileDialogs();

    void choose(const QString &path) { m_paths.enqueue(path); }
    void cancel() { m_paths.enqueue(QString()); }
    const QList<FileDialogs::Asked> &asked() const { return m_asked; }

private:
    QList<FileDialogs::Asked> m_asked;
    QQueue<QString> m_paths;
};

// Runs an action and tells the class of the first modal window it opened (closed again at once, after
// whileOpen ran), or an empty text when none opened.
QString modalOpenedBy(const std::function<void()> &action, const std::function<void(QWidget *)> &whileOpen = {});

// Whether the help page stands at the anchor: its line at the top of the view, or, near the page's end, the view
// scrolled as far as it goes with the line in it. An empty name: the page at its top.
bool helpShows(const HelpWindow *help, const QString &anchor);

// The row of a list read from SMSSend (the main window's outbox, the report window's list) that shows the message
// with this key; -1 when none does.
int rowWithKey(const QueryListModel *list, qint64 key);

// A dark palette of the kind desktop themes (Breeze Dark and the like) give.
QPalette darkPalette();

// Saves a picture of a widget when TELLWAVE_SCREENSHOTS names a folder.
void saveScreenshot(QWidget *widget, const QString &name);
