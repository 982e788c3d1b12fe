#pragma once

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <utility>

// The addressees one queueing leaves out, and why, in the order met.
struct SkippedNumbers
{
    enum class Reason {
        NoNumber,  // a contact without a cellphone number
        Invalid,   // no valid number
        NotMobile, // a landline, toll-free or shared-cost number
        Foreign,   // another country's number: the gateway delivers in South Africa only
        OptedOut,  // on the opt-out list
        Twice,     // already an addressee of this queueing
    };

    struct Entry
    {
        QString who;    // the contact's name, when the addressee is one
        QString number; // as written, blanks removed at both ends
        Reason reason = Reason::Invalid;
        int times = 1; // Twice: how often the number is in the queueing
    };

    QList<Entry> entries; // a number met again is one entry
    qint64 count = 0;     // addressees left out
    // Where a number met twice was met: "list", "group", "file".
    QString where = QStringLiteral("list");

    bool isEmpty() const { return count == 0; }
    qint64 countOf(Reason reason) const;
    // What the operator is asked before anything is written, e.g. "2 numbers
    // will be skipped: 123 (not a valid number), 0821112222 (twice in this
    // list)", naming the first few and "and N more"; empty when none is.
    QString question() const;
    static QString reasonText(Reason reason, int times, const QString &where);
};

// Looks at every addressee of one queueing before anything is written: which
// are queued, and which are left out because the gateway must never be given
// their number (PhoneNumbers' judgement), because it opted out, or because
// the queueing has it already.
class NumberScreen
{
public:
    explicit NumberScreen(const QString &where = QStringLiteral("list"));

    // Whether the addressee is queued; one that is not is counted. `message`
    // tells apart addressees of one number that get different texts (two
    // accounts of one customer in a debit-order file); empty for the same texts.
    bool admit(const QString &number, const QString &who = {}, const QString &message = {});

    const SkippedNumbers &skipped() const { return m_skipped; }

private:
    void skip(const QString &who, const QString &number, SkippedNumbers::Reason reason);

    SkippedNumbers m_skipped;
    QSet<QString> m_optOuts;
    // Each number admitted or opted out (E.164 and the text), with the index
    // of its Twice entry (-1 while it was met once).
    QHash<std::pair<QString, QString>, qsizetype> m_met;
};
