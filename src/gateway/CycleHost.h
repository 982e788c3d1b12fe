#pragma once

#include <QString>

class AppError;

// What a gateway cycle needs from the window it runs in: the status line, the
// credit balance display, the busy pointer, questions and messages, progress,
// a chance for the window to process pending events, and list refreshes. The
// main window implements it; tests script it.
class CycleHost
{
public:
    virtual ~CycleHost() = default;

    // Status panel 1; shown at once.
    virtual void setStatus(const QString &text) = 0;

    // The credit balance as shown ("0" until a balance was read).
    virtual QString creditsText() const = 0;
    virtual void setCreditsText(const QString &text) = 0;

    virtual void setBusy(bool busy) = 0;

    // A notice with the information icon and OK.
    virtual void inform(const QString &title, const QString &text) = 0;
    // A question with the question icon, Yes and No; true on Yes.
    virtual bool ask(const QString &title, const QString &text) = 0;
    // "number - description", title "ERROR", critical icon.
    virtual void showError(const AppError &error) = 0;

    // Messages done of the total during a send run; total 0 ends the display.
    virtual void setProgress(int done, int total) = 0;

    // One event of a send run for a window that keeps a log of them: "Sending
    // SMS to <number>" before a message is posted, then "SMS sent - BatchID:
    // <answer>" or "SMS NOT sent : <answer>". A message without number or
    // text is not posted and gets none.
    virtual void logSend(const QString &event) { Q_UNUSED(event) }

    // Lets the window repaint and answer the operator between two items.
    virtual void yieldToEvents() = 0;

    // The outbox or inbox changed and its list should show the database as it is.
    virtual void outboxChanged() = 0;
    virtual void inboxChanged() = 0;
};
