#pragma once

#include <QDateTime>
#include <QWidget>

class QCheckBox;
class QDateTimeEdit;

// "Send at": an unchecked box (chkSendAt) and a date and time of the office's
// clock (dtpSendAt, OperatorTime). Checked, the queued messages are not sent
// before that time.
class SendAtChoice : public QWidget
{
    Q_OBJECT

public:
    explicit SendAtChoice(QWidget *parent = nullptr);

    // The chosen time, or an invalid one when the box is not checked.
    QDateTime sendAt() const;
    void setSendAt(const QDateTime &at);

private:
    // The time the edit shows, whether or not the box is checked.
    QDateTime chosen() const;

    QCheckBox *m_check;
    QDateTimeEdit *m_edit;
};
