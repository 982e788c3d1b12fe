#include "app/MainLists.h"

#include "campaigns/OptOuts.h"
#include "campaigns/Schedule.h"
#include "campaigns/SendingWindow.h"
#include "data/AppError.h"
#include "data/Clock.h"
#include "data/KeysetList.h"
#include "gateway/CycleHost.h"
#include "gateway/Replies.h"
#include "outbox/Batches.h"
#include "outbox/FailReasons.h"
#include "outbox/Outbox.h"
#include "outbox/RunLock.h"
#include "outbox/SendRuns.h"
#include "ui/QueryListModel.h"
#include "ui/Shades.h"

#include <QDialog>
#include <QHash>
#include <QHeaderView>
#include <QTableView>

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

} // namespace

MainLists::MainLists(QTableView *inboxGrid, QTableView *outboxGrid, CycleHost &host, QObject *owner)
    : m_inboxGrid(inboxGrid), m_outboxGrid(outboxGrid), m_host(host), m_looks(std::make_unique<OutboxLooks>())
{
    m_inbox = new QueryListModel(inboxColumns(), owner);
    m_outbox = new QueryListModel(outboxColumns(), owner);
    readOutboxLooks();
    m_outbox->setLook([this](const QueryListModel &list, int row) { return outboxLook(list, row, *m_looks); });
    m_inbox->setLook(inboxLook);

    for (QTableView *grid : {m_inboxGrid, m_outboxGrid}) {
        grid->setSelectionBehavior(QAbstractItemView::SelectRows);
        grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
        grid->verticalHeader()->setDefaultSectionSize(grid->fontMetrics().height() + 8);
        grid->verticalHeader()->hide();
        grid->setWordWrap(false);
    }
    m_inboxGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    m_outboxGrid->setSelectionMode(QAbstractItemView::ExtendedSelection);
    try {
        m_inbox->setList(Replies::newestFirst(fieldsOf(inboxColumns())));
        m_outbox->setList(Outbox::newestFirst(fieldsOf(outboxColumns())));
    } catch (const AppError &error) {
        m_host.showError(error);
    }
    m_inbox->showIn(m_inboxGrid, QStringLiteral("Message"));
    m_outbox->showIn(m_outboxGrid, QStringLiteral("Message"));
}

MainLists::~MainLists() = default;

bool MainLists::marketingOpenNow()
{
    try {
        return SendingWindow::fromDatabase().isOpen(CampaignClock::now());
    } catch (const AppError &) {
        return true; // the rows are then shown as plainly queued
    }
}

void MainLists::refreshInbox()
{
    try {
        m_inbox->refresh();
    } catch (const AppError &error) {
        m_host.showError(error);
    }
}

void MainLists::readOutboxLooks()
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

QDateTime MainLists::looksJudgedAt() const
{
    return m_looks->now;
}

void MainLists::refreshOutbox()
{
    readOutboxLooks();
    try {
        m_outbox->refresh();
    } catch (const AppError &error) {
        m_host.showError(error);
    }
}

void MainLists::openModal(QDialog &window, Refresh refresh)
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

QList<qint64> MainLists::selectedOutboxIds() const
{
    QList<qint64> ids;
    const int idColumn = m_outbox->columnOf(QStringLiteral("SMSSendID"));
    QModelIndexList rows = m_outboxGrid->selectionModel()->selectedRows();
    if (rows.isEmpty() && m_outboxGrid->currentIndex().isValid())
        rows << m_outboxGrid->currentIndex();
    for (const QModelIndex &row : rows)
        ids << m_outbox->value(row.row(), idColumn).toLongLong();
    return ids;
}

bool MainLists::refusedWhileRunning()
{
    if (!RunLock::instance().isHeld())
        return false;
    m_host.setStatus(QStringLiteral("Wait for the Send/Receive run to end ..."));
    return true;
}
