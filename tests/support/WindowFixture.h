#pragma once

#include "GuiTestSupport.h"
#include "TestSupport.h"

#include "contacts/ClientHandOver.h"
#include "settings/SetupStore.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QStyleOptionViewItem>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

// What every window test holds and does: a private home with a fresh database, scripted message boxes and file
// dialogs (opening where the settings say), and one window under test whose controls are found by objectName. A test
// class derives from it (after QObject) and calls start() from init() and finish() from cleanup().
class WindowFixture
{
protected:
    void start()
    {
        home.freshDatabase();
        boxes = std::make_unique<ScriptedMessageBoxes>();
        dialogs = std::make_unique<ScriptedFileDialogs>();
        // As start-up sets it: dialogs open in the folder last chosen, kept in the test's settings.
        FileDialogs::setFolderMemory({SetupStore::lastFileFolder, SetupStore::keepLastFileFolder});
        ClientHandOver::SelectedClientID = 0;
        ClientHandOver::SavedClientID = 0;
    }
    void finish()
    {
        window.reset(); // first: a closing window may still show a box or ask for a file
        dialogs.reset();
        FileDialogs::setFolderMemory({});
        boxes.reset();
    }

    // Shows the dialog as the window under test, in place of the one before.
    void open(QDialog *dialog)
    {
        window.reset(dialog);
        window->show();
        QVERIFY(QTest::qWaitForWindowActive(dialog));
    }

    // A control by objectName. A missing one ends the run: every later step of the test would need it.
    template <typename T>
    static T *child(const QWidget *in, const char *name)
    {
        T *found = in->findChild<T *>(QString::fromLatin1(name));
        if (!found)
            qFatal("no control %s", name);
        return found;
    }
    template <typename T>
    T *child(const char *name) const
    {
        return child<T>(window.get(), name);
    }
    static void click(const QWidget *in, const char *button)
    {
        QTest::mouseClick(child<QPushButton>(in, button), Qt::LeftButton);
    }
    void click(const char *button) const { click(window.get(), button); }
    QString status() const { return child<QLabel>("lblStatus")->text(); }

    // Runs `action`, which opens a modal window; `whileOpen` works in it, then it is closed (also when a check in
    // `whileOpen` failed, so nothing is left blocking). Gives the modal window's class name, empty when none opened.
    QString withModal(const std::function<void()> &action, const std::function<void(QWidget *)> &whileOpen = {})
    {
        window->activateWindow(); // back from an earlier modal window, or a key would not reach this one
        if (!QTest::qWaitForWindowActive(window.get()))
            return QStringLiteral("inactive");
        return modalOpenedBy(action, whileOpen);
    }

    // Pictures at the default, the smallest and a large size, to look at (see saveScreenshot).
    void screenshots(const QString &name)
    {
        saveScreenshot(window.get(), name);
        const QSize normal = window->size();
        window->resize(window->minimumSizeHint());
        saveScreenshot(window.get(), name + QStringLiteral("-smallest"));
        window->resize(1280, 900);
        saveScreenshot(window.get(), name + QStringLiteral("-large"));
        window->resize(normal);
    }

    // Clicks the check box a list draws in a row's first cell.
    static void tick(QTableView *grid, int row)
    {
        QStyleOptionViewItem option;
        option.initFrom(grid->viewport());
        option.rect = grid->visualRect(grid->model()->index(row, 0));
        option.features = QStyleOptionViewItem::HasCheckIndicator;
        const QRect box = grid->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, grid);
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, box.center());
    }

    static QStringList column(const QAbstractItemModel *model, int section)
    {
        QStringList values;
        for (int row = 0; row < model->rowCount(); ++row)
            values << model->index(row, section).data().toString();
        return values;
    }

    TestHome home;
    std::unique_ptr<ScriptedMessageBoxes> boxes;
    std::unique_ptr<ScriptedFileDialogs> dialogs;
    std::unique_ptr<QDialog> window;
};
