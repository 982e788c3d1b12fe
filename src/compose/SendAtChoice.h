#pragma once

#include <QDateTime>
#include <QWidget>

class QCheckBox;
class QDateTimeEdit;

// "Send at": an unchecked box (chkSendAt) and a local date and time
// (dtpSendAt). Checked, the queued messages are not sent before that time.
class SendAtChoice : public QWidget
{
    Q_OBJECT

public:
    explicit SendAtChoice(QWidget *parent = nullptr);

    // The chosen time, or an invalid one when the box is not checked.
    QDateTime sendAt() const;
    void setSendAt(const QDateTime &at);

private:
    QCheckBox *m_check;
    QDateTimeEdit *m_edit;
};
