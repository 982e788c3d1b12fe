#include "campaigns/CampaignNotices.h"

#include "ui/MessageBoxes.h"

#include <QString>

namespace CampaignNotices {

void tellLeftOut(QWidget *parent, qint64 leftOut)
{
    if (leftOut <= 0)
        return;
    MessageBoxes::inform(parent, QStringLiteral("OPTED OUT"),
                         leftOut == 1
                             ? QStringLiteral("1 number is on the opt-out list and was left out.")
                             : QStringLiteral("%1 numbers are on the opt-out list and were left out.").arg(leftOut));
}

} // namespace CampaignNotices
