#include "GuiTestSupport.h"

#include "ui/HelpWindow.h"
#include "ui/QueryListModel.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextBrowser>
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

int rowWithKey(const QueryListModel *list, qint64 key)
{
    for (int row = 0; row < list->rowCount(); ++row)
        if (list->value(row, QStringLiteral("SMSSendID")).toLongLong() == key)
            return row;
    return -1;
}

QPalette darkPalette()
{
    QPalette dark;
    const QList<std::pair<QPalette::ColorRole, QRgb>> colours = {
        {QPalette::Window, 0x2d2d30},          {QPalette::WindowText, 0xe6e6e6},  {QPalette::Base, 0x1e1e1e},
        {QPalette::AlternateBase, 0x28282c},   {QPalette::Text, 0xe6e6e6},        {QPalette::Button, 0x3c3c40},
        {QPalette::ButtonText, 0xe6e6e6},      {QPalette::Highlight, 0x2a6ebe},   {QPalette::HighlightedText, 0xffffff},
        {QPalette::PlaceholderText, 0x9a9aa0}, {QPalette::ToolTipBase, 0x3c3c40}, {QPalette::ToolTipText, 0xe6e6e6}};
    for (const auto &[role, rgb] : colours)
        dark.setColor(role, QColor(rgb));
    return dark;
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

bool helpShows(const HelpWindow *help, const QString &anchor)
{
    const QTextBrowser *page = help->browser();
    const QScrollBar *bar = page->verticalScrollBar();
    if (anchor.isEmpty())
        return bar->value() == 0;
    for (QTextBlock block = page->document()->begin(); block.isValid(); block = block.next()) {
        for (auto piece = block.begin(); !piece.atEnd(); ++piece) {
            if (!piece.fragment().charFormat().anchorNames().contains(anchor))
                continue;
            QTextCursor at(page->document());
            at.setPosition(piece.fragment().position());
            const int top = page->cursorRect(at).top();
            const bool atTop = qAbs(top) <= 1;
            const bool atEnd = bar->value() == bar->maximum() && top >= 0 && top < page->viewport()->height();
            return bar->value() > 0 && (atTop || atEnd);
        }
    }
    return false;
}
