#pragma once

#include <QMessageBox>
#include <QString>

#include <functional>
#include <memory>

class AppError;
class QWidget;

// Every message box of the program goes through here, so that a test can
// answer it: a responder, when one is installed, sees what would have been
// shown and gives the answer instead of a real modal box.
namespace MessageBoxes {

struct Shown
{
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    // What Enter chooses; NoButton leaves it to Qt (the first accepting one).
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    // Yes's caption where it says what it does ("&Skip"); empty: Qt's own.
    QString yesText;
};

using Responder = std::function<QMessageBox::StandardButton(const Shown &)>;

// Shows a box with the title, text, icon and buttons; gives the button chosen.
// The text is always shown as plain text: boxes quote names, replies and
// gateway answers, which must never be read as markup.
QMessageBox::StandardButton show(QWidget *parent, const QString &title, const QString &text, QMessageBox::Icon icon,
                                 QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                 QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
// The box show() puts on the screen when no responder is installed.
std::unique_ptr<QMessageBox> build(QWidget *parent, const Shown &shown);

// A notice: information icon, OK.
void inform(QWidget *parent, const QString &title, const QString &text);
// A question: Yes and No, question icon unless told otherwise; true on Yes.
bool ask(QWidget *parent, const QString &title, const QString &text, QMessageBox::Icon icon = QMessageBox::Question,
         QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
// A question whose Yes button says what it does (`yes`, "&Skip"), beside
// Cancel: true on Yes.
bool askOrCancel(QWidget *parent, const QString &title, const QString &text, const QString &yes);
// "number - description", title "ERROR", critical icon, OK.
void showError(QWidget *parent, const AppError &error);

// Runs an action under the busy pointer. An AppError it throws is shown as the
// ERROR box, the normal pointer back first. True when the action finished.
bool runShowingErrors(QWidget *parent, const std::function<void()> &action);

// Installs a responder (an empty one restores real boxes).
void setResponder(Responder responder);

} // namespace MessageBoxes
