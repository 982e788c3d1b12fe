#pragma once

#include "app/FirstRun.h"

#include <QFrame>

class QAbstractItemModel;
class QLabel;
class QPushButton;

// The main window's panel over the outbox that says what to do next on a
// first run; hidden once the account is set and the outbox holds a message.
class FirstRunHint : public QFrame
{
    Q_OBJECT

public:
    // Follows the outbox list: shown again whenever the list is read anew.
    FirstRunHint(const QAbstractItemModel *outbox, QWidget *parent);

    FirstRun::Step step() const { return m_step; }
    QPushButton *button() const { return m_button; }
    // Looks again at the account and the outbox.
    void refresh();

signals:
    void setupWanted();
    void composeWanted();

private:
    const QAbstractItemModel *m_outbox;
    QLabel *m_text;
    QPushButton *m_button;
    FirstRun::Step m_step = FirstRun::Step::None;
};
