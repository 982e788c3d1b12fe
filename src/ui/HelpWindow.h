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

    // Whether the page holds an anchor of that name (<a name="...">).
    bool hasAnchor(const QString &name) const;
    // The page at that anchor; at its top for an empty name.
    void showAnchor(const QString &name);

    // The help page start-up found beside the program; empty when there is
    // none.
    static QString helpFile();
    static void useHelpFile(const QString &file);

    // Shows the help page (helpFile()) at the section about the window
    // the operator is in: the anchor named as that window's objectName
    // ("frmSetup"), else as the window it was opened from, else the top of the
    // page. Raises the help window already open there, or opens one. Gives the
    // help window, or nullptr when the program has no help page.
    static HelpWindow *showFor(QWidget *from);
    // The same window at the top of the page, where its contents are listed.
    static HelpWindow *showContents(QWidget *from);

    // Makes F1 open the help page from every window of the application.
    static void installF1(QApplication &application);

private:
    // The help window beside the window `from` is in, made when there is none.
    static HelpWindow *beside(QWidget *from);
    void present();

    QTextBrowser *m_browser;
};
