#pragma once

#include "campaigns/OptOuts.h"
#include "campaigns/SendingWindow.h"

#include <QDateTime>
#include <QString>

// What a send run asks before it posts a queued row.
class SendGate
{
public:
    enum class Verdict {
        Post,
        OptedOut, // the number is on the opt-out list: never posted
        Wait,     // a marketing message outside the permitted hours: stays queued
    };

    SendGate();

    Verdict check(const QString &number, bool marketing);
    // When the row was posted, for SMSSend.PostedAt (UTC, ISO 8601).
    static QString postedStamp();

private:
    OptOuts::Checker m_checker;
    SendingWindow m_window;
};
