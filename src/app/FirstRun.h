#pragma once

#include <QString>

// What a new operator should do next, shown in the main window until the
// program has what it needs to send: the gateway account, then a message.
namespace FirstRun {

enum class Step {
    SetAccount,   // no gateway account yet: Setup comes first
    QueueMessage, // the account is there, the outbox has never held a message
    None,         // both done: nothing to show
};

Step nextStep(const QString &gatewayUsername, qsizetype outboxRows);

// The hint's text and the caption of its button for a step.
QString hintText(Step step);
QString buttonCaption(Step step);

} // namespace FirstRun
