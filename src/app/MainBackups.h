#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

class MainLists;
class QLabel;
class QThread;
class QWidget;

// The main window's backups of the database: a copy where the operator
// chooses (pg_dump on a server), going back to a copy after checking it, and
// the day's backup beside the window, whose failure stays in the status bar.
class MainBackups : public QObject
{
    Q_OBJECT

public:
    // Boxes and dialogs open over `window`; a failure is shown in `panel`.
    MainBackups(QWidget *window, QLabel *panel, MainLists &lists);
    // The copy being written is finished, not cut off half way.
    ~MainBackups() override;

    // File > Back Up Now...
    void backUp();
    // File > Restore from Backup...
    void restore();

    // The day's backup into Backups::folder(), taken on a thread of its own
    // when none was taken today; again after each midnight while the program
    // runs. A failure is shown in the status bar.
    void startDaily();
    bool dailyRunning() const { return m_thread != nullptr; }

signals:
    void dailyDone();
    // The database was replaced by a backup; the lists show it.
    void restored();

private:
    // The last backup's failure in the status bar; an empty text clears it.
    void showProblem(const QString &problem);
    // Asks where to write a backup (a dated name suggested), writes it with
    // `write`, which gives what to tell the operator, and shows the outcome.
    void backUpTo(const QString &filter, const QString &stem, const QString &suffix,
                  const std::function<QString(const QString &target)> &write);
    // Whether the operator goes back to the backup `chosen`, after being told
    // what it holds; its faults are shown.
    bool restoreConfirmed(const QString &chosen);

    QWidget *m_window;
    MainLists &m_lists;
    QLabel *m_panel;
    QThread *m_thread = nullptr;
    QTimer m_next; // the next midnight's daily backup
};
