#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QTimer>

#include <functional>

class AppError;
class QWidget;

// What a window shows of a gateway cycle it hosts: the busy pointer, the
// status text with the run's progress, and the boxes the cycle shows. The
// main window and the Send/Receive windows share it.
//
// A run sets its status text and progress for every item, far faster than
// anyone can read; painting each one would cost more than the run itself.
// With a hold-back interval, they are shown at once when nothing was shown for
// that long; otherwise the last one set is shown when the interval is over
// (also while a request hangs, since the wait for the gateway runs the event
// loop), or at once when the run ends or asks something. With no interval
// every one is shown as it is set.
class CycleDisplay
{
public:
    struct Shown
    {
        QString text;
        int done = 0;
        int total = 0; // 0: no progress to show
    };
    using Show = std::function<void(const Shown &)>;

    // Boxes are shown over `window`; `show` puts a status (and progress) on it.
    CycleDisplay(QWidget *window, int holdBackMs, Show show);
    // A busy pointer still set by a run is given back.
    ~CycleDisplay();
    CycleDisplay(const CycleDisplay &) = delete;
    CycleDisplay &operator=(const CycleDisplay &) = delete;

    void setStatus(const QString &text);
    // Messages done of the total; total 0 (or all done) is shown at once.
    void setProgress(int done, int total);
    // Shows what waits to be shown, if anything.
    void showNow();

    // Nested: each busy(true) is undone by one busy(false), which also shows
    // what waits; more busy(false) than busy(true) do nothing.
    void setBusy(bool busy);

    // The boxes, each after the status that waits.
    void inform(const QString &title, const QString &text);
    bool ask(const QString &title, const QString &text);
    void showError(const AppError &error);

private:
    void waits();

    QWidget *m_window;
    int m_holdBackMs;
    Show m_show;
    int m_busy = 0;
    Shown m_waiting;
    bool m_isWaiting = false;
    QElapsedTimer m_shown;
    QTimer m_due; // shows what waits when its moment is over
};
