#include "app/frmMain.h"
#include "ui_frmMain.h"

#include "app/FirstRunHint.h"
#include "app/modMain.h"
#include "campaigns/OptOuts.h"
#include "campaigns/Schedule.h"
#include "campaigns/SendingWindow.h"
#include "campaigns/frmOptOuts.h"
#include "campaigns/frmReports.h"
#include "compose/frmImport.h"
#include "compose/frmSendToGroup.h"
#include "compose/frmSendToGroupNo.h"
#include "compose/frmSendToSingle.h"
#include "compose/frmTemplates.h"
#include "contacts/frmListClients.h"
#include "conversations/frmConversation.h"
#include "data/AppError.h"
#include "data/Backups.h"
#include "data/Clock.h"
#include "data/Database.h"
#include "data/KeysetList.h"
#include "data/OperatorTime.h"
#include "gateway/GatewayCycles.h"
#include "gateway/Replies.h"
#include "groups/frmListGroups.h"
#include "outbox/Batches.h"
#include "outbox/FailReasons.h"
#include "outbox/Outbox.h"
#include "outbox/RunLock.h"
#include "outbox/SendRuns.h"
#include "sendreceive/frmGetReplies.h"
#include "sendreceive/frmGetSendReport.h"
#include "sendreceive/frmSendMessages.h"
#include "settings/SetupStore.h"
#include "settings/frmAbout.h"
#include "settings/frmSetup.h"
#include "ui/BusyPointer.h"
#include "ui/FileDialogs.h"
#include "ui/HelpWindow.h"
#include "ui/MessageBoxes.h"
#include "ui/Pictures.h"
#include "ui/QueryListModel.h"
#include "ui/Shades.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QProgressBar>
#include <QStatusBar>
#include <QThread>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>
#include <memory>

// What the outbox's looks depend on besides its rows.
struct OutboxLooks
{
    bool marketingOpen = true;              // marketing messages may go now
    QDateTime now;                          // the time the looks are judged at
    QHash<qint64, Schedule::Batch> waiting; // scheduled batches with unsent rows
    QHash<qint64, QString> liveRuns;        // send runs going now: token -> machine
};

namespace {

using Kind = QueryListModel::Kind;

QList<QueryListModel::Column> inboxColumns()
{
    return {
        {QStringLiteral("SMSReplyID"), QStringLiteral("SMSReplyID"), false, Kind::Text},
        {QStringLiteral("IncomingID"), QStringLiteral("IncomingID"), false, Kind::Text},
        {QStringLiteral("PhoneNumber"), QStringLiteral("PhoneNumber"), false, Kind::Text},
        {QStringLiteral("ReceivedDateTime"), QStringLiteral("Received"), true, Kind::DateTime, 130},
        {QStringLiteral("FN"), QStringLiteral("From"), true, Kind::Text, 170},
        {QStringLiteral("Message"), QStringLiteral("Message"), true, Kind::Text},
        {QStringLiteral("SentMessage"), QStringLiteral("SentMessage"), false, Kind::Text},
        {QStringLiteral("SentDateTime"), QStringLiteral("SentDateTime"), false, Kind::DateTime},
        {QStringLiteral("SMSSendID"), QStringLiteral("SMSSendID"), false, Kind::Text},
        {QStringLiteral("FirstName"), QStringLiteral("FirstName"), false, Kind::Text},
        {QStringLiteral("LastName"), QStringLiteral("LastName"), false, Kind::Text},
        {QStringLiteral("OptOut"), QStringLiteral("OptOut"), false, Kind::Text},
    };
}

QList<QueryListModel::Column> outboxColumns()
{
    return {
        {QStringLiteral("SMSSendID"), QStringLiteral("SMSSendID"), false, Kind::Text},
        {QStringLiteral("ClientID"), QStringLiteral("ClientID"), false, Kind::Text},
        {QStringLiteral("Number"), QStringLiteral("To"), true, Kind::Text, 120},
        {QStringLiteral("Message"), QStringLiteral("Message"), true, Kind::Text},
        {QStringLiteral("SendDate"), QStringLiteral("Send Date"), true, Kind::Date, 90},
        {QStringLiteral("SendTime"), QStringLiteral("Send Time"), true, Kind::Text, 80},
        {QStringLiteral("EventID"), QStringLiteral("EventID"), false, Kind::Text},
        {QStringLiteral("Send"), QStringLiteral("Sent"), true, Kind::Check, 60},
        {QStringLiteral("Delivered"), QStringLiteral("Delivered"), true, Kind::Check, 70},
        {QStringLiteral("SentID"), QStringLiteral("To"), false, Kind::Text},
        {QStringLiteral("InFlight"), QStringLiteral("InFlight"), false, Kind::Text},
        {QStringLiteral("Marketing"), QStringLiteral("Marketing"), false, Kind::Check},
        {QStringLiteral("PostedAt"), QStringLiteral("Posted (UTC)"), false, Kind::Text},
        {QStringLiteral("BatchID"), QStringLiteral("BatchID"), false, Kind::Text},
        {QStringLiteral("FailReason"), QStringLiteral("FailReason"), false, Kind::Text},
    };
}

QStringList fieldsOf(const QList<QueryListModel::Column> &columns)
{
    QStringList fields;
    for (const QueryListModel::Column &column : columns)
        fields << column.field;
    return fields;
}

QueryListModel::Look look(QColor background, bool bold = false, bool italic = false, const QString &toolTip = {})
{
    QueryListModel::Look result;
    result.background = Shades::forPalette(background);
    result.bold = bold;
    result.italic = italic;
    result.toolTip = toolTip;
    return result;
}

// The scheduled batches come from a list read beside the outbox rather than
// a join: a join costs every row of a large outbox on a server, and only
// unsent rows of a few batches need it.

QueryListModel::Look outboxLook(const QueryListModel &list, int row, const OutboxLooks &looks)
{
    const qint64 run = list.value(row, QStringLiteral("InFlight")).toLongLong();
    const Outbox::Style style = Outbox::styleOf(
        list.value(row, QStringLiteral("Send")).toInt() != 0, list.value(row, QStringLiteral("Delivered")).toInt() != 0,
        list.value(row, QStringLiteral("EventID")).toString(), run != 0, looks.liveRuns.contains(run));
    switch (style) {
    case Outbox::Style::Delivered:
    case Outbox::Style::Sent:
        return look(Shades::outboxTint(style));
    case Outbox::Style::Failed:
        return look(Shades::outboxTint(style), false, false,
                    Outbox::failedToolTip(FailReasons::shown(list.value(row, QStringLiteral("FailReason")).toString(),
                                                             list.value(row, QStringLiteral("EventID")).toString())));
    case Outbox::Style::InFlight:
        return look(Shades::outboxTint(style), false, true, Outbox::InFlightToolTip);
    case Outbox::Style::BeingSent:
        return look(Shades::outboxTint(style), false, true, Outbox::beingSentToolTip(looks.liveRuns.value(run)));
    case Outbox::Style::OptedOut:
        return look(Shades::outboxTint(style), false, true, Outbox::OptedOutToolTip);
    case Outbox::Style::NotSend:
        break;
    }
    const QVariant batchId = list.value(row, QStringLiteral("BatchID"));
    if (const auto batch = looks.waiting.constFind(batchId.toLongLong());
        !batchId.isNull() && batch != looks.waiting.cend()) {
        if (batch->held)
            return look(QColor(226, 226, 236), true, true, Schedule::heldToolTip(batch->sendAt));
        if (batch->sendAt > looks.now)
            return look(QColor(232, 222, 255), true, true, Schedule::scheduledToolTip(batch->sendAt));
    }
    if (!looks.marketingOpen && list.value(row, QStringLiteral("Marketing")).toInt() != 0)
        return look(QColor(214, 228, 255), true, true, Outbox::WaitingToolTip);
    return look(QColor(), true);
}

// A reply that may be an opt-out in other words waits for the operator; one
// that opted out (or was confirmed as such) is shown so.
QueryListModel::Look inboxLook(const QueryListModel &list, int row)
{
    switch (OptOuts::ReplyKind(list.value(row, QStringLiteral("OptOut")).toInt())) {
    case OptOuts::ReplyKind::Possible:
        return look(QColor(255, 214, 153), true, false,
                    QStringLiteral("possible opt-out \u2014 right-click to opt this number out"));
    case OptOuts::ReplyKind::OptOut:
    case OptOuts::ReplyKind::Confirmed:
        return look(QColor(215, 215, 215), false, true, QStringLiteral("opted out"));
    case OptOuts::ReplyKind::Lift:
    case OptOuts::ReplyKind::None:
        break;
    }
    return look(QColor());
}

bool marketingOpenNow()
{
    try {
        return SendingWindow::fromDatabase().isOpen(CampaignClock::now());
    } catch (const AppError &) {
        return true; // the rows are then shown as plainly queued
    }
}

const char *const CaptionStyle = "QLabel { background: #3d6b99; color: white; font-weight: bold; padding: 3px 6px; }";

} // namespace

frmMain::frmMain(QWidget *parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::frmMain>()), m_looks(std::make_unique<OutboxLooks>())
{
    Q_INIT_RESOURCE(resources);
    ui->setupUi(this);
    setMinimumSize(720, 480);
    nameSeparators();
    m_statusDue.setSingleShot(true);
    connect(&m_statusDue, &QTimer::timeout, this, &frmMain::showStatusNow);

    ui->grdInbox_Caption->setStyleSheet(QLatin1String(CaptionStyle));
    ui->grdOutbox_Caption->setStyleSheet(QLatin1String(CaptionStyle));
    QFont creditsFont = ui->lblCredits->font();
    creditsFont.setPointSizeF(creditsFont.pointSizeF() * 1.8);
    creditsFont.setBold(true);
    ui->lblCredits->setFont(creditsFont);
    ui->Image1->setPixmap(Pictures::logo(this));

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
    m_backupPanel = new QLabel(this);
    m_backupPanel->setObjectName(QStringLiteral("Panels_Backup"));
    m_backupPanel->setTextFormat(Qt::PlainText);
    m_backupPanel->setStyleSheet(QStringLiteral("QLabel { color: #c0392b; font-weight: bold; }"));
    m_backupPanel->hide();
    ui->StatusBar1->addPermanentWidget(m_backupPanel);
    m_backupTimer.setSingleShot(true);
    connect(&m_backupTimer, &QTimer::timeout, this, &frmMain::startDailyBackup);

    connect(ui->mnuFileExit, &QAction::triggered, this, &frmMain::mnuFileExit_Click);
    QAction *backUp = new QAction(QStringLiteral("&Back Up Now..."), this);
    backUp->setObjectName(QStringLiteral("mnuFileBackUp"));
    connect(backUp, &QAction::triggered, this, &frmMain::mnuFileBackUp_Click);
    QAction *restore = new QAction(QStringLiteral("&Restore from Backup..."), this);
    restore->setObjectName(QStringLiteral("mnuFileRestore"));
    connect(restore, &QAction::triggered, this, &frmMain::mnuFileRestore_Click);
    ui->mnuFile->insertActions(ui->mnuFileExit, {backUp, restore});
    ui->mnuFile->insertSeparator(ui->mnuFileExit)->setObjectName(QStringLiteral("mnuFileSep1"));
    connect(ui->mnuAbout, &QAction::triggered, this, &frmMain::mnuAbout_Click);
    // The item shows F1 but the key is not its own (the action answers it only
    // from its menu): F1 anywhere opens the help at the window in use.
    connect(ui->mnuHelpContents, &QAction::triggered, this, &frmMain::mnuHelpContents_Click);
    connect(ui->mnuSetupCustomers, &QAction::triggered, this, &frmMain::mnuSetupCustomers_Click);
    connect(ui->mnuSetupGroups, &QAction::triggered, this, &frmMain::mnuSetupGroups_Click);
    connect(ui->mnuSMSSingle, &QAction::triggered, this, &frmMain::mnuSMSSingle_Click);
    connect(ui->mnuSetupSetup, &QAction::triggered, this, &frmMain::mnuSetupSetup_Click);
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
        openModal(window, Refresh::None);
    });
    connect(ui->mnuSMSGroup, &QAction::triggered, this, &frmMain::mnuSMSGroup_Click);
    connect(ui->mnuSMSGroupNo, &QAction::triggered, this, &frmMain::mnuSMSGroupNo_Click);
    connect(ui->mnuSMSKestrelImport, &QAction::triggered, this, &frmMain::mnuSMSKestrelImport_Click);
    connect(ui->mnuSMSSendReceiveSend, &QAction::triggered, this, &frmMain::mnuSMSSendReceiveSend_Click);
    connect(ui->mnuSMSSendReceiveReport, &QAction::triggered, this, &frmMain::mnuSMSSendReceiveReport_Click);
    connect(ui->mnuSMSSendReceiveReplies, &QAction::triggered, this, &frmMain::mnuSMSSendReceiveReplies_Click);
    connect(ui->cmdCheckCredits, &QPushButton::clicked, this, &frmMain::cmdCheckCredits_Click);
    m_cycles = new GatewayCycles(*this, this);
    connect(&RunLock::instance(), &RunLock::heldChanged, this, &frmMain::cyclesRunning);

    Form_Load();
    m_scheduleTimer.setInterval(ScheduleCheckMs);
    connect(&m_scheduleTimer, &QTimer::timeout, this, &frmMain::sendDueBatches);
    m_scheduleTimer.start();

    // What to do next on a first run, above the outbox until there is an
    // account and a message.
    m_firstRun = new FirstRunHint(m_outbox, this);
    ui->layoutLists->insertWidget(ui->layoutLists->indexOf(ui->grdOutbox), m_firstRun);
    connect(m_firstRun, &FirstRunHint::setupWanted, this, &frmMain::mnuSetupSetup_Click);
    connect(m_firstRun, &FirstRunHint::composeWanted, this, &frmMain::mnuSMSGroupNo_Click);
    QWidget *faces[] = {m_commandBar->widgetForAction(m_buttons.value(QStringLiteral("NEW"))),
                        m_commandBar->widgetForAction(m_buttons.value(QStringLiteral("CONTACTS"))),
                        m_commandBar->widgetForAction(m_buttons.value(QStringLiteral("SENDNOW")))};
    setTabOrder(faces[0], faces[1]);
    setTabOrder(faces[1], faces[2]);
    setTabOrder(faces[2], ui->grdInbox);
    setTabOrder(ui->grdInbox, m_firstRun->button());
    setTabOrder(m_firstRun->button(), ui->grdOutbox);
    setTabOrder(ui->grdOutbox, ui->cmdCheckCredits);
}

frmMain::~frmMain()
{
    // The copy being written is finished, not cut off half way.
    if (m_backupThread)
        m_backupThread->wait();
}

void frmMain::Form_Load()
{
    setWindowTitle(QStringLiteral("Tellwave - V %1.%2.%3")
                       .arg(TELLWAVE_VERSION_MAJOR)
                       .arg(TELLWAVE_VERSION_MINOR)
                       .arg(TELLWAVE_VERSION_PATCH));
    m_panel2->setText(Database::shownAs(modMain::DatabasePath));
    ui->StatusBar1->repaint();

    BuildCommandButtons();
    BuildCommandBars();

    ui->Image2->setPixmap(QPixmap(Pictures::toolbarBackground(palette())));
    m_commandBar->setStyleSheet(
        QStringLiteral("QToolBar#vbalCommandBar1 { border-image: url(%1) 0 0 0 0 stretch stretch;"
                       " border-bottom: 1px solid palette(mid); padding: 2px; spacing: 4px; }")
            .arg(Pictures::toolbarBackground(palette())));
    addToolBar(Qt::TopToolBarArea, m_commandBar);

    setUpLists();
}

void frmMain::BuildCommandButtons()
{
    m_commandBar = new QToolBar(QStringLiteral("Standard Buttons"), this);
    m_commandBar->setObjectName(QStringLiteral("vbalCommandBar1"));
    m_commandBar->setProperty("key", QStringLiteral("STANDARD"));
    m_commandBar->setMovable(false);
    m_commandBar->setFloatable(false);
    m_commandBar->setIconSize(QSize(32, 32));
    m_commandBar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    m_commandBar->toggleViewAction()->setEnabled(false);

    struct Button
    {
        const char *key;
        const char *icon; // none for drop-down items and separators
        const char *caption;
        const char *toolTip;
        bool separator;
    };
    static const Button buttons[] = {
        {"NEW", "new", "New", "New", false},
        {"SEP1", nullptr, "", "", true},
        {"CONTACTS", "contacts", "Contacts", "Contacts", false},
        {"SEP2", nullptr, "", "", true},
        {"SENDNOW", "sendreceive", "Send/Receive", "Send/Receive", false},
        {"NEW:SINGLE", nullptr, "&Send to Contact", "", false},
        {"NEW:BULK", nullptr, "&Send to Group", "", false},
        {"NEW:SEP1", nullptr, "", "", true},
        {"NEW:NONUMBER", nullptr, "Send to Number List", "", false},
        {"SENDNOW:SENDRECEIVE", nullptr, "Send/Receive", "", false},
        {"SENDNOW:SEP1", nullptr, "", "", true},
        {"SENDNOW:SENDNOW", nullptr, "Send Now", "", false},
        {"SENDNOW:RECEIVENOW", nullptr, "Receive Now", "", false},
    };
    for (const Button &button : buttons) {
        auto *action = new QAction(QString::fromUtf8(button.caption), m_commandBar);
        const QString key = QString::fromLatin1(button.key);
        action->setObjectName(key);
        action->setSeparator(button.separator);
        action->setToolTip(QString::fromUtf8(button.toolTip));
        if (button.icon) {
            QIcon icon;
            icon.addFile(QStringLiteral(":/images/%1.png").arg(QLatin1String(button.icon)), QSize(32, 32));
            icon.addFile(QStringLiteral(":/images/%116.png").arg(QLatin1String(button.icon)), QSize(16, 16));
            action->setIcon(icon);
        }
        if (!button.separator)
            connect(action, &QAction::triggered, this, [this, key] { vbalCommandBar1_ButtonClick(key); });
        m_buttons.insert(key, action);
    }

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
    struct Bar
    {
        const char *key;
        const char *title;
        QStringList items;
    };
    const Bar bars[] = {
        {"SENDNOW",
         "New",
         {QStringLiteral("NEW:SINGLE"), QStringLiteral("NEW:BULK"), QStringLiteral("NEW:SEP1"),
          QStringLiteral("NEW:NONUMBER")}},
        {"EDIT",
         "",
         {QStringLiteral("SENDNOW:SENDRECEIVE"), QStringLiteral("SENDNOW:SEP1"), QStringLiteral("SENDNOW:SENDNOW"),
          QStringLiteral("SENDNOW:RECEIVENOW")}},
    };
    for (const Bar &bar : bars) {
        auto *menu = new QMenu(QString::fromUtf8(bar.title), this);
        menu->setObjectName(QString::fromLatin1(bar.key));
        for (const QString &item : bar.items)
            menu->addAction(m_buttons.value(item));
        m_bars.insert(menu->objectName(), menu);
    }

    for (const char *key : {"NEW", "CONTACTS", "SENDNOW"})
        m_commandBar->addAction(m_buttons.value(QString::fromLatin1(key)));
    m_buttons.value(QStringLiteral("NEW"))->setMenu(m_bars.value(QStringLiteral("SENDNOW")));
    m_buttons.value(QStringLiteral("SENDNOW"))->setMenu(m_bars.value(QStringLiteral("EDIT")));
    for (const char *key : {"NEW", "SENDNOW"}) {
        if (auto *face =
                qobject_cast<QToolButton *>(m_commandBar->widgetForAction(m_buttons.value(QString::fromLatin1(key)))))
            face->setPopupMode(QToolButton::InstantPopup);
    }
    // Without a mouse: Tab reaches the buttons (Space opens a drop-down), and
    // F9 runs Send/Receive from anywhere in the window.
    for (const char *key : {"NEW", "CONTACTS", "SENDNOW"})
        if (QWidget *face = m_commandBar->widgetForAction(m_buttons.value(QString::fromLatin1(key))))
            face->setFocusPolicy(Qt::TabFocus);
    QAction *sendReceive = m_buttons.value(QStringLiteral("SENDNOW:SENDRECEIVE"));
    sendReceive->setShortcut(QKeySequence(Qt::Key_F9));
    addAction(sendReceive);
}

QAction *frmMain::commandButton(const QString &key) const
{
    return m_buttons.value(key);
}

QMenu *frmMain::commandBar(const QString &key) const
{
    return m_bars.value(key);
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

void frmMain::setUpLists()
{
    m_inbox = new QueryListModel(inboxColumns(), this);
    m_outbox = new QueryListModel(outboxColumns(), this);
    readOutboxLooks();
    m_outbox->setLook([this](const QueryListModel &list, int row) { return outboxLook(list, row, *m_looks); });
    m_inbox->setLook(inboxLook);

    for (QTableView *grid : {ui->grdInbox, ui->grdOutbox}) {
        grid->setSelectionBehavior(QAbstractItemView::SelectRows);
        grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
        grid->verticalHeader()->setDefaultSectionSize(grid->fontMetrics().height() + 8);
        grid->verticalHeader()->hide();
        grid->setWordWrap(false);
    }
    ui->grdInbox->setSelectionMode(QAbstractItemView::SingleSelection);
    ui->grdOutbox->setSelectionMode(QAbstractItemView::ExtendedSelection);
    try {
        m_inbox->setList(Replies::newestFirst(fieldsOf(inboxColumns())));
        m_outbox->setList(Outbox::newestFirst(fieldsOf(outboxColumns())));
    } catch (const AppError &error) {
        showError(error);
    }
    m_inbox->showIn(ui->grdInbox, QStringLiteral("Message"));
    m_outbox->showIn(ui->grdOutbox, QStringLiteral("Message"));

    ui->grdOutbox->installEventFilter(this);
    ui->grdOutbox->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ui->grdOutbox, &QWidget::customContextMenuRequested, this, &frmMain::showOutboxMenu);
    ui->grdInbox->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ui->grdInbox, &QWidget::customContextMenuRequested, this, &frmMain::showInboxMenu);
    // Ctrl+R answers the current reply while the inbox has the focus.
    auto *reply = new QAction(QStringLiteral("&Reply\u2026"), ui->grdInbox);
    reply->setObjectName(QStringLiteral("actInboxReply"));
    reply->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    reply->setShortcutContext(Qt::WidgetShortcut);
    ui->grdInbox->addAction(reply);
    connect(reply, &QAction::triggered, this, &frmMain::grdInbox_Reply);
}

void frmMain::showInboxMenu(const QPoint &at)
{
    const QModelIndex index = ui->grdInbox->indexAt(at);
    if (!index.isValid())
        return;
    QMenu menu(this);
    QAction *reply = menu.addAction(QStringLiteral("&Reply\u2026"));
    reply->setObjectName(QStringLiteral("mnuInboxReply"));
    reply->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    QAction *conversation = menu.addAction(QStringLiteral("&Conversation\u2026"));
    conversation->setObjectName(QStringLiteral("mnuInboxConversation"));
    QAction *optOut = menu.addAction(QStringLiteral("&Opt Out This Number"));
    optOut->setObjectName(QStringLiteral("mnuInboxOptOut"));
    optOut->setEnabled(
        !OptOutList::keyOf(m_inbox->value(index.row(), QStringLiteral("PhoneNumber")).toString()).isEmpty());
    ui->grdInbox->setCurrentIndex(index);
    QAction *chosen = menu.exec(ui->grdInbox->viewport()->mapToGlobal(at));
    if (chosen == optOut)
        grdInbox_OptOut(index.row());
    else if (chosen == reply)
        grdInbox_Reply();
    else if (chosen == conversation)
        grdInbox_Conversation();
}

void frmMain::grdInbox_Reply()
{
    const QModelIndex current = ui->grdInbox->currentIndex();
    if (!current.isValid())
        return;
    frmSendToSingle window(this);
    window.replyTo(m_inbox->value(current.row(), QStringLiteral("PhoneNumber")).toString());
    openModal(window, Refresh::OutboxThenInbox);
}

void frmMain::grdInbox_Conversation()
{
    const QModelIndex current = ui->grdInbox->currentIndex();
    if (!current.isValid())
        return;
    const QString who = (m_inbox->value(current.row(), QStringLiteral("FirstName")).toString() + QLatin1Char(' ')
                         + m_inbox->value(current.row(), QStringLiteral("LastName")).toString())
                            .trimmed();
    frmConversation::open(m_inbox->value(current.row(), QStringLiteral("PhoneNumber")).toString(), who, this);
}

void frmMain::grdOutbox_Conversation()
{
    const QModelIndex current = ui->grdOutbox->currentIndex();
    if (!current.isValid())
        return;
    frmConversation::open(m_outbox->value(current.row(), QStringLiteral("Number")).toString(), {}, this);
}

void frmMain::grdInbox_OptOut(int row)
{
    if (refusedWhileRunning())
        return;
    try {
        BusyPointer busy;
        OptOuts::confirmPossible(m_inbox->value(row, QStringLiteral("SMSReplyID")).toLongLong());
    } catch (const AppError &error) {
        showError(error);
    }
    refreshInbox();
    refreshOutbox();
}

void frmMain::refreshInbox()
{
    try {
        m_inbox->refresh();
    } catch (const AppError &error) {
        showError(error);
    }
}

void frmMain::readOutboxLooks()
{
    m_looks->marketingOpen = marketingOpenNow();
    m_looks->now = CampaignClock::now();
    m_looks->waiting.clear();
    m_looks->liveRuns.clear();
    try {
        for (const Schedule::Batch &batch : Batches::waiting())
            m_looks->waiting.insert(batch.id, batch);
        m_looks->liveRuns = SendRuns::live();
    } catch (const AppError &) {
        // The outbox's own statement reports what is wrong with the database.
    }
}

void frmMain::refreshOutbox()
{
    readOutboxLooks();
    try {
        m_outbox->refresh();
    } catch (const AppError &error) {
        showError(error);
    }
}

void frmMain::openModal(QDialog &window, Refresh refresh)
{
    window.exec();
    if (refresh == Refresh::OutboxThenInbox) {
        refreshOutbox();
        refreshInbox();
    } else if (refresh == Refresh::InboxThenOutbox) {
        refreshInbox();
        refreshOutbox();
    }
}

void frmMain::mnuFileExit_Click()
{
    close();
}

void frmMain::showBackupProblem(const QString &problem)
{
    if (problem.isEmpty()) {
        m_backupPanel->clear();
        m_backupPanel->hide();
        return;
    }
    const QString text = QStringLiteral("Backup failed: ") + problem.simplified();
    m_backupPanel->setToolTip(text);
    m_backupPanel->setText(m_backupPanel->fontMetrics().elidedText(text, Qt::ElideRight, 420));
    m_backupPanel->show();
}

void frmMain::startDailyBackup()
{
    // Again a minute after the office's next midnight.
    const OperatorTime office = OperatorTime::current();
    const QDateTime now = office.now();
    m_backupTimer.start(int(std::clamp<qint64>(now.msecsTo(office.instant(now.date().addDays(1), QTime(0, 1))),
                                               60 * 1000, 25 * 60 * 60 * 1000)));
    if (m_backupThread || Database::engine() != Database::Engine::SQLite)
        return;
    const QString source = modMain::DatabasePath;
    const QString folder = Backups::folder();
    Backups::Kept kept;
    try {
        kept = SetupStore::backupsKept();
        if (!Backups::dailyDue(source, folder, now))
            return;
    } catch (const AppError &error) {
        showBackupProblem(error.description());
        return;
    }
    auto problem = std::make_shared<QString>();
    m_backupThread = QThread::create([source, folder, now, kept, problem] {
        try {
            Backups::takeDaily(source, folder, now, kept);
        } catch (const AppError &error) {
            *problem = error.description();
        }
    });
    connect(m_backupThread, &QThread::finished, this, [this, problem] {
        m_backupThread->deleteLater();
        m_backupThread = nullptr;
        showBackupProblem(*problem);
        emit dailyBackupDone();
    });
    m_backupThread->start(QThread::LowPriority);
}

void frmMain::mnuFileBackUp_Click()
{
    if (Database::engine() == Database::Engine::SQLite) {
        backUpTo(QStringLiteral("Tellwave Databases (*.db)|*.db"), QFileInfo(modMain::DatabasePath).completeBaseName(),
                 QStringLiteral("db"), [](const QString &target) {
                     Backups::copy(modMain::DatabasePath, target);
                     return QStringLiteral("The database was backed up to %1.\n\nThe copy was checked and is sound.")
                         .arg(target);
                 });
        return;
    }
    if (Backups::pgDumpProgram().isEmpty()) {
        MessageBoxes::inform(
            this, QStringLiteral("BACKUP"),
            QStringLiteral("The database is on a PostgreSQL server, and pg_dump is not installed on this "
                           "computer.\n\nInstall the PostgreSQL client programs (the postgresql-client "
                           "package) to back it up from here, or have it backed up on the server."));
        return;
    }
    backUpTo(QStringLiteral("PostgreSQL Dumps (*.dump)|*.dump"),
             Database::partOf(modMain::ConnectionString, QStringLiteral("Database")), QStringLiteral("dump"),
             [](const QString &target) {
                 const QString command =
                     Backups::dumpServer(modMain::ConnectionString, modMain::DatabasePassword, target);
                 return QStringLiteral("The database was backed up to %1.\n\nTo restore it, while no one uses the "
                                       "program, run:\n\n%2")
                     .arg(target, command);
             });
}

void frmMain::backUpTo(const QString &filter, const QString &stem, const QString &suffix,
                       const std::function<QString(const QString &target)> &write)
{
    const QString target = FileDialogs::saveFileName(this, QStringLiteral("Back Up Now"), filter,
                                                     FileDialogs::datedName(stem, suffix), suffix);
    if (target.isEmpty())
        return;
    QString done;
    try {
        const BusyPointer busy;
        done = write(target);
    } catch (const AppError &error) {
        showBackupProblem(error.description());
        MessageBoxes::showError(this, error);
        return;
    }
    showBackupProblem({});
    MessageBoxes::inform(this, QStringLiteral("BACKUP"), done);
}

void frmMain::mnuFileRestore_Click()
{
    if (Database::engine() == Database::Engine::PostgreSQL) {
        MessageBoxes::inform(this, QStringLiteral("RESTORE"),
                             QStringLiteral("The database is on a PostgreSQL server: a backup made with Back Up Now is "
                                            "restored on the server with pg_restore, while no one uses the program "
                                            "(Back Up Now shows the command)."));
        return;
    }
    if (refusedWhileRunning())
        return;
    const QString chosen =
        FileDialogs::openFileName(this, QStringLiteral("Restore from Backup"),
                                  QStringLiteral("Tellwave Databases (*.db)|*.db|All Files (*)|*"), Backups::folder());
    if (chosen.isEmpty())
        return;
    Backups::Facts facts;
    try {
        const BusyPointer busy;
        facts = Backups::inspect(chosen);
    } catch (const AppError &error) {
        MessageBoxes::show(this, QStringLiteral("RESTORE"), error.description(), QMessageBox::Critical);
        return;
    }
    const QLocale locale;
    const QString when = facts.takenAt.time() == QTime(0, 0)
                             ? locale.toString(facts.takenAt.date(), QStringLiteral("d MMMM yyyy"))
                             : locale.toString(facts.takenAt, QStringLiteral("d MMMM yyyy, HH:mm"));
    if (!MessageBoxes::ask(this, QStringLiteral("RESTORE"),
                           QStringLiteral("Restore the database from the backup of %1?\n\n%2\n\nIt holds %3 contacts, "
                                          "%4 groups, %5 outbox messages and %6 replies.\n\nEverything written since "
                                          "then is replaced; the database as it is now is kept beside it.")
                               .arg(when, chosen, locale.toString(facts.contacts), locale.toString(facts.groups),
                                    locale.toString(facts.outbox), locale.toString(facts.replies))))
        return;
    if (m_backupThread)
        m_backupThread->wait();
    QString kept;
    try {
        const BusyPointer busy;
        kept = Backups::restore(chosen, modMain::DatabasePath, OperatorTime::current().now());
        modMain::LoadSetup();
        modMain::GatewayHost = modMain::ChooseGatewayHost(modMain::GatewayUsername);
    } catch (const AppError &error) {
        refreshInbox();
        refreshOutbox();
        MessageBoxes::showError(this, error);
        return;
    }
    refreshInbox();
    refreshOutbox();
    m_firstRun->refresh();
    MessageBoxes::inform(this, QStringLiteral("RESTORE"),
                         QStringLiteral("The database was restored from %1.\n\nThe database as it was before is kept "
                                        "as %2.")
                             .arg(chosen, kept));
}

void frmMain::mnuAbout_Click()
{
    frmAbout about(this);
    openModal(about, Refresh::None);
}

void frmMain::mnuHelpContents_Click()
{
    HelpWindow::showContents(this);
}

void frmMain::mnuSetupCustomers_Click()
{
    frmListClients window(this);
    openModal(window, Refresh::None);
}

void frmMain::mnuSetupOptOuts_Click()
{
    frmOptOuts window(this);
    openModal(window, Refresh::None);
    refreshOutbox();
}

void frmMain::mnuSetupTemplates_Click()
{
    frmTemplates window(this);
    openModal(window, Refresh::None);
}

void frmMain::mnuSetupGroups_Click()
{
    frmListGroups window(this);
    openModal(window, Refresh::None);
}

void frmMain::mnuSMSSingle_Click()
{
    frmSendToSingle window(this);
    openModal(window, Refresh::OutboxThenInbox);
}

void frmMain::mnuSetupSetup_Click()
{
    frmSetup setup(this);
    openModal(setup, Refresh::None);
    m_firstRun->refresh();
}

void frmMain::mnuSMSGroup_Click()
{
    frmSendToGroup window(this);
    openModal(window, Refresh::OutboxThenInbox);
}

void frmMain::mnuSMSGroupNo_Click()
{
    frmSendToGroupNo window(this);
    openModal(window, Refresh::InboxThenOutbox);
}

void frmMain::mnuSMSKestrelImport_Click()
{
    frmImport window(this);
    openModal(window, Refresh::InboxThenOutbox);
}

void frmMain::mnuSMSSendReceiveSend_Click()
{
    frmSendMessages window(this);
    openModal(window, Refresh::OutboxThenInbox);
}

void frmMain::mnuSMSSendReceiveReport_Click()
{
    frmGetSendReport window(this);
    openModal(window, Refresh::OutboxThenInbox);
}

void frmMain::mnuSMSSendReceiveReplies_Click()
{
    frmGetReplies window(this);
    openModal(window, Refresh::OutboxThenInbox);
}

void frmMain::cmdCheckCredits_Click()
{
    const RunLock::Hold hold;
    if (hold.taken())
        m_cycles->sender().CheckCredits();
}

bool frmMain::refusedWhileRunning()
{
    if (!RunLock::instance().isHeld())
        return false;
    setStatus(QStringLiteral("Wait for the Send/Receive run to end ..."));
    return true;
}

void frmMain::cyclesRunning(bool running)
{
    // A run lets the window answer between items; nothing may start a
    // second one meanwhile, nor open a window that writes the outbox (its
    // writes would join the run's open transaction).
    for (const char *key : {"NEW", "CONTACTS", "SENDNOW:SENDRECEIVE", "SENDNOW:SENDNOW", "SENDNOW:RECEIVENOW"})
        m_buttons.value(QString::fromLatin1(key))->setEnabled(!running);
    for (QMenu *menu : {ui->mnuSetup, ui->mnuSMS})
        menu->menuAction()->setEnabled(!running);
    ui->cmdCheckCredits->setEnabled(!running);
    if (!running)
        showStatusNow();
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
    // Nothing sends a scheduled batch while the program is closed.
    QString warning;
    try {
        warning = Schedule::quitWarning(Batches::waiting(), CampaignClock::now());
    } catch (const AppError &) {
        // The database cannot say: closing goes on as it always did.
    }
    if (!warning.isEmpty() && !ask(QStringLiteral("SCHEDULED"), warning)) {
        event->ignore();
        return;
    }
    m_scheduleTimer.stop();
    QMainWindow::closeEvent(event);
}

void frmMain::checkOverdueBatches()
{
    try {
        const Schedule::StartUp startUp =
            Schedule::atStartUp(Batches::waiting(), CampaignClock::now(), marketingOpenNow());
        if (startUp.action == Schedule::StartUp::Action::Nothing)
            return;
        QList<qint64> ids;
        for (const Schedule::Batch &batch : startUp.overdue)
            ids << batch.id;
        if (startUp.action == Schedule::StartUp::Action::Ask
            && !ask(QStringLiteral("SCHEDULED"), Schedule::overdueQuestion(startUp.overdue))) {
            Batches::hold(ids);
            refreshOutbox();
            return;
        }
        if (!m_cycles->SendScheduled(ids))
            m_triedBatches.unite(QSet<qint64>(ids.begin(), ids.end()));
    } catch (const AppError &error) {
        showError(error);
    }
}

bool frmMain::sendDueBatches()
{
    if (RunLock::instance().isHeld() || QApplication::activeModalWidget())
        return false;
    try {
        const QDateTime now = CampaignClock::now();
        const QList<Schedule::Batch> batches = Batches::waiting();
        const QList<qint64> due = Schedule::toSendNow(batches, now, marketingOpenNow(), m_triedBatches);
        if (due.isEmpty()) {
            // A batch whose time came since the list was read changes its look.
            if (std::any_of(batches.begin(), batches.end(), [this, &now](const Schedule::Batch &batch) {
                    return batch.sendAt > m_looks->now && batch.sendAt <= now;
                }))
                refreshOutbox();
            return false;
        }
        // A batch the run could not send (no credits, no answer) waits for
        // the operator's next run instead of being tried again every tick.
        // One whose marketing messages wait for the sending window is sent
        // when it opens.
        if (!m_cycles->SendScheduled(due))
            m_triedBatches.unite(QSet<qint64>(due.begin(), due.end()));
        return true;
    } catch (const AppError &) {
        // The next tick tries again; an error every half minute helps no one.
        return false;
    }
}

void frmMain::grdOutbox_ReleaseBatch()
{
    if (refusedWhileRunning())
        return;
    try {
        for (qint64 batch : Batches::heldOf(selectedOutboxIds())) {
            Batches::release(batch);
            m_triedBatches.remove(batch);
        }
    } catch (const AppError &error) {
        showError(error);
    }
    refreshOutbox();
}

QList<qint64> frmMain::selectedOutboxIds() const
{
    QList<qint64> ids;
    const int idColumn = m_outbox->columnOf(QStringLiteral("SMSSendID"));
    QModelIndexList rows = ui->grdOutbox->selectionModel()->selectedRows();
    if (rows.isEmpty() && ui->grdOutbox->currentIndex().isValid())
        rows << ui->grdOutbox->currentIndex();
    for (const QModelIndex &row : rows)
        ids << m_outbox->value(row.row(), idColumn).toLongLong();
    return ids;
}

void frmMain::grdOutbox_Requeue()
{
    if (refusedWhileRunning())
        return;
    const QList<qint64> ids = selectedOutboxIds();
    try {
        const int count = Outbox::countInDoubt(ids);
        if (count == 0)
            return;
        const QString question =
            count == 1 ? QStringLiteral("The gateway may already have received this message. Check the delivery "
                                        "report first.\n\nQueue it to be sent again?")
                       : QStringLiteral("The gateway may already have received these %1 messages. Check the "
                                        "delivery report first.\n\nQueue them to be sent again?")
                             .arg(count);
        if (!ask(QStringLiteral("SEND AGAIN"), question))
            return;
        BusyPointer busy;
        Outbox::requeue(ids);
    } catch (const AppError &error) {
        showError(error);
    }
    refreshOutbox();
}

void frmMain::grdOutbox_BeforeDelete()
{
    const QList<qint64> ids = selectedOutboxIds();
    if (ids.isEmpty() || refusedWhileRunning())
        return;

    try {
        // The database, not the list's snapshot, says whether a row was sent.
        if (Outbox::anySent(ids)) {
            inform(QStringLiteral("DELETE"), QStringLiteral("Can not delete a message that has already been sent."));
            return;
        }
        const QString question =
            ids.size() == 1 ? QStringLiteral("Delete the selected message from the outbox?")
                            : QStringLiteral("Delete the %1 selected messages from the outbox?").arg(ids.size());
        if (!ask(QStringLiteral("DELETE"), question))
            return;
        Outbox::Removed removed;
        {
            BusyPointer busy;
            removed = Outbox::remove(ids);
        }
        // Another program may have begun sending some of them meanwhile.
        if (removed.left > 0)
            inform(QStringLiteral("DELETE"),
                   removed.left == 1
                       ? QStringLiteral("1 message was not deleted: it was being sent by the time it was deleted.")
                       : QStringLiteral("%1 messages were not deleted: they were being sent by the time they were "
                                        "deleted.")
                             .arg(removed.left));
    } catch (const AppError &error) {
        showError(error);
    }
    refreshOutbox();
}

void frmMain::showOutboxMenu(const QPoint &at)
{
    if (!ui->grdOutbox->indexAt(at).isValid())
        return;
    QMenu menu(this);
    QAction *remove = menu.addAction(QStringLiteral("&Delete"));
    QAction *requeue = menu.addAction(QStringLiteral("&Queue Again"));
    requeue->setObjectName(QStringLiteral("mnuOutboxRequeue"));
    try {
        requeue->setEnabled(!RunLock::instance().isHeld() && Outbox::countInDoubt(selectedOutboxIds()) > 0);
    } catch (const AppError &) {
        requeue->setEnabled(false);
    }
    QAction *release = menu.addAction(QStringLiteral("&Release Scheduled Batch"));
    release->setObjectName(QStringLiteral("mnuOutboxRelease"));
    try {
        release->setEnabled(!RunLock::instance().isHeld() && !Batches::heldOf(selectedOutboxIds()).isEmpty());
    } catch (const AppError &) {
        release->setEnabled(false);
    }
    QAction *conversation = menu.addAction(QStringLiteral("&Conversation\u2026"));
    conversation->setObjectName(QStringLiteral("mnuOutboxConversation"));
    QAction *chosen = menu.exec(ui->grdOutbox->viewport()->mapToGlobal(at));
    if (chosen == conversation)
        grdOutbox_Conversation();
    else if (chosen == remove)
        grdOutbox_BeforeDelete();
    else if (chosen == requeue)
        grdOutbox_Requeue();
    else if (chosen == release)
        grdOutbox_ReleaseBatch();
}

bool frmMain::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->grdOutbox && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Delete) {
        grdOutbox_BeforeDelete();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

// A run sets its status text and progress for every item, far faster than
// anyone can read; painting each one would cost more than the run itself.
// They are shown at once when nothing was shown for a moment; otherwise the
// last one set is shown when that moment is over (also while a request hangs,
// since the wait for the gateway runs the event loop), or at once when the run
// ends or asks something.
constexpr qint64 StatusInterval = 100; // milliseconds

void frmMain::setStatus(const QString &text)
{
    m_statusText = text;
    statusWaits();
}

void frmMain::statusWaits()
{
    m_statusWaiting = true;
    const qint64 since = m_statusShown.isValid() ? m_statusShown.elapsed() : StatusInterval;
    if (since >= StatusInterval)
        showStatusNow();
    else if (!m_statusDue.isActive())
        m_statusDue.start(int(StatusInterval - since));
}

void frmMain::showStatusNow()
{
    m_statusDue.stop();
    if (!m_statusWaiting)
        return;
    m_statusWaiting = false;
    m_panel1->setText(m_statusText);
    m_panel1->setToolTip(m_statusText);
    if (m_progressTotal > 0) {
        m_progress->setRange(0, m_progressTotal);
        m_progress->setValue(m_progressDone);
        m_progress->show();
    } else {
        m_progress->hide();
    }
    m_statusShown.start();
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
    if (busy) {
        ++m_busy;
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else if (m_busy > 0) {
        --m_busy;
        QApplication::restoreOverrideCursor();
        showStatusNow();
    }
}

void frmMain::inform(const QString &title, const QString &text)
{
    showStatusNow();
    MessageBoxes::inform(this, title, text);
}

bool frmMain::ask(const QString &title, const QString &text)
{
    showStatusNow();
    return MessageBoxes::ask(this, title, text);
}

void frmMain::showError(const AppError &error)
{
    showStatusNow();
    MessageBoxes::showError(this, error);
}

void frmMain::setProgress(int done, int total)
{
    m_progressDone = done;
    m_progressTotal = std::max(total, 0);
    if (total <= 0 || done >= total) {
        m_statusWaiting = true;
        showStatusNow();
    } else {
        statusWaits();
    }
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
