#pragma once

#include "outbox/NumberScreen.h"

class QWidget;

namespace NumbersQuestion {

// Asks the one question about the numbers a queueing would leave out, before
// anything is written (title "NUMBERS", Skip and Cancel). True when nothing is
// left out or the operator chose Skip; false on Cancel.
bool skipOrCancel(QWidget *parent, const SkippedNumbers &skipped);

} // namespace NumbersQuestion
