#include "campaigns/MessagePreview.h"

#include "campaigns/MergeFields.h"
#include "campaigns/OptOuts.h"
#include "campaigns/SendingWindow.h"
#include "data/Database.h"
#include "data/PhoneNumbers.h"
#include "data/modFunctions.h"

#include <QSqlQuery>

namespace MessagePreview {

namespace {

bool worse(const SmsParts &parts, const SmsParts &baseline)
{
    return parts.parts > baseline.parts || (parts.unicode && !baseline.unicode);
}

// Adds the rows of one addressee.
class Builder
{
public:
    Builder(const QStringList &bodies, bool marketing)
        : m_bodies(bodies), m_marketing(marketing), m_sender(marketing ? Marketing::senderName() : QString())
    {}

    void add(qint64 clientId, const QString &number)
    {
        const QHash<QString, QString> values = MergeFields::contactValues(clientId);
        const QString name = (values.value(QStringLiteral("firstname")).trimmed() + QLatin1Char(' ')
                              + values.value(QStringLiteral("lastname")).trimmed())
                                 .trimmed();
        const bool optedOut = m_checker.blocks(number);
        if (optedOut)
            ++m_preview.leftOut;
        const QString numberNote = noteOn(number);
        if (!numberNote.isEmpty())
            ++m_preview.badNumbers;
        for (const QString &raw : m_bodies) {
            const QString body = modFunctions::TrimBlanks(raw);
            if (body.isEmpty())
                continue;
            Row row{name, number, {}, {}, false, {}, numberNote};
            const MergeFields::Resolved resolved = MergeFields::resolve(body, values);
            row.text = finished(resolved.text);
            row.parts = smsParts(row.text);
            row.pushed = worse(row.parts, smsParts(finished(MergeFields::resolve(body, {}).text)));
            if (optedOut) {
                row.note = QStringLiteral("opted out: left out");
            } else if (!resolved.unresolved.isEmpty()) {
                row.note = QStringLiteral("no value: ") + resolved.unresolved.join(QStringLiteral(", "));
                ++m_preview.unresolved;
            } else {
                ++m_preview.messages;
                m_preview.totalParts += row.parts.parts;
                if (row.pushed) {
                    ++m_preview.pushed;
                    row.note = row.parts.unicode ? QStringLiteral("Unicode by its data")
                                                 : QStringLiteral("an extra part by its data");
                }
            }
            m_preview.rows.append(row);
        }
    }

    Preview take() { return std::move(m_preview); }

private:
    // A number no message is sent to is pointed out.
    static QString noteOn(const QString &number)
    {
        switch (PhoneNumbers::judge(number)) {
        case PhoneNumbers::Verdict::Invalid:
            return QStringLiteral("invalid number");
        case PhoneNumbers::Verdict::NotMobile:
            return QStringLiteral("not a cellphone number");
        case PhoneNumbers::Verdict::Foreign:
            return QStringLiteral("not a South African number");
        case PhoneNumbers::Verdict::Valid:
            break;
        }
        return {};
    }

    QString finished(const QString &text) const { return m_marketing ? Marketing::withFooter(text, m_sender) : text; }

    const QStringList &m_bodies;
    bool m_marketing;
    QString m_sender;
    OptOutList::Checker m_checker;
    Preview m_preview;
};

} // namespace

Preview forGroup(qint64 groupId, const QStringList &bodies, bool marketing)
{
    QSqlQuery members = Database::run(QStringLiteral("SELECT ClientID, Mobile FROM ClientsBelongingToGroups "
                                                     "WHERE GroupID = ? AND trim(coalesce(Mobile, '')) <> '' "
                                                     "ORDER BY LastName COLLATE Names, FirstName COLLATE Names"),
                                      {groupId});
    QList<QPair<qint64, QString>> list;
    while (members.next())
        list.append({members.value(0).toLongLong(), modFunctions::TrimBlanks(members.value(1).toString())});
    members.finish();
    Builder builder(bodies, marketing);
    for (const auto &[clientId, number] : list)
        builder.add(clientId, number);
    return builder.take();
}

Preview forContact(qint64 clientId, const QString &number, const QStringList &bodies, bool marketing)
{
    Builder builder(bodies, marketing);
    builder.add(clientId, modFunctions::TrimBlanks(number));
    return builder.take();
}

} // namespace MessagePreview
