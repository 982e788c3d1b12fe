#pragma once

#include "app/MainLists.h"
#include "gateway/CycleHost.h"
#include "sendreceive/CycleDisplay.h"

#include <QHash>
#include <QMainWindow>

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
class QueryListModel;
class FirstRunHint;
class GatewayCycles;
class InboxActions;
class MainBackups;
class MainCommandBar;
class OutboxActions;
class ScheduledSending;

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
    // Backups of the database (MainBackups).
    void mnuFileBackUp_Click();
    void mnuFileRestore_Click();
    // The day's backup, taken beside the window; called at start-up, and
    // again after each midnight while the program runs.
    void startDailyBackup();
    bool dailyBackupRunning() const;
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

    // Scheduled batches (ScheduledSending): those overdue at start-up, and
    // those that have become due since.
    void checkOverdueBatches();
    bool sendDueBatches();
    GatewayCycles &cycles() { return *m_cycles; }

    // The two lists (dtaSMS: inbox, dtaSendSMS: outbox), read again from the database.
    void refreshInbox();
    void refreshOutbox();
    QueryListModel *inboxList() const;
    QueryListModel *outboxList() const;

    // What the lists offer on their rows (InboxActions, OutboxActions).
    void grdOutbox_BeforeDelete();
    void grdOutbox_Requeue();
    void grdOutbox_ReleaseBatch();
    void grdOutbox_Conversation();
    void grdInbox_OptOut(int row);
    void grdInbox_Reply();
    void grdInbox_Conversation();

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
    void closeEvent(QCloseEvent *event) override;

private:
    void Form_Load();
    // The status bar's panels; gives the one a backup's failure shows in.
    QLabel *setUpStatusBar();
    void connectMenus();
    void addMenuItems();
    void setUpFirstRunHint();
    void nameSeparators();
    void openModal(QDialog &window, MainLists::Refresh refresh);
    void cyclesRunning(bool running);
    void showStatus(const CycleDisplay::Shown &shown);

    std::unique_ptr<Ui::frmMain> ui;
    CycleDisplay m_display;
    std::unique_ptr<MainCommandBar> m_commandBar;
    QHash<QString, std::function<void()>> m_dispatch;
    QLabel *m_panel1 = nullptr;
    QLabel *m_panel2 = nullptr;
    QProgressBar *m_progress = nullptr;
    GatewayCycles *m_cycles = nullptr;
    FirstRunHint *m_firstRun = nullptr;
    std::unique_ptr<MainLists> m_lists;
    std::unique_ptr<MainBackups> m_backups;
    std::unique_ptr<ScheduledSending> m_schedule;
    std::unique_ptr<InboxActions> m_inboxActions;
    std::unique_ptr<OutboxActions> m_outboxActions;
    bool m_closeWhenIdle = false;
};
