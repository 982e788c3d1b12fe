#pragma once

#include "campaigns/SendingWindow.h"
#include "outbox/OptOutList.h"

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

    // Counted: how many were kept back so far. The confirmation of an
    // opt-out (a service message) goes to the number that opted out.
    Verdict check(const QString &number, bool marketing, bool confirmsOptOut = false);
    // Marketing messages wait this run, for the reason given ("the replies
    // could not be fetched first (...)"); service messages still go.
    void holdMarketing(const QString &reason) { m_heldReason = reason; }
    const QString &heldReason() const { return m_heldReason; }
    // The status line of a run whose marketing messages were held.
    QString statusLine() const;
    int optedOut() const { return m_optedOut; }
    int waiting() const { return m_waiting; }
    // What a run that kept messages back tells the operator at its end, and
    // its title (OPTED OUT, or WAITING when only marketing messages wait);
    // empty when it kept none back.
    QString notice() const;
    QString noticeTitle() const;
    // When the row was posted, for SMSSend.PostedAt (UTC, ISO 8601).
    static QString postedStamp();

private:
    OptOutList::Checker m_checker;
    SendingWindow m_window;
    int m_optedOut = 0;
    int m_waiting = 0;
    int m_held = 0;
    QString m_heldReason;
};
