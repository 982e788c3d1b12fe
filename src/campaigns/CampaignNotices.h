#pragma once

#include <QtGlobal>

class QWidget;

namespace CampaignNotices {

// Tells the operator how many addressees a queueing action left out because
// their numbers opted out; nothing when none was.
void tellLeftOut(QWidget *parent, qint64 leftOut);

} // namespace CampaignNotices
