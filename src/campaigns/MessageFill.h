#pragma once

#include "outbox/OutboxWriter.h"

#include <QString>

// The text every queueing path writes for an addressee: merge fields filled
// from the contact, then, for a marketing campaign, the sender's name and
// the stop text.
namespace MessageFill {

// The fill for a queueing (none: a service message). Reads the sender's
// name once. The fill throws UnresolvedField when a field has no value and
// no fallback.
TextFill forCampaign(const QueueCampaign *campaign);

} // namespace MessageFill
