#pragma once

#include <QDateTime>
#include <QList>

#include <memory>

class CycleHost;
class QDialog;
class QObject;
class QTableView;
class QueryListModel;
struct OutboxLooks;

// The main window's two lists (dtaSMS: inbox, dtaSendSMS: outbox) in their
// grids: their columns, the looks of their rows, and reading them again.
// Errors reading them are shown through the window's host.
class MainLists
{
public:
    enum class Refresh { None, OutboxThenInbox, InboxThenOutbox };

    // The models belong to `owner`.
    MainLists(QTableView *inboxGrid, QTableView *outboxGrid, CycleHost &host, QObject *owner);
    ~MainLists();
    MainLists(const MainLists &) = delete;
    MainLists &operator=(const MainLists &) = delete;

    QueryListModel *inbox() const { return m_inbox; }
    QueryListModel *outbox() const { return m_outbox; }
    QTableView *inboxGrid() const { return m_inboxGrid; }
    QTableView *outboxGrid() const { return m_outboxGrid; }

    void refreshInbox();
    void refreshOutbox();
    // Opens a window modally, then reads the lists again in the given order.
    void openModal(QDialog &window, Refresh refresh);

    // The keys of the selected outbox rows (the current row when none is selected).
    QList<qint64> selectedOutboxIds() const;
    // The time the outbox's looks were last judged at.
    QDateTime looksJudgedAt() const;

    // True (and said in the status line) while a run holds the program's
    // lock: nothing may write the outbox then.
    bool refusedWhileRunning();

    // Whether marketing messages may go now; true when the sending window
    // cannot be read (the rows are then shown as plainly queued).
    static bool marketingOpenNow();

private:
    // What the outbox's looks depend on besides its rows: the time, the
    // sending window, the scheduled batches.
    void readOutboxLooks();

    QTableView *m_inboxGrid;
    QTableView *m_outboxGrid;
    CycleHost &m_host;
    QueryListModel *m_inbox = nullptr;
    QueryListModel *m_outbox = nullptr;
    std::unique_ptr<OutboxLooks> m_looks;
};
