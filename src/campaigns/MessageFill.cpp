#include "campaigns/MessageFill.h"

#include "campaigns/MergeFields.h"
#include "campaigns/SendingWindow.h"

namespace MessageFill {

TextFill forCampaign(const QueueCampaign *campaign)
{
    const bool marketing = campaign && campaign->marketing;
    const QString senderName = marketing ? Marketing::senderName() : QString();
    return [marketing, senderName](const QString &body, qint64 clientId, const QString &number) {
        QString text = body;
        if (MergeFields::hasFields(body)) {
            const QHash<QString, QString> values = MergeFields::contactValues(clientId);
            const MergeFields::Resolved resolved = MergeFields::resolve(body, values);
            if (!resolved.unresolved.isEmpty()) {
                const QString name = (values.value(QStringLiteral("firstname")).trimmed() + QLatin1Char(' ')
                                      + values.value(QStringLiteral("lastname")).trimmed())
                                         .trimmed();
                throw UnresolvedField(resolved.unresolved.join(QStringLiteral(", ")),
                                      name.isEmpty() ? number
                                                     : name + QStringLiteral(" (") + number + QLatin1Char(')'));
            }
            text = resolved.text;
        }
        return marketing ? Marketing::withFooter(text, senderName) : text;
    };
}

} // namespace MessageFill
