#include "compose/NumbersQuestion.h"

#include "ui/MessageBoxes.h"

namespace NumbersQuestion {

bool skipOrCancel(QWidget *parent, const SkippedNumbers &skipped)
{
    if (skipped.isEmpty())
        return true;
    return MessageBoxes::askOrCancel(parent, QStringLiteral("NUMBERS"), skipped.question(), QStringLiteral("&Skip"));
}

} // namespace NumbersQuestion
