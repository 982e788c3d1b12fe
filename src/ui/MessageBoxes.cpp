#include "ui/MessageBoxes.h"

#include "ui/BusyPointer.h"

#include "data/AppError.h"

#include <QAbstractButton>
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
    if (QAbstractButton *yes = box->button(QMessageBox::Yes); yes && !shown.yesText.isEmpty())
        yes->setText(shown.yesText);
    return box;
}

namespace {
QMessageBox::StandardButton present(QWidget *parent, const Shown &shown)
{
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
} // namespace

QMessageBox::StandardButton show(QWidget *parent, const QString &title, const QString &text, QMessageBox::Icon icon,
                                 QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton)
{
    return present(parent, Shown{title, text, icon, buttons, defaultButton, {}});
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

bool askOrCancel(QWidget *parent, const QString &title, const QString &text, const QString &yes)
{
    return present(parent, Shown{title, text, QMessageBox::Question, QMessageBox::Yes | QMessageBox::Cancel,
                                 QMessageBox::NoButton, yes})
           == QMessageBox::Yes;
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
