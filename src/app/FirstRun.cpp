#include "app/FirstRun.h"

#include "data/modFunctions.h"

namespace FirstRun {

Step nextStep(const QString &gatewayUsername, qsizetype outboxRows)
{
    if (modFunctions::TrimBlanks(gatewayUsername).isEmpty())
        return Step::SetAccount;
    return outboxRows > 0 ? Step::None : Step::QueueMessage;
}

QString hintText(Step step)
{
    switch (step) {
    case Step::SetAccount:
        return QStringLiteral(
            "<b>Welcome to Tellwave.</b> Before messages can be sent, enter the user name and password of your "
            "SMS gateway account in Setup (menu Setup, Program Setup). Then add your contacts (F5), make a group "
            "(F6) and queue a message with New on the command bar. Press F1 for the help page.");
    case Step::QueueMessage:
        return QStringLiteral(
            "<b>The gateway account is set.</b> Queue your first message: choose New on the command bar, then "
            "Send to Contact, Send to Group or Send to Number List. Send it with Send/Receive. "
            "Press F1 for the help page.");
    case Step::None:
        break;
    }
    return QString();
}

QString buttonCaption(Step step)
{
    switch (step) {
    case Step::SetAccount:
        return QStringLiteral("&Open Setup...");
    case Step::QueueMessage:
        return QStringLiteral("Send to &Number List...");
    case Step::None:
        break;
    }
    return QString();
}

} // namespace FirstRun
