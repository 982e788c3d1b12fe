#pragma once

#include <QList>
#include <QWidget>

#include <functional>

// Every window of the program, as its opener makes it, for the checks every window must pass (the keyboard, the
// screen's room). The editors open on the group and the contact with these keys.
struct ProgramWindow
{
    const char *name;
    std::function<QWidget *()> make;
};
QList<ProgramWindow> everyWindow(qint32 groupId = 0, qint32 clientId = 0);
