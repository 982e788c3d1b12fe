#include "sendreceive/SendReceiveWindow.h"

#include "outbox/RunLock.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>

// Every status is shown as it is set: these windows log each step beside it.
SendReceiveWindow::SendReceiveWindow(QWidget *parent)
    : QDialog(parent), m_display(this, 0, [this](const CycleDisplay::Shown &shown) { showStatus(shown.text); })
{}

SendReceiveWindow::~SendReceiveWindow() = default;

void SendReceiveWindow::setUp(QLabel *status, QList<QWidget *> disabledWhileRunning)
{
    m_status = status;
    // A long status (a failure quoting the gateway) is cut at the window's
    // edge rather than widening it; its tooltip holds it whole.
    m_status->setSizePolicy(QSizePolicy::Ignored, m_status->sizePolicy().verticalPolicy());
    m_disabledWhileRunning = std::move(disabledWhileRunning);
    // A run of another window (the main window's cycle, the schedule) holds
    // the program's lock: nothing here starts one meanwhile.
    const auto enable = [this](bool held) {
        for (QWidget *button : std::as_const(m_disabledWhileRunning))
            button->setEnabled(!held);
    };
    connect(&RunLock::instance(), &RunLock::heldChanged, this, enable);
    enable(RunLock::instance().isHeld());
}

bool SendReceiveWindow::whileRunning(const std::function<bool()> &run)
{
    const RunLock::Hold hold;
    if (!hold.taken()) {
        setStatus(AnotherRunGoes);
        return false;
    }
    struct Running
    {
        SendReceiveWindow &window;
        explicit Running(SendReceiveWindow &owner) : window(owner) { set(true); }
        ~Running() { set(false); }
        void set(bool running)
        {
            window.m_running = running;
            for (QWidget *button : std::as_const(window.m_disabledWhileRunning))
                button->setEnabled(!running);
        }
    } running(*this);
    return run();
}

void SendReceiveWindow::setStatus(const QString &text)
{
    m_display.setStatus(text);
}

void SendReceiveWindow::showStatus(const QString &text)
{
    m_status->setText(text);
    m_status->setToolTip(text);
    m_status->repaint();
}

QString SendReceiveWindow::creditsText() const
{
    return QStringLiteral("0");
}

void SendReceiveWindow::setCreditsText(const QString &) {}

void SendReceiveWindow::setBusy(bool busy)
{
    m_display.setBusy(busy);
}

void SendReceiveWindow::inform(const QString &title, const QString &text)
{
    m_display.inform(title, text);
}

bool SendReceiveWindow::ask(const QString &title, const QString &text)
{
    return m_display.ask(title, text);
}

void SendReceiveWindow::showError(const AppError &error)
{
    m_display.showError(error);
}

void SendReceiveWindow::setProgress(int, int) {}

void SendReceiveWindow::yieldToEvents()
{
    // Keeps the window painting; the operator's input waits for the run's end.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void SendReceiveWindow::outboxChanged()
{
    reloadList();
}

void SendReceiveWindow::inboxChanged()
{
    reloadList();
}

void SendReceiveWindow::reject()
{
    if (!m_running)
        QDialog::reject();
}

void SendReceiveWindow::closeEvent(QCloseEvent *event)
{
    if (m_running) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}
