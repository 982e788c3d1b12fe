#include "GuiTestSupport.h"

#include "app/frmMain.h"
#include "campaigns/MessagePreview.h"
#include "campaigns/frmOptOuts.h"
#include "campaigns/frmPreview.h"
#include "campaigns/frmReports.h"
#include "compose/frmImport.h"
#include "compose/frmSaveTemplate.h"
#include "compose/frmSendToGroup.h"
#include "compose/frmSendToGroupNo.h"
#include "compose/frmSendToSingle.h"
#include "compose/frmTemplates.h"
#include "contacts/frmAddEditClients.h"
#include "contacts/frmImportCsv.h"
#include "contacts/frmListClients.h"
#include "contacts/frmSearchClients.h"
#include "contacts/frmSelectGroup.h"
#include "conversations/frmConversation.h"
#include "groups/frmAddGroups.h"
#include "groups/frmEditGroups.h"
#include "groups/frmListGroups.h"
#include "settings/frmAbout.h"
#include "settings/frmSetup.h"
#include "ui/Shades.h"
#include "ui/WindowPlacement.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

using Opener = std::function<std::unique_ptr<QWidget>()>;

template <typename Window>
Opener opener()
{
    return [] { return std::unique_ptr<QWidget>(new Window); };
}

// The visible labels, buttons and boxes that are given less room than their
// text needs: "To" shown as "Tc".
QStringList clipped(const QWidget *window)
{
    QStringList found;
    for (const QWidget *widget : window->findChildren<QWidget *>()) {
        // The edit inside a spin or combo box is the box's to size.
        if (!widget->isVisibleTo(window) || widget->width() == 0 || qobject_cast<QAbstractSpinBox *>(widget->parent())
            || qobject_cast<QComboBox *>(widget->parent()))
            continue;
        QSize needed;
        if (const auto *label = qobject_cast<const QLabel *>(widget)) {
            if (label->wordWrap() || label->text().isEmpty() || label->pixmap().isNull() == false)
                continue;
            needed = label->minimumSizeHint();
        } else if (qobject_cast<const QAbstractButton *>(widget) || qobject_cast<const QComboBox *>(widget)
                   || qobject_cast<const QLineEdit *>(widget)) {
            needed = widget->minimumSizeHint();
        } else {
            continue;
        }
        if (widget->width() < needed.width() || widget->height() < needed.height())
            found << u"%1 (%2x%3, needs %4x%5)"_s.arg(widget->objectName())
                         .arg(widget->width())
                         .arg(widget->height())
                         .arg(needed.width())
                         .arg(needed.height());
    }
    return found;
}

} // namespace

class tst_windowFit : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { WindowPlacement::install(); }
    void init() { home = std::make_unique<TestHome>(); }
    void cleanup()
    {
        QApplication::setPalette(QPalette());
        home.reset();
    }

    void aWindowLargerThanTheScreenIsMadeToFit_data()
    {
        QTest::addColumn<QRect>("window");
        QTest::addColumn<QRect>("fitted");
        const QRect screen(0, 0, 960, 540);
        QTest::newRow("fits already") << QRect(10, 10, 400, 300) << QRect(10, 10, 400, 300);
        QTest::newRow("too large") << QRect(0, 0, 2080, 1400) << QRect(0, 0, 960, 540);
        QTest::newRow("off to the right") << QRect(800, 400, 400, 300) << QRect(560, 240, 400, 300);
        QTest::newRow("above and left") << QRect(-50, -20, 400, 300) << QRect(0, 0, 400, 300);
    }

    void aWindowLargerThanTheScreenIsMadeToFit()
    {
        QFETCH(QRect, window);
        QFETCH(QRect, fitted);
        QCOMPARE(WindowPlacement::fitted(window, QRect(0, 0, 960, 540)), fitted);
    }

    void everyWindowFitsTheScreenUnclippedInLightAndDark_data()
    {
        QTest::addColumn<Opener>("open");
        QTest::addColumn<bool>("dark");
        const QList<std::pair<const char *, Opener>> windows{
            {"main", opener<frmMain>()},
            {"reports", opener<frmReports>()},
            {"preview", [] { return std::unique_ptr<QWidget>(new frmPreview(MessagePreview::Preview{})); }},
            {"setup", opener<frmSetup>()},
            {"about", opener<frmAbout>()},
            {"contacts", opener<frmListClients>()},
            {"contact", opener<frmAddEditClients>()},
            {"search", opener<frmSearchClients>()},
            {"select group", opener<frmSelectGroup>()},
            {"import from CSV", opener<frmImportCsv>()},
            {"groups", opener<frmListGroups>()},
            {"add group", opener<frmAddGroups>()},
            {"edit group", opener<frmEditGroups>()},
            {"opt-outs", opener<frmOptOuts>()},
            {"to a contact", opener<frmSendToSingle>()},
            {"reply to a contact",
             [] {
                 auto window = std::make_unique<frmSendToSingle>();
                 window->replyTo(u"082 123 4567"_s);
                 return std::unique_ptr<QWidget>(window.release());
             }},
            {"conversation",
             [] { return std::unique_ptr<QWidget>(new frmConversation(u"082 123 4567"_s, u"Ann Smith"_s)); }},
            {"to a group", opener<frmSendToGroup>()},
            {"to numbers", opener<frmSendToGroupNo>()},
            {"import", opener<frmImport>()},
            {"templates", opener<frmTemplates>()},
            {"save as template", [] { return std::unique_ptr<QWidget>(new frmSaveTemplate(TemplateText{})); }},
        };
        for (const auto &[name, open] : windows) {
            QTest::newRow(qPrintable(u"%1, light"_s.arg(QLatin1StringView(name)))) << open << false;
            QTest::newRow(qPrintable(u"%1, dark"_s.arg(QLatin1StringView(name)))) << open << true;
        }
    }

    void everyWindowFitsTheScreenUnclippedInLightAndDark()
    {
        QFETCH(Opener, open);
        QFETCH(bool, dark);
        QApplication::setPalette(dark ? darkPalette() : QPalette());
        ScriptedMessageBoxes boxes;
        const std::unique_ptr<QWidget> window = open();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        const QRect screen = window->screen()->availableGeometry();
        QVERIFY2(screen.contains(window->frameGeometry()),
                 qPrintable(u"%1 at %2,%3 %4x%5 on a screen of %6x%7"_s.arg(window->objectName())
                                .arg(window->frameGeometry().x())
                                .arg(window->frameGeometry().y())
                                .arg(window->frameGeometry().width())
                                .arg(window->frameGeometry().height())
                                .arg(screen.width())
                                .arg(screen.height())));
        const QStringList cut = clipped(window.get());
        QVERIFY2(cut.isEmpty(), qPrintable(window->objectName() + u": "_s + cut.join(u", "_s)));
        saveScreenshot(
            window.get(),
            u"%1-%2-%3x"_s.arg(window->objectName(), dark ? u"dark"_s : u"light"_s).arg(window->devicePixelRatio()));
    }

    // Closed where the operator left it, a window opens there again.
    void aWindowOpensWhereItWasLeft()
    {
        QRect left;
        {
            frmListClients list;
            list.show();
            QVERIFY(QTest::qWaitForWindowExposed(&list));
            list.setGeometry(QRect(list.geometry().topLeft() + QPoint(37, 21), list.minimumSizeHint()));
            left = list.geometry();
            list.close();
        }
        frmListClients again;
        again.show();
        QVERIFY(QTest::qWaitForWindowExposed(&again));
        QCOMPARE(again.geometry(), left);
    }

private:
    std::unique_ptr<TestHome> home;
};

QTEST_MAIN(tst_windowFit)
#include "tst_windowFit.moc"
