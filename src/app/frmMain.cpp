#include "app/frmMain.h"
#include "ui_frmMain.h"

#include "app/FirstRunHint.h"
#include "app/InboxActions.h"
#include "app/MainBackups.h"
#include "app/MainCommandBar.h"
#include "app/OutboxActions.h"
#include "app/ScheduledSending.h"
#include "app/modMain.h"
#include "campaigns/frmOptOuts.h"
#include "campaigns/frmReports.h"
#include "compose/frmImport.h"
#include "compose/frmSendToGroup.h"
#include "compose/frmSendToGroupNo.h"
#include "compose/frmSendToSingle.h"
#include "compose/frmTemplates.h"
#include "contacts/frmListClients.h"
#include "data/Database.h"
#include "gateway/GatewayCycles.h"
#include "groups/frmListGroups.h"
#include "outbox/RunLock.h"
#include "sendreceive/frmGetReplies.h"
#include "sendreceive/frmGetSendReport.h"
#include "sendreceive/frmSendMessages.h"
#include "settings/frmAbout.h"
#include "settings/frmSetup.h"
#include "ui/HelpWindow.h"
#include "ui/Pictures.h"
#include "ui/QueryListModel.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDialog>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QStatusBar>
#include <QToolBar>

namespace {

// A run sets its status and progress for every item; the panel shows them at
// most this often (see CycleDisplay).
constexpr int StatusHoldBackMs = 100;

const char *const CaptionStyle = "QLabel { background: #3d6b99; color: white; font-weight: bold; padding: 3px 6px; }";

} // namespace

frmMain::frmMain(QWidget *parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::frmMain>()),
      m_display(this, StatusHoldBackMs, [this](const CycleDisplay::Shown &shown) { showStatus(shown); })
{
    Q_INIT_RESOURCE(resources);
    ui->setupUi(this);
    setMinimumSize(720, 480);
    nameSeparators();

    ui->grdInbox_Caption->setStyleSheet(QLatin1String(CaptionStyle));
    ui->grdOutbox_Caption->setStyleSheet(QLatin1String(CaptionStyle));
    QFont creditsFont = ui->lblCredits->font();
    creditsFont.setPointSizeF(creditsFont.pointSizeF() * 1.8);
    creditsFont.setBold(true);
    ui->lblCredits->setFont(creditsFont);
    ui->Image1->setPixmap(Pictures::logo(this));
    QLabel *backupPanel = setUpStatusBar();

    connectMenus();
    addMenuItems();
    m_cycles = new GatewayCycles(*this, this);
    connect(&RunLock::instance(), &RunLock::heldChanged, this, &frmMain::cyclesRunning);

    Form_Load();
    m_backups = std::make_unique<MainBackups>(this, backupPanel, *m_lists);
    connect(m_backups.get(), &MainBackups::dailyDone, this, &frmMain::dailyBackupDone);
    connect(m_backups.get(), &MainBackups::restored, this, [this] { m_firstRun->refresh(); });
    m_schedule = std::make_unique<ScheduledSending>(*m_cycles, *m_lists, *this);
    m_inboxActions = std::make_unique<InboxActions>(*m_lists, this);
    m_outboxActions = std::make_unique<OutboxActions>(*m_lists, *m_schedule, *this, this);
    setUpFirstRunHint();
}

frmMain::~frmMain() = default;

QLabel *frmMain::setUpStatusBar()
{
    m_panel1 = new QLabel(QStringLiteral("Ready ..."), this);
    m_panel1->setObjectName(QStringLiteral("Panels_1"));
    // A long status (a run's summary quoting the gateway) is cut at the
    // window's edge rather than widening it; its tooltip holds it whole.
    m_panel1->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_panel2 = new QLabel(this);
    m_panel2->setObjectName(QStringLiteral("Panels_2"));
    m_panel2->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // The status panels quote gateway answers: never read as markup.
    for (QLabel *panel : {m_panel1, m_panel2})
        panel->setTextFormat(Qt::PlainText);
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("ProgressBar1"));
    m_progress->setMaximumWidth(220);
    m_progress->setFormat(QStringLiteral("%v / %m"));
    m_progress->hide();
    ui->StatusBar1->addWidget(m_panel1, 1);
    ui->StatusBar1->addPermanentWidget(m_progress);
    ui->StatusBar1->addPermanentWidget(m_panel2);
    auto *backupPanel = new QLabel(this);
    backupPanel->setObjectName(QStringLiteral("Panels_Backup"));
    backupPanel->setTextFormat(Qt::PlainText);
    backupPanel->setStyleSheet(QStringLiteral("QLabel { color: #c0392b; font-weight: bold; }"));
    backupPanel->hide();
    ui->StatusBar1->addPermanentWidget(backupPanel);
    return backupPanel;
}

void frmMain::connectMenus()
{
    connect(ui->mnuFileExit, &QAction::triggered, this, &frmMain::mnuFileExit_Click);
    connect(ui->mnuAbout, &QAction::triggered, this, &frmMain::mnuAbout_Click);
    // The item shows F1 but the key is not its own (the action answers it only
    // from its menu): F1 anywhere opens the help at the window in use.
    connect(ui->mnuHelpContents, &QAction::triggered, this, &frmMain::mnuHelpContents_Click);
    connect(ui->mnuSetupCustomers, &QAction::triggered, this, &frmMain::mnuSetupCustomers_Click);
    connect(ui->mnuSetupGroups, &QAction::triggered, this, &frmMain::mnuSetupGroups_Click);
    connect(ui->mnuSMSSingle, &QAction::triggered, this, &frmMain::mnuSMSSingle_Click);
    connect(ui->mnuSetupSetup, &QAction::triggered, this, &frmMain::mnuSetupSetup_Click);
    connect(ui->mnuSMSGroup, &QAction::triggered, this, &frmMain::mnuSMSGroup_Click);
    connect(ui->mnuSMSGroupNo, &QAction::triggered, this, &frmMain::mnuSMSGroupNo_Click);
    connect(ui->mnuSMSKestrelImport, &QAction::triggered, this, &frmMain::mnuSMSKestrelImport_Click);
    connect(ui->mnuSMSSendReceiveSend, &QAction::triggered, this, &frmMain::mnuSMSSendReceiveSend_Click);
    connect(ui->mnuSMSSendReceiveReport, &QAction::triggered, this, &frmMain::mnuSMSSendReceiveReport_Click);
    connect(ui->mnuSMSSendReceiveReplies, &QAction::triggered, this, &frmMain::mnuSMSSendReceiveReplies_Click);
    connect(ui->cmdCheckCredits, &QPushButton::clicked, this, &frmMain::cmdCheckCredits_Click);
}

void frmMain::addMenuItems()
{
    QAction *backUp = new QAction(QStringLiteral("&Back Up Now..."), this);
    backUp->setObjectName(QStringLiteral("mnuFileBackUp"));
    connect(backUp, &QAction::triggered, this, &frmMain::mnuFileBackUp_Click);
    QAction *restore = new QAction(QStringLiteral("&Restore from Backup..."), this);
    restore->setObjectName(QStringLiteral("mnuFileRestore"));
    connect(restore, &QAction::triggered, this, &frmMain::mnuFileRestore_Click);
    ui->mnuFile->insertActions(ui->mnuFileExit, {backUp, restore});
    ui->mnuFile->insertSeparator(ui->mnuFileExit)->setObjectName(QStringLiteral("mnuFileSep1"));
    QAction *optOuts = ui->mnuSetup->addAction(QStringLiteral("&Opt-out List..."));
    optOuts->setObjectName(QStringLiteral("mnuSetupOptOuts"));
    connect(optOuts, &QAction::triggered, this, &frmMain::mnuSetupOptOuts_Click);
    // Beside the groups: both are kept for the composers to use.
    auto *templates = new QAction(QStringLiteral("&Message Templates..."), this);
    templates->setObjectName(QStringLiteral("mnuSetupTemplates"));
    const QList<QAction *> setupItems = ui->mnuSetup->actions();
    ui->mnuSetup->insertAction(setupItems.value(setupItems.indexOf(ui->mnuSetupGroups) + 1), templates);
    connect(templates, &QAction::triggered, this, &frmMain::mnuSetupTemplates_Click);
    QAction *reports = ui->mnuSetup->addAction(QStringLiteral("&Reports..."));
    reports->setObjectName(QStringLiteral("mnuSetupReports"));
    connect(reports, &QAction::triggered, this, [this] {
        frmReports window(this);
        openModal(window, MainLists::Refresh::None);
    });
}

void frmMain::setUpFirstRunHint()
{
    // What to do next on a first run, above the outbox until there is an
    // account and a message.
    m_firstRun = new FirstRunHint(m_lists->outbox(), this);
    ui->layoutLists->insertWidget(ui->layoutLists->indexOf(ui->grdOutbox), m_firstRun);
    connect(m_firstRun, &FirstRunHint::setupWanted, this, &frmMain::mnuSetupSetup_Click);
    connect(m_firstRun, &FirstRunHint::composeWanted, this, &frmMain::mnuSMSGroupNo_Click);
    QWidget *faces[] = {m_commandBar->face("NEW"), m_commandBar->face("CONTACTS"), m_commandBar->face("SENDNOW")};
    setTabOrder(faces[0], faces[1]);
    setTabOrder(faces[1], faces[2]);
    setTabOrder(faces[2], ui->grdInbox);
    setTabOrder(ui->grdInbox, m_firstRun->button());
    setTabOrder(m_firstRun->button(), ui->grdOutbox);
    setTabOrder(ui->grdOutbox, ui->cmdCheckCredits);
}

void frmMain::Form_Load()
{
    setWindowTitle(QStringLiteral("Tellwave - V %1.%2.%3")
                       .arg(TELLWAVE_VERSION_MAJOR)
                       .arg(TELLWAVE_VERSION_MINOR)
                       .arg(TELLWAVE_VERSION_PATCH));
    m_panel2->setText(Database::shownAs(Database::path()));
    ui->StatusBar1->repaint();

    BuildCommandButtons();
    BuildCommandBars();

    ui->Image2->setPixmap(QPixmap(Pictures::toolbarBackground(palette())));
    m_commandBar->toolBar()->setStyleSheet(
        QStringLiteral("QToolBar#vbalCommandBar1 { border-image: url(%1) 0 0 0 0 stretch stretch;"
                       " border-bottom: 1px solid palette(mid); padding: 2px; spacing: 4px; }")
            .arg(Pictures::toolbarBackground(palette())));
    addToolBar(Qt::TopToolBarArea, m_commandBar->toolBar());

    m_lists = std::make_unique<MainLists>(ui->grdInbox, ui->grdOutbox, *this, this);
}

void frmMain::BuildCommandButtons()
{
    m_commandBar =
        std::make_unique<MainCommandBar>(this, [this](const QString &key) { vbalCommandBar1_ButtonClick(key); });
    // What each key does; keys without an entry (the drop-down buttons
    // themselves) only open their drop-down.
    m_dispatch = {
        {QStringLiteral("CONTACTS"), [this] { mnuSetupCustomers_Click(); }},
        {QStringLiteral("NEW:SINGLE"), [this] { mnuSMSSingle_Click(); }},
        {QStringLiteral("NEW:BULK"), [this] { mnuSMSGroup_Click(); }},
        {QStringLiteral("NEW:NONUMBER"), [this] { mnuSMSGroupNo_Click(); }},
        {QStringLiteral("SENDNOW:SENDRECEIVE"), [this] { m_cycles->SendReceive(); }},
        {QStringLiteral("SENDNOW:RECEIVENOW"), [this] { m_cycles->ReceiveNow(); }},
        {QStringLiteral("SENDNOW:SENDNOW"), [this] { m_cycles->SendNow(); }},
    };
}

void frmMain::BuildCommandBars()
{
    m_commandBar->buildBars(this);
}

QAction *frmMain::commandButton(const QString &key) const
{
    return m_commandBar->button(key);
}

QMenu *frmMain::commandBar(const QString &key) const
{
    return m_commandBar->bar(key);
}

void frmMain::vbalCommandBar1_ButtonClick(const QString &key)
{
    const auto action = m_dispatch.constFind(key.toUpper());
    if (action != m_dispatch.constEnd())
        (*action)();
}

void frmMain::nameSeparators()
{
    const auto name = [](QMenu *menu, const QStringList &names) {
        int next = 0;
        for (QAction *action : menu->actions())
            if (action->isSeparator() && next < names.size())
                action->setObjectName(names.at(next++));
    };
    name(ui->mnuSetup, {QStringLiteral("mnuSetupsEP1")});
    name(ui->mnuSMS, {QStringLiteral("mnuSMSSep1"), QStringLiteral("mnuSMSSep2")});
    name(ui->mnuSMSSendReceive, {QStringLiteral("mnuSMSSendReceiveSep1")});
    name(ui->mnuHelp, {QStringLiteral("mnuHelpSep1")});
    ui->mnuSMSSendReceive->menuAction()->setObjectName(QStringLiteral("mnuSMSSendReceive"));
    // Only "Import Text File" of the bulk menu is offered.
    for (QAction *action : ui->mnuSMS->actions())
        if (action != ui->mnuSMSKestrelImport)
            action->setVisible(false);
}

void frmMain::openModal(QDialog &window, MainLists::Refresh refresh)
{
    m_lists->openModal(window, refresh);
}

void frmMain::refreshInbox()
{
    m_lists->refreshInbox();
}

void frmMain::refreshOutbox()
{
    m_lists->refreshOutbox();
}

QueryListModel *frmMain::inboxList() const
{
    return m_lists->inbox();
}

QueryListModel *frmMain::outboxList() const
{
    return m_lists->outbox();
}

void frmMain::grdInbox_Reply()
{
    m_inboxActions->reply();
}

void frmMain::grdInbox_Conversation()
{
    m_inboxActions->conversation();
}

void frmMain::grdInbox_OptOut(int row)
{
    m_inboxActions->optOut(row);
}

void frmMain::grdOutbox_Conversation()
{
    m_outboxActions->conversation();
}

void frmMain::grdOutbox_BeforeDelete()
{
    m_outboxActions->remove();
}

void frmMain::grdOutbox_Requeue()
{
    m_outboxActions->requeue();
}

void frmMain::grdOutbox_ReleaseBatch()
{
    m_outboxActions->releaseBatch();
}

void frmMain::mnuFileExit_Click()
{
    close();
}

void frmMain::mnuFileBackUp_Click()
{
    m_backups->backUp();
}

void frmMain::mnuFileRestore_Click()
{
    m_backups->restore();
}

void frmMain::startDailyBackup()
{
    m_backups->startDaily();
}

bool frmMain::dailyBackupRunning() const
{
    return m_backups->dailyRunning();
}

void frmMain::checkOverdueBatches()
{
    m_schedule->checkOverdueBatches();
}

bool frmMain::sendDueBatches()
{
    return m_schedule->sendDueBatches();
}

void frmMain::mnuAbout_Click()
{
    frmAbout about(this);
    openModal(about, MainLists::Refresh::None);
}

void frmMain::mnuHelpContents_Click()
{
    HelpWindow::showContents(this);
}

void frmMain::mnuSetupCustomers_Click()
{
    frmListClients window(this);
    openModal(window, MainLists::Refresh::None);
}

void frmMain::mnuSetupOptOuts_Click()
{
    frmOptOuts window(this);
    openModal(window, MainLists::Refresh::None);
    refreshOutbox();
}

void frmMain::mnuSetupTemplates_Click()
{
    frmTemplates window(this);
    openModal(window, MainLists::Refresh::None);
}

void frmMain::mnuSetupGroups_Click()
{
    frmListGroups window(this);
    openModal(window, MainLists::Refresh::None);
}

void frmMain::mnuSMSSingle_Click()
{
    frmSendToSingle window(this);
    openModal(window, MainLists::Refresh::OutboxThenInbox);
}

void frmMain::mnuSetupSetup_Click()
{
    frmSetup setup(this);
    openModal(setup, MainLists::Refresh::None);
    m_firstRun->refresh();
}

void frmMain::mnuSMSGroup_Click()
{
    frmSendToGroup window(this);
    openModal(window, MainLists::Refresh::OutboxThenInbox);
}

void frmMain::mnuSMSGroupNo_Click()
{
    frmSendToGroupNo window(this);
    openModal(window, MainLists::Refresh::InboxThenOutbox);
}

void frmMain::mnuSMSKestrelImport_Click()
{
    frmImport window(this);
    openModal(window, MainLists::Refresh::InboxThenOutbox);
}

void frmMain::mnuSMSSendReceiveSend_Click()
{
    frmSendMessages window(this);
    openModal(window, MainLists::Refresh::OutboxThenInbox);
}

void frmMain::mnuSMSSendReceiveReport_Click()
{
    frmGetSendReport window(this);
    openModal(window, MainLists::Refresh::OutboxThenInbox);
}

void frmMain::mnuSMSSendReceiveReplies_Click()
{
    frmGetReplies window(this);
    openModal(window, MainLists::Refresh::OutboxThenInbox);
}

void frmMain::cmdCheckCredits_Click()
{
    const RunLock::Hold hold;
    if (hold.taken())
        m_cycles->sender().CheckCredits();
}

void frmMain::cyclesRunning(bool running)
{
    // A run lets the window answer between items; nothing may start a
    // second one meanwhile, nor open a window that writes the outbox (its
    // writes would join the run's open transaction).
    m_commandBar->setRunning(running);
    for (QMenu *menu : {ui->mnuSetup, ui->mnuSMS})
        menu->menuAction()->setEnabled(!running);
    ui->cmdCheckCredits->setEnabled(!running);
    if (!running)
        m_display.showNow();
    if (!running && m_closeWhenIdle)
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void frmMain::closeEvent(QCloseEvent *event)
{
    // Closing ends the program; a running cycle finishes its item first.
    if (RunLock::instance().isHeld()) {
        m_closeWhenIdle = true;
        event->ignore();
        return;
    }
    m_closeWhenIdle = false;
    if (!m_schedule->quitConfirmed()) {
        event->ignore();
        return;
    }
    m_schedule->stop();
    QMainWindow::closeEvent(event);
}

void frmMain::setStatus(const QString &text)
{
    m_display.setStatus(text);
}

void frmMain::showStatus(const CycleDisplay::Shown &shown)
{
    m_panel1->setText(shown.text);
    m_panel1->setToolTip(shown.text);
    if (shown.total > 0) {
        m_progress->setRange(0, shown.total);
        m_progress->setValue(shown.done);
        m_progress->show();
    } else {
        m_progress->hide();
    }
}

QString frmMain::creditsText() const
{
    return ui->lblCredits->text();
}

void frmMain::setCreditsText(const QString &text)
{
    ui->lblCredits->setText(text);
    ui->lblCredits->repaint();
}

void frmMain::setBusy(bool busy)
{
    m_display.setBusy(busy);
}

void frmMain::inform(const QString &title, const QString &text)
{
    m_display.inform(title, text);
}

bool frmMain::ask(const QString &title, const QString &text)
{
    return m_display.ask(title, text);
}

void frmMain::showError(const AppError &error)
{
    m_display.showError(error);
}

void frmMain::setProgress(int done, int total)
{
    m_display.setProgress(done, total);
}

void frmMain::yieldToEvents()
{
    QCoreApplication::processEvents();
}

void frmMain::outboxChanged()
{
    refreshOutbox();
}

void frmMain::inboxChanged()
{
    refreshInbox();
}
