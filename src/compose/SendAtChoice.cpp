#include "compose/SendAtChoice.h"

#include "data/Clock.h"

#include <QCheckBox>
#include <QDateTimeEdit>
#include <QHBoxLayout>

namespace {
// The next full hour: a time to start from that has not passed.
QDateTime nextHour()
{
    const QDateTime now = CampaignClock::now().toLocalTime();
    return QDateTime(now.date(), QTime(now.time().hour(), 0)).addSecs(3600);
}
} // namespace

SendAtChoice::SendAtChoice(QWidget *parent)
    : QWidget(parent), m_check(new QCheckBox(QStringLiteral("Sen&d at"), this)), m_edit(new QDateTimeEdit(this))
{
    m_check->setObjectName(QStringLiteral("chkSendAt"));
    m_check->setToolTip(QStringLiteral("Not sent before this time (local time); the program must be running then"));
    m_edit->setObjectName(QStringLiteral("dtpSendAt"));
    m_edit->setDisplayFormat(QStringLiteral("ddd d MMM yyyy HH:mm"));
    m_edit->setCalendarPopup(true);
    m_edit->setDateTime(nextHour());
    m_edit->setEnabled(false);
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(m_check);
    row->addWidget(m_edit);
    connect(m_check, &QCheckBox::toggled, this, [this](bool on) {
        m_edit->setEnabled(on);
        // A time already past would only mean "at once".
        if (on && m_edit->dateTime() < CampaignClock::now())
            m_edit->setDateTime(nextHour());
    });
}

QDateTime SendAtChoice::sendAt() const
{
    return m_check->isChecked() ? m_edit->dateTime() : QDateTime();
}

void SendAtChoice::setSendAt(const QDateTime &at)
{
    m_check->setChecked(at.isValid());
    if (at.isValid())
        m_edit->setDateTime(at.toLocalTime());
}
