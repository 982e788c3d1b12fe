#include "GuiTestSupport.h"

#include <QDir>
#include <QPixmap>
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
