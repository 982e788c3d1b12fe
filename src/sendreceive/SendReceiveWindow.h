#pragma once

#include "gateway/CycleHost.h"
#include "sendreceive/CycleDisplay.h"

#include <QDialog>
#include <QList>

#include <functional>

class QLabel;

// What the three Send/Receive windows share as the host of the gateway cycle
// they run: the status line is their lblStatus, questions and errors are
// their message boxes, and while a run lasts the window cannot be closed and
// the buttons that start or end work are disabled.
class SendReceiveWindow : public QDialog, public CycleHost
{
    Q_OBJECT

public:
    explicit SendReceiveWindow(QWidget *parent = nullptr);
    ~SendReceiveWindow() override;

    bool isRunning() const { return m_running; }

    // The status of a window whose run was refused: another holds the lock.
    static inline const QString AnotherRunGoes =
        QStringLiteral("Another Send/Receive run is going; try again when it has ended ...");

    // CycleHost
    void setStatus(const QString &text) override;
    QString creditsText() const override;
    void setCreditsText(const QString &text) override;
    void setBusy(bool busy) override;
    void inform(const QString &title, const QString &text) override;
    bool ask(const QString &title, const QString &text) override;
    void showError(const AppError &error) override;
    void setProgress(int done, int total) override;
    void yieldToEvents() override;
    void outboxChanged() override;
    void inboxChanged() override;

    void reject() override;

protected:
    // The label that shows the status; the buttons disabled during a run.
    void setUp(QLabel *status, QList<QWidget *> disabledWhileRunning);
    // Runs `run` with the buttons disabled and closing refused; its result.
    bool whileRunning(const std::function<bool()> &run);
    // The window's list should show the database as it is now.
    virtual void reloadList() {}

    void closeEvent(QCloseEvent *event) override;

private:
    void showStatus(const QString &text);

    CycleDisplay m_display;
    QLabel *m_status = nullptr;
    QList<QWidget *> m_disabledWhileRunning;
    bool m_running = false;
};
