#include "app/OutboxActions.h"

#include "app/MainLists.h"
#include "app/ScheduledSending.h"
#include "conversations/frmConversation.h"
#include "data/AppError.h"
#include "gateway/CycleHost.h"
#include "outbox/Batches.h"
#include "outbox/Outbox.h"
#include "outbox/RunLock.h"
#include "ui/MessageBoxes.h"
#include "ui/QueryListModel.h"

#include <QKeyEvent>
#include <QMenu>
#include <QTableView>

#include <optional>

OutboxActions::OutboxActions(MainLists &lists, ScheduledSending &schedule, CycleHost &host, QWidget *window)
    : m_lists(lists), m_schedule(schedule), m_host(host), m_window(window)
{
    QTableView *grid = m_lists.outboxGrid();
    grid->installEventFilter(this);
    grid->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(grid, &QWidget::customContextMenuRequested, this, &OutboxActions::showMenu);
}

bool OutboxActions::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_lists.outboxGrid() && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Delete) {
        remove();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void OutboxActions::showMenu(const QPoint &at)
{
    QTableView *grid = m_lists.outboxGrid();
    if (!grid->indexAt(at).isValid())
        return;
    QMenu menu(m_window);
    QAction *remove = menu.addAction(QStringLiteral("&Delete"));
    QAction *requeue = menu.addAction(QStringLiteral("&Queue Again"));
    requeue->setObjectName(QStringLiteral("mnuOutboxRequeue"));
    try {
        requeue->setEnabled(!RunLock::instance().isHeld() && Outbox::countInDoubt(m_lists.selectedOutboxIds()) > 0);
    } catch (const AppError &) {
        requeue->setEnabled(false);
    }
    QAction *release = menu.addAction(QStringLiteral("&Release Scheduled Batch"));
    release->setObjectName(QStringLiteral("mnuOutboxRelease"));
    try {
        release->setEnabled(!RunLock::instance().isHeld() && !Batches::heldOf(m_lists.selectedOutboxIds()).isEmpty());
    } catch (const AppError &) {
        release->setEnabled(false);
    }
    QAction *conversation = menu.addAction(QStringLiteral("&Conversation\u2026"));
    conversation->setObjectName(QStringLiteral("mnuOutboxConversation"));
    QAction *chosen = menu.exec(grid->viewport()->mapToGlobal(at));
    if (chosen == conversation)
        OutboxActions::conversation();
    else if (chosen == remove)
        OutboxActions::remove();
    else if (chosen == requeue)
        OutboxActions::requeue();
    else if (chosen == release)
        releaseBatch();
}

void OutboxActions::conversation()
{
    const QModelIndex current = m_lists.outboxGrid()->currentIndex();
    if (!current.isValid())
        return;
    frmConversation::open(m_lists.outbox()->value(current.row(), QStringLiteral("Number")).toString(), {}, m_window);
}

void OutboxActions::releaseBatch()
{
    if (m_lists.refusedWhileRunning())
        return;
    try {
        for (qint64 batch : Batches::heldOf(m_lists.selectedOutboxIds())) {
            Batches::release(batch);
            m_schedule.released(batch);
        }
    } catch (const AppError &error) {
        m_host.showError(error);
    }
    m_lists.refreshOutbox();
}

void OutboxActions::requeue()
{
    if (m_lists.refusedWhileRunning())
        return;
    const QList<qint64> ids = m_lists.selectedOutboxIds();
    bool confirmed = false;
    const bool finished = MessageBoxes::runShowingErrors(m_window, [&] {
        const int count = Outbox::countInDoubt(ids);
        if (count == 0)
            return;
        const QString question =
            count == 1 ? QStringLiteral("The gateway may already have received this message. Check the delivery "
                                        "report first.\n\nQueue it to be sent again?")
                       : QStringLiteral("The gateway may already have received these %1 messages. Check the "
                                        "delivery report first.\n\nQueue them to be sent again?")
                             .arg(count);
        if (!m_host.ask(QStringLiteral("SEND AGAIN"), question))
            return;
        confirmed = true;
        Outbox::requeue(ids);
    });
    // A question answered No (or nothing to ask) leaves the list as it is.
    if (!finished || confirmed)
        m_lists.refreshOutbox();
}

void OutboxActions::remove()
{
    const QList<qint64> ids = m_lists.selectedOutboxIds();
    if (ids.isEmpty() || m_lists.refusedWhileRunning())
        return;
    std::optional<Outbox::Removed> removed;
    const bool finished = MessageBoxes::runShowingErrors(m_window, [&] {
        // The database, not the list's snapshot, says whether a row was sent.
        if (Outbox::anySent(ids)) {
            m_host.inform(QStringLiteral("DELETE"),
                          QStringLiteral("Can not delete a message that has already been sent."));
            return;
        }
        const QString question =
            ids.size() == 1 ? QStringLiteral("Delete the selected message from the outbox?")
                            : QStringLiteral("Delete the %1 selected messages from the outbox?").arg(ids.size());
        if (m_host.ask(QStringLiteral("DELETE"), question))
            removed = Outbox::remove(ids);
    });
    if (finished && !removed)
        return;
    // Another program may have begun sending some of them meanwhile.
    if (removed && removed->left > 0)
        m_host.inform(QStringLiteral("DELETE"),
                      removed->left == 1
                          ? QStringLiteral("1 message was not deleted: it was being sent by the time it was deleted.")
                          : QStringLiteral("%1 messages were not deleted: they were being sent by the time they were "
                                           "deleted.")
                                .arg(removed->left));
    m_lists.refreshOutbox();
}
