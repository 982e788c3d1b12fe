#pragma once

#include "conversations/Conversation.h"

#include <QTableView>

class ConversationModel;

// A conversation as a list: each message with its time, the text under
// "Sent" or under "Received", and a sent message's state, shaded as the
// outbox shades its rows. The newest message is scrolled into view.
class ConversationView : public QTableView
{
    Q_OBJECT

public:
    explicit ConversationView(QWidget *parent = nullptr);
    ~ConversationView() override;

    // Reads the conversation with the number's person and shows it. Throws AppError.
    void showConversation(const QString &number);
    const Conversation &conversation() const;

    enum Columns { TimeColumn, SentColumn, ReceivedColumn, StateColumn };

private:
    ConversationModel *m_model;
};
