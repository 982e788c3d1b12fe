#include "campaigns/QueueFilter.h"

#include "campaigns/MergeFields.h"
#include "campaigns/Schedule.h"
#include "campaigns/SendingWindow.h"

QueueFilter::QueueFilter(QueueCampaign *campaign) : m_campaign(campaign)
{
    if (marketing())
        m_senderName = Marketing::senderName();
}

bool QueueFilter::leaveOut(const QString &number)
{
    if (!m_checker.blocks(number))
        return false;
    if (m_campaign)
        ++m_campaign->leftOut;
    return true;
}

QString QueueFilter::text(const QString &body, qint64 clientId, const QString &number) const
{
    QString text = body;
    if (MergeFields::hasFields(body)) {
        const QHash<QString, QString> values = MergeFields::contactValues(clientId);
        const MergeFields::Resolved resolved = MergeFields::resolve(body, values);
        if (!resolved.unresolved.isEmpty()) {
            const QString name = (values.value(QStringLiteral("firstname")).trimmed() + QLatin1Char(' ')
                                  + values.value(QStringLiteral("lastname")).trimmed())
                                     .trimmed();
            throw UnresolvedField(resolved.unresolved.join(QStringLiteral(", ")),
                                  name.isEmpty() ? number : name + QStringLiteral(" (") + number + QLatin1Char(')'));
        }
        text = resolved.text;
    }
    return marketing() ? Marketing::withFooter(text, m_senderName) : text;
}

QVariant QueueFilter::batch()
{
    if (!m_campaign || !m_campaign->sendAt.isValid())
        return QVariant(QMetaType::fromType<qlonglong>());
    if (m_campaign->batchId == 0)
        m_campaign->batchId = Schedule::create(m_campaign->sendAt, m_campaign->description);
    return m_campaign->batchId;
}
