#pragma once

#include <QObject>

class CycleHost;
class MainLists;
class QPoint;
class QWidget;

// What the main window's inbox offers on a reply: Reply... (also Ctrl+R while
// the inbox has the focus), its conversation, and opting its number out.
class InboxActions : public QObject
{
    Q_OBJECT

public:
    // Windows and boxes open over `window`.
    InboxActions(MainLists &lists, QWidget *window);

    // The send-to-contact window for the current reply's number, with the
    // conversation beside the composer.
    void reply();
    // The thread with the current reply's number.
    void conversation();
    // The reply's number goes on the opt-out list.
    void optOut(int row);

private:
    void showMenu(const QPoint &at);

    MainLists &m_lists;
    QWidget *m_window;
};
