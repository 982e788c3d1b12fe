#include "compose/SendAtChoice.h"

#include "data/OperatorTime.h"

#include <QCheckBox>
#include <QDateTimeEdit>
#include <QHBoxLayout>

namespace {
// The edit shows and takes the office's wall-clock time. It holds it as UTC
// only so that the machine's own zone (its summer-time gaps) changes no value.
QDateTime shown(const QDateTime &at)
{
    const QDateTime local = OperatorTime::current().local(at);
    return QDateTime(local.date(), local.time(), Qt::UTC);
}

// The next full hour: a time to start from that has not passed.
QDateTime nextHour()
{
    const QDateTime now = OperatorTime::current().now();
    return shown(OperatorTime::current().instant(now.date(), QTime(now.time().hour(), 0)).addSecs(3600));
}
} // namespace

SendAtChoice::SendAtChoice(QWidget *parent)
    : QWidget(parent), m_check(new QCheckBox(QStringLiteral("Sen&d at"), this)), m_edit(new QDateTimeEdit(this))
{
    m_check->setObjectName(QStringLiteral("chkSendAt"));
    m_check->setToolTip(QStringLiteral("Not sent before this time (local time); the program must be running then"));
    m_edit->setObjectName(QStringLiteral("dtpSendAt"));
    m_edit->setTimeSpec(Qt::UTC);
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
        if (on && chosen() < OperatorTime::current().now())
            m_edit->setDateTime(nextHour());
    });
}

QDateTime SendAtChoice::chosen() const
{
    const QDateTime wallClock = m_edit->dateTime();
    return OperatorTime::current().instant(wallClock.date(), wallClock.time());
}

QDateTime SendAtChoice::sendAt() const
{
    return m_check->isChecked() ? chosen() : QDateTime();
}

void SendAtChoice::setSendAt(const QDateTime &at)
{
    m_check->setChecked(at.isValid());
    if (at.isValid())
        m_edit->setDateTime(shown(at));
}
