#include "app/InboxActions.h"

#include "app/MainLists.h"
#include "campaigns/OptOuts.h"
#include "compose/frmSendToSingle.h"
#include "conversations/frmConversation.h"
#include "ui/MessageBoxes.h"
#include "ui/QueryListModel.h"

#include <QAction>
#include <QMenu>
#include <QTableView>

InboxActions::InboxActions(MainLists &lists, QWidget *window) : m_lists(lists), m_window(window)
{
    QTableView *grid = m_lists.inboxGrid();
    grid->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(grid, &QWidget::customContextMenuRequested, this, &InboxActions::showMenu);
    // Ctrl+R answers the current reply while the inbox has the focus.
    auto *reply = new QAction(QStringLiteral("&Reply\u2026"), grid);
    reply->setObjectName(QStringLiteral("actInboxReply"));
    reply->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    reply->setShortcutContext(Qt::WidgetShortcut);
    grid->addAction(reply);
    connect(reply, &QAction::triggered, this, &InboxActions::reply);
}

void InboxActions::showMenu(const QPoint &at)
{
    QTableView *grid = m_lists.inboxGrid();
    const QModelIndex index = grid->indexAt(at);
    if (!index.isValid())
        return;
    QMenu menu(m_window);
    QAction *reply = menu.addAction(QStringLiteral("&Reply\u2026"));
    reply->setObjectName(QStringLiteral("mnuInboxReply"));
    reply->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    QAction *conversation = menu.addAction(QStringLiteral("&Conversation\u2026"));
    conversation->setObjectName(QStringLiteral("mnuInboxConversation"));
    QAction *optOut = menu.addAction(QStringLiteral("&Opt Out This Number"));
    optOut->setObjectName(QStringLiteral("mnuInboxOptOut"));
    optOut->setEnabled(
        !OptOutList::keyOf(m_lists.inbox()->value(index.row(), QStringLiteral("PhoneNumber")).toString()).isEmpty());
    grid->setCurrentIndex(index);
    QAction *chosen = menu.exec(grid->viewport()->mapToGlobal(at));
    if (chosen == optOut)
        InboxActions::optOut(index.row());
    else if (chosen == reply)
        InboxActions::reply();
    else if (chosen == conversation)
        InboxActions::conversation();
}

void InboxActions::reply()
{
    const QModelIndex current = m_lists.inboxGrid()->currentIndex();
    if (!current.isValid())
        return;
    frmSendToSingle window(m_window);
    window.replyTo(m_lists.inbox()->value(current.row(), QStringLiteral("PhoneNumber")).toString());
    m_lists.openModal(window, MainLists::Refresh::OutboxThenInbox);
}

void InboxActions::conversation()
{
    const QModelIndex current = m_lists.inboxGrid()->currentIndex();
    if (!current.isValid())
        return;
    const QueryListModel *inbox = m_lists.inbox();
    const QString who = (inbox->value(current.row(), QStringLiteral("FirstName")).toString() + QLatin1Char(' ')
                         + inbox->value(current.row(), QStringLiteral("LastName")).toString())
                            .trimmed();
    frmConversation::open(inbox->value(current.row(), QStringLiteral("PhoneNumber")).toString(), who, m_window);
}

void InboxActions::optOut(int row)
{
    if (m_lists.refusedWhileRunning())
        return;
    MessageBoxes::runShowingErrors(m_window, [&] {
        OptOuts::confirmPossible(m_lists.inbox()->value(row, QStringLiteral("SMSReplyID")).toLongLong());
    });
    m_lists.refreshInbox();
    m_lists.refreshOutbox();
}
