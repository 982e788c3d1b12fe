#include "campaigns/MessagePreview.h"

#include "campaigns/MergeFields.h"
#include "campaigns/OptOuts.h"
#include "campaigns/SendingWindow.h"
#include "data/Database.h"
#include "data/modFunctions.h"

#include <QSqlQuery>

namespace MessagePreview {

namespace {

bool worse(const SmsParts &parts, const SmsParts &baseline)
{
    return parts.parts > baseline.parts || (parts.unicode && !baseline.unicode);
}

} // namespace

Preview forGroup(qint64 groupId, const QStringList &bodies, bool marketing)
{
    Preview preview;
    const QString sender = marketing ? Marketing::senderName() : QString();
    const auto finished = [&](const QString &text) { return marketing ? Marketing::withFooter(text, sender) : text; };
    OptOuts::Checker checker;
    QSqlQuery members = Database::run(QStringLiteral("SELECT ClientID, Mobile FROM ClientsBelongingToGroups "
                                                     "WHERE GroupID = ? AND trim(coalesce(Mobile, '')) <> '' "
                                                     "ORDER BY LastName COLLATE Names, FirstName COLLATE Names"),
                                      {groupId});
    QList<QPair<qint64, QString>> list;
    while (members.next())
        list.append({members.value(0).toLongLong(), modFunctions::TrimBlanks(members.value(1).toString())});
    members.finish();
    for (const auto &[clientId, number] : list) {
        const QHash<QString, QString> values = MergeFields::contactValues(clientId);
        const QString name = (values.value(QStringLiteral("firstname")).trimmed() + QLatin1Char(' ')
                              + values.value(QStringLiteral("lastname")).trimmed())
                                 .trimmed();
        const bool optedOut = checker.blocks(number);
        if (optedOut)
            ++preview.leftOut;
        for (const QString &raw : bodies) {
            const QString body = modFunctions::TrimBlanks(raw);
            if (body.isEmpty())
                continue;
            Row row{name, number, {}, {}, false, {}};
            const MergeFields::Resolved resolved = MergeFields::resolve(body, values);
            row.text = finished(resolved.text);
            row.parts = smsParts(row.text);
            row.pushed = worse(row.parts, smsParts(finished(MergeFields::resolve(body, {}).text)));
            if (optedOut) {
                row.note = QStringLiteral("opted out: left out");
            } else if (!resolved.unresolved.isEmpty()) {
                row.note = QStringLiteral("no value: ") + resolved.unresolved.join(QStringLiteral(", "));
                ++preview.unresolved;
            } else {
                ++preview.messages;
                preview.totalParts += row.parts.parts;
                if (row.pushed) {
                    ++preview.pushed;
                    row.note = row.parts.unicode ? QStringLiteral("Unicode by its data")
                                                 : QStringLiteral("an extra part by its data");
                }
            }
            preview.rows.append(row);
        }
    }
    return preview;
}

} // namespace MessagePreview
