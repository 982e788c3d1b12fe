#include "ui/MessageBoxes.h"

#include "ui/BusyPointer.h"

#include "data/AppError.h"

#include <QApplication>

namespace MessageBoxes {

namespace {
Responder &responder()
{
    static Responder installed;
    return installed;
}
} // namespace

std::unique_ptr<QMessageBox> build(QWidget *parent, const Shown &shown)
{
    auto box = std::make_unique<QMessageBox>(shown.icon, shown.title, QString(), shown.buttons, parent);
    box->setTextFormat(Qt::PlainText);
    box->setText(shown.text);
    if (shown.defaultButton != QMessageBox::NoButton)
        box->setDefaultButton(shown.defaultButton);
    return box;
}

QMessageBox::StandardButton show(QWidget *parent, const QString &title, const QString &text,
                                 QMessageBox::Icon icon, QMessageBox::StandardButtons buttons,
                                 QMessageBox::StandardButton defaultButton)
{
    const Shown shown{title, text, icon, buttons, defaultButton};
    if (const Responder &answer = responder())
        return answer(shown);

    // The busy pointer must not stay over a box that waits for the operator.
    const bool busy = QApplication::overrideCursor() != nullptr;
    if (busy)
        QApplication::setOverrideCursor(Qt::ArrowCursor);
    const std::unique_ptr<QMessageBox> box = build(parent, shown);
    const auto chosen = static_cast<QMessageBox::StandardButton>(box->exec());
    if (busy)
        QApplication::restoreOverrideCursor();
    return chosen;
}

void inform(QWidget *parent, const QString &title, const QString &text)
{
    show(parent, title, text, QMessageBox::Information, QMessageBox::Ok);
}

bool ask(QWidget *parent, const QString &title, const QString &text, QMessageBox::Icon icon,
         QMessageBox::StandardButton defaultButton)
{
    return show(parent, title, text, icon, QMessageBox::Yes | QMessageBox::No, defaultButton) == QMessageBox::Yes;
}

void showError(QWidget *parent, const AppError &error)
{
    show(parent, QStringLiteral("ERROR"), error.text(), QMessageBox::Critical, QMessageBox::Ok);
}

void setResponder(Responder installed)
{
    responder() = std::move(installed);
}

bool runShowingErrors(QWidget *parent, const std::function<void()> &action)
{
    BusyPointer busy;
    try {
        action();
        return true;
    } catch (const AppError &error) {
        busy.release();
        showError(parent, error);
        return false;
    }
}

} // namespace MessageBoxes
