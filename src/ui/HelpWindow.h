#pragma once

#include <QDialog>

class QApplication;
class QTextBrowser;

// The help page in a window of its own, beside (not blocking) the window it
// was asked from, so the page can stay open while the operator works.
class HelpWindow : public QDialog
{
    Q_OBJECT

public:
    HelpWindow(const QString &page, QWidget *owner);

    QTextBrowser *browser() const { return m_browser; }

    // Shows the help page (modMain::HelpFile) for the window the operator is
    // in: raises the help window already open there, or opens one. Gives the
    // help window, or nullptr when the program has no help page.
    static HelpWindow *showFor(QWidget *from);

    // Makes F1 open the help page from every window of the application.
    static void installF1(QApplication &application);

private:
    QTextBrowser *m_browser;
};
