#pragma once

#include <QObject>

class CycleHost;
class MainLists;
class QPoint;
class QWidget;
class ScheduledSending;

// What the main window's outbox offers on its selected rows: Delete (also the
// Delete key), Queue Again, Release Scheduled Batch and the conversation.
class OutboxActions : public QObject
{
    Q_OBJECT

public:
    // Boxes open over `window`; questions and errors go through its host.
    OutboxActions(MainLists &lists, ScheduledSending &schedule, CycleHost &host, QWidget *window);

    // Refused when any selected row was sent.
    void remove();
    // Queues the selected rows in doubt again, after a question; the other
    // selected rows (being sent by a live run, or settled) are left as they are.
    void requeue();
    // Lets the held batches of the selected rows go.
    void releaseBatch();
    // The thread with the current row's number.
    void conversation();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showMenu(const QPoint &at);

    MainLists &m_lists;
    ScheduledSending &m_schedule;
    CycleHost &m_host;
    QWidget *m_window;
};
