#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class frmConversation;
}
class ConversationView;

// "Conversation": every message sent to and received from one person,
// oldest first, to read; nothing in it can be changed.
class frmConversation : public QDialog
{
    Q_OBJECT

public:
    // Shows the conversation with the number's person, and whose it is
    // (`who`, the contact's name; the number when empty).
    frmConversation(const QString &number, const QString &who, QWidget *parent = nullptr);
    ~frmConversation() override;

    ConversationView *view() const;

    // Opens the window modally for the number; a database error is shown
    // instead. Nothing happens for a number without digits or letters.
    static void open(const QString &number, const QString &who, QWidget *parent);

private:
    std::unique_ptr<Ui::frmConversation> ui;
};
