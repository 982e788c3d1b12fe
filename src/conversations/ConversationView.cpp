#include "conversations/ConversationView.h"

#include "ui/Shades.h"

#include <QAbstractTableModel>
#include <QHeaderView>

class ConversationModel : public QAbstractTableModel
{
public:
    using QAbstractTableModel::QAbstractTableModel;

    void setConversation(Conversation conversation)
    {
        beginResetModel();
        m_conversation = std::move(conversation);
        endResetModel();
    }
    const Conversation &conversation() const { return m_conversation; }

    int rowCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : int(m_conversation.messages().size());
    }
    int columnCount(const QModelIndex &parent = {}) const override { return parent.isValid() ? 0 : 4; }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return {};
        static const QStringList captions{QStringLiteral("Time"), QStringLiteral("Sent"), QStringLiteral("Received"),
                                          QStringLiteral("State")};
        return captions.value(section);
    }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid() || index.row() >= rowCount())
            return {};
        const Conversation::Message &message = m_conversation.messages().at(index.row());
        const bool sent = message.direction == Conversation::Direction::Sent;
        switch (role) {
        case Qt::DisplayRole:
            switch (index.column()) {
            case ConversationView::TimeColumn:
                // To the minute, as the outbox shows its times: a queued
                // message has no seconds to show, a reply or a posting has.
                return message.at.left(16);
            case ConversationView::SentColumn:
                return sent ? message.text : QString();
            case ConversationView::ReceivedColumn:
                return sent ? QString() : message.text;
            case ConversationView::StateColumn:
                return message.state;
            }
            return {};
        case Qt::ToolTipRole:
            if (index.column() == ConversationView::StateColumn)
                return message.state;
            if (index.column() == ConversationView::TimeColumn)
                return message.at;
            return message.text + QStringLiteral("\n\u2014 ") + message.number;
        case Qt::BackgroundRole:
            if (sent)
                if (const QColor tint = Shades::forPalette(Shades::outboxTint(message.style)); tint.isValid())
                    return tint;
            return {};
        case Qt::ForegroundRole:
            if (sent)
                if (const QColor tint = Shades::forPalette(Shades::outboxTint(message.style)); tint.isValid())
                    return Shades::textOn(tint);
            return {};
        case Qt::TextAlignmentRole:
            // Replies stand on their own side, as in a chat.
            return index.column() == ConversationView::ReceivedColumn ? int(Qt::AlignRight | Qt::AlignVCenter)
                                                                      : int(Qt::AlignLeft | Qt::AlignVCenter);
        }
        return {};
    }

private:
    Conversation m_conversation;
};

ConversationView::ConversationView(QWidget *parent) : QTableView(parent), m_model(new ConversationModel(this))
{
    setModel(m_model);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    setTextElideMode(Qt::ElideRight);
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);
    horizontalHeader()->setSectionResizeMode(TimeColumn, QHeaderView::Interactive);
    horizontalHeader()->setSectionResizeMode(SentColumn, QHeaderView::Stretch);
    horizontalHeader()->setSectionResizeMode(ReceivedColumn, QHeaderView::Stretch);
    horizontalHeader()->setSectionResizeMode(StateColumn, QHeaderView::Interactive);
    setColumnWidth(TimeColumn, fontMetrics().horizontalAdvance(QStringLiteral("2026-12-06 09:05")) + 16);
    setColumnWidth(StateColumn, fontMetrics().horizontalAdvance(QStringLiteral("delivered")) + 24);
}

ConversationView::~ConversationView() = default;

void ConversationView::showConversation(const QString &number)
{
    m_model->setConversation(Conversation::read(number));
    if (m_model->rowCount() > 0)
        scrollToBottom();
}

const Conversation &ConversationView::conversation() const
{
    return m_model->conversation();
}
