#pragma once

#include "campaigns/Schedule.h"
#include "gateway/CycleHost.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QMainWindow>
#include <QSet>
#include <QTimer>

#include <functional>
#include <memory>

namespace Ui {
class frmMain;
}
class QAction;
class QDialog;
class QLabel;
class QMenu;
class QProgressBar;
class QThread;
class QToolBar;
class QueryListModel;
class FirstRunHint;
class GatewayCycles;
struct OutboxLooks;

// The program's main window: inbox above outbox, the credit panel, the
// command bar, the menus and the status bar. It starts the gateway cycles
// and opens every other window modally, refreshing its lists afterwards.
class frmMain : public QMainWindow, public CycleHost
{
    Q_OBJECT

public:
    explicit frmMain(QWidget *parent = nullptr);
    ~frmMain() override;

    // Command bar: the buttons and bars, and the click dispatch by key.
    void BuildCommandButtons();
    void BuildCommandBars();
    void vbalCommandBar1_ButtonClick(const QString &key);
    QAction *commandButton(const QString &key) const;
    QMenu *commandBar(const QString &key) const;

    // Menu handlers.
    void mnuFileExit_Click();
    // Backups of the database: a copy where the operator chooses (pg_dump on
    // a server), and going back to a copy after checking it.
    void mnuFileBackUp_Click();
    void mnuFileRestore_Click();
    // The day's backup into Backups::folder(), taken on a thread of its own
    // when none was taken today; called at start-up, and again after each
    // midnight while the program runs. A failure is shown in the status bar.
    void startDailyBackup();
    bool dailyBackupRunning() const { return m_backupThread != nullptr; }
    void mnuAbout_Click();
    void mnuHelpContents_Click();
    void mnuSetupCustomers_Click();
    void mnuSetupGroups_Click();
    void mnuSetupOptOuts_Click();
    void mnuSetupTemplates_Click();
    void mnuSMSSingle_Click();
    void mnuSetupSetup_Click();
    void mnuSMSGroup_Click();
    void mnuSMSGroupNo_Click();
    void mnuSMSKestrelImport_Click();
    void mnuSMSSendReceiveSend_Click();
    void mnuSMSSendReceiveReport_Click();
    void mnuSMSSendReceiveReplies_Click();

    void cmdCheckCredits_Click();

    // Scheduled batches. At start-up, those that became due while the
    // program was not running are sent when all are within the grace period
    // (and no marketing message waits for the sending window); otherwise the
    // operator is asked: Yes sends them, No holds them.
    void checkOverdueBatches();
    // Starts a send run for the batches that have become due, unless a run is
    // going or a window is open (the next tick tries again). True when it did.
    bool sendDueBatches();
    // Lets the held batches of the selected outbox rows go.
    void grdOutbox_ReleaseBatch();
    // How often sendDueBatches() runs.
    static constexpr int ScheduleCheckMs = 30 * 1000;
    GatewayCycles &cycles() { return *m_cycles; }

    // The two lists (dtaSMS: inbox, dtaSendSMS: outbox), read again from the database.
    void refreshInbox();
    void refreshOutbox();
    QueryListModel *inboxList() const { return m_inbox; }
    QueryListModel *outboxList() const { return m_outbox; }

    // Deleting the selected outbox rows: refused when any of them was sent.
    void grdOutbox_BeforeDelete();
    // Queues the selected rows in doubt again, after a question; the other
    // selected rows (being sent by a live run, or settled) are left as they are.
    void grdOutbox_Requeue();
    // The inbox's one-click action: the reply's number goes on the opt-out list.
    void grdInbox_OptOut(int row);
    // Reply... (Ctrl+R): the send-to-contact window for the current reply's
    // number, with the conversation beside the composer.
    void grdInbox_Reply();
    // Conversation...: the thread with the current reply's or outbox row's number.
    void grdInbox_Conversation();
    void grdOutbox_Conversation();

    // CycleHost
    void setStatus(const QString &text) override;
    QString creditsText() const override;
    void setCreditsText(const QString &text) override;
    void setBusy(bool busy) override;
    void inform(const QString &title, const QString &text) override;
    bool ask(const QString &title, const QString &text) override;
    void showError(const AppError &error) override;
    void setProgress(int done, int total) override;
    void yieldToEvents() override;
    void outboxChanged() override;
    void inboxChanged() override;

signals:
    void dailyBackupDone();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    // What the outbox's looks depend on besides its rows: the time, the
    // sending window, the scheduled batches.
    void readOutboxLooks();
    enum class Refresh { None, OutboxThenInbox, InboxThenOutbox };

    void Form_Load();
    void setUpLists();
    void nameSeparators();
    // Opens a window modally, then refreshes the lists in the given order.
    void openModal(QDialog &window, Refresh refresh);
    void showOutboxMenu(const QPoint &at);
    void showInboxMenu(const QPoint &at);
    // The keys of the selected outbox rows (the current row when none is selected).
    QList<qint64> selectedOutboxIds() const;
    void cyclesRunning(bool running);
    // True (and said in the status line) while a run holds the program's
    // lock: nothing may write the outbox then.
    bool refusedWhileRunning();
    void showStatusNow();
    // The last backup's failure in the status bar; an empty text clears it.
    void showBackupProblem(const QString &problem);
    // Asks where to write a backup (a dated name suggested), writes it with
    // `write`, which gives what to tell the operator, and shows the outcome.
    void backUpTo(const QString &filter, const QString &stem, const QString &suffix,
                  const std::function<QString(const QString &target)> &write);
    // The status waits to be shown: now, or when its moment is over.
    void statusWaits();

    std::unique_ptr<Ui::frmMain> ui;
    QToolBar *m_commandBar = nullptr;
    QHash<QString, QAction *> m_buttons;
    QHash<QString, QMenu *> m_bars;
    QHash<QString, std::function<void()>> m_dispatch;
    QueryListModel *m_inbox = nullptr;
    QueryListModel *m_outbox = nullptr;
    QLabel *m_panel1 = nullptr;
    QLabel *m_panel2 = nullptr;
    QProgressBar *m_progress = nullptr;
    GatewayCycles *m_cycles = nullptr;
    FirstRunHint *m_firstRun = nullptr;
    int m_busy = 0;
    std::unique_ptr<OutboxLooks> m_looks;
    QTimer m_scheduleTimer;
    QSet<qint64> m_triedBatches; // started automatically in this session
    bool m_closeWhenIdle = false;
    // Status text and progress waiting to be shown, and when they last were.
    QString m_statusText;
    int m_progressDone = 0;
    int m_progressTotal = 0;
    bool m_statusWaiting = false;
    QElapsedTimer m_statusShown;
    QTimer m_statusDue; // shows what waits when its moment is over
    QLabel *m_backupPanel = nullptr;
    QThread *m_backupThread = nullptr;
    QTimer m_backupTimer; // the next midnight's daily backup
};
