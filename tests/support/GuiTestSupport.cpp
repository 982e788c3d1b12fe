#include "GuiTestSupport.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTimer>
#include <QWidget>

ScriptedMessageBoxes::ScriptedMessageBoxes()
{
    MessageBoxes::setResponder([this](const MessageBoxes::Shown &box) {
        m_shown.append(box);
        if (!m_answers.isEmpty())
            return m_answers.dequeue();
        if (box.buttons.testFlag(QMessageBox::Ok))
            return QMessageBox::Ok;
        return QMessageBox::No;
    });
}

ScriptedMessageBoxes::~ScriptedMessageBoxes()
{
    MessageBoxes::setResponder({});
}

QStringList ScriptedMessageBoxes::titles() const
{
    QStringList result;
    for (const auto &box : m_shown)
        result << box.title;
    return result;
}

ScriptedFileDialogs::ScriptedFileDialogs()
{
    FileDialogs::setResponder([this](const FileDialogs::Asked &asked) {
        m_asked.append(asked);
        return m_paths.isEmpty() ? QString() : m_paths.dequeue();
    });
}

ScriptedFileDialogs::~ScriptedFileDialogs()
{
    FileDialogs::setResponder({});
}

void saveScreenshot(QWidget *widget, const QString &name)
{
    const QString folder = QString::fromLocal8Bit(qgetenv("TELLWAVE_SCREENSHOTS"));
    if (folder.isEmpty() || !widget)
        return;
    QDir().mkpath(folder);
    widget->grab().save(QDir(folder).filePath(name + QStringLiteral(".png")));
}

QString modalOpenedBy(const std::function<void()> &action, const std::function<void(QWidget *)> &whileOpen)
{
    QString seen;
    // Looks until the window is there: the action may run events of its own before it opens one. The
    // timer goes with this call, so it never fires after it.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &poll, [&] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        poll.stop();
        seen = QString::fromLatin1(modal->metaObject()->className());
        if (whileOpen)
            whileOpen(modal);
        modal->close();
    });
    poll.start(5);
    action();
    return seen;
}
