#pragma once

#include <QList>
#include <QMap>
#include <QPair>
#include <QString>

// What one run did, told to the operator when it ends, in one line:
// "6 sent, 1 refused (Insufficient funds), 2 left for the sending window —
// Credits: The gateway at ... answered with HTTP status 500." A step that
// failed is named with the gateway's words or the HTTP status, also when the
// run's own texts pass over the failure (a report page that could not be
// fetched counts as an empty one, and the run goes on).
class RunSummary
{
public:
    // The steps a failure is told for.
    static inline const QString Credits = QStringLiteral("Credits");
    static inline const QString Send = QStringLiteral("Send");
    static inline const QString Reports = QStringLiteral("Delivery reports");
    static inline const QString Replies = QStringLiteral("Replies");

    void sent() { ++m_sent; }
    void refused(const QString &reason) { ++m_refused[reason]; }
    // Not posted: no number, not a number the gateway takes, no text.
    void notPosted(const QString &reason) { ++m_notPosted[reason]; }
    void optedOut() { ++m_optedOut; }
    void leftForSendingWindow() { ++m_waiting; }
    void leftQueued(int count) { m_leftQueued += count; }
    void inDoubt(int count) { m_inDoubt += count; }
    void reports(int count) { m_reports += count; }
    void replies(int count) { m_replies += count; }
    // The first failure of a step is kept; a later one of the same step adds nothing.
    void failed(const QString &step, const QString &why);
    // Something the operator should know that is no failure ("no credits left").
    void note(const QString &text);

    // Messages the run settled one way or another.
    int handled() const;
    // Nothing happened and nothing failed.
    bool isEmpty() const;
    // How a run that did all it could ends, before what it did.
    static inline const QString ReadyText = QStringLiteral("Done. Ready ...");

    // The line; `readyText` leads it when no step failed.
    QString text(const QString &readyText = ReadyText) const;

private:
    int m_sent = 0;
    QMap<QString, int> m_refused;
    QMap<QString, int> m_notPosted;
    int m_optedOut = 0;
    int m_waiting = 0;
    int m_leftQueued = 0;
    int m_inDoubt = 0;
    int m_reports = 0;
    int m_replies = 0;
    QList<QPair<QString, QString>> m_failures;
    QStringList m_notes;
};

// A step of a run (the send, the delivery reports, the replies): it tells a
// summary what it did, its own unless a sequence of steps gives it the
// sequence's.
class SummaryReporter
{
public:
    SummaryReporter() = default;
    SummaryReporter(const SummaryReporter &) = delete;
    SummaryReporter &operator=(const SummaryReporter &) = delete;

    void reportTo(RunSummary *summary) { m_summary = summary ? summary : &m_own; }

protected:
    RunSummary &summary() { return *m_summary; }

private:
    RunSummary m_own;
    RunSummary *m_summary = &m_own;
};
