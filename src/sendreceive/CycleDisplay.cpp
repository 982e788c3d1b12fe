#include "sendreceive/CycleDisplay.h"

#include "ui/MessageBoxes.h"

#include <QApplication>

#include <algorithm>

CycleDisplay::CycleDisplay(QWidget *window, int holdBackMs, Show show)
    : m_window(window), m_holdBackMs(holdBackMs), m_show(std::move(show))
{
    m_due.setSingleShot(true);
    QObject::connect(&m_due, &QTimer::timeout, &m_due, [this] { showNow(); });
}

CycleDisplay::~CycleDisplay()
{
    while (m_busy > 0)
        setBusy(false);
}

void CycleDisplay::setStatus(const QString &text)
{
    m_waiting.text = text;
    waits();
}

void CycleDisplay::setProgress(int done, int total)
{
    m_waiting.done = done;
    m_waiting.total = std::max(total, 0);
    if (total <= 0 || done >= total) {
        m_isWaiting = true;
        showNow();
    } else {
        waits();
    }
}

void CycleDisplay::waits()
{
    m_isWaiting = true;
    const qint64 since = m_shown.isValid() ? m_shown.elapsed() : m_holdBackMs;
    if (since >= m_holdBackMs)
        showNow();
    else if (!m_due.isActive())
        m_due.start(int(m_holdBackMs - since));
}

void CycleDisplay::showNow()
{
    m_due.stop();
    if (!m_isWaiting)
        return;
    m_isWaiting = false;
    m_show(m_waiting);
    m_shown.start();
}

void CycleDisplay::setBusy(bool busy)
{
    if (busy) {
        ++m_busy;
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else if (m_busy > 0) {
        --m_busy;
        QApplication::restoreOverrideCursor();
        showNow();
    }
}

void CycleDisplay::inform(const QString &title, const QString &text)
{
    showNow();
    MessageBoxes::inform(m_window, title, text);
}

bool CycleDisplay::ask(const QString &title, const QString &text)
{
    showNow();
    return MessageBoxes::ask(m_window, title, text);
}

void CycleDisplay::showError(const AppError &error)
{
    showNow();
    MessageBoxes::showError(m_window, error);
}
