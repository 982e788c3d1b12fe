#include "sendreceive/CycleDisplay.h"

#include "data/AppError.h"
#include "ui/MessageBoxes.h"

#include <QApplication>
#include <QTest>

using namespace Qt::StringLiterals;

// The status line, progress and busy pointer a cycle's window shows. The
// hold-back here is an hour, so nothing is shown by the clock while a case
// runs: what shows is what the rules show at once.
class tst_cycleDisplay : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { MessageBoxes::setResponder({}); }

    void showsAtOnceOnlyWhatTheRulesSay_data()
    {
        QTest::addColumn<int>("holdBackMs");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("shown"); // status and progress as shown, and boxes, in order

        const int hour = 60 * 60 * 1000;
        QTest::newRow("a burst: the first at once, the last when asked")
            << hour << QStringList{"status A", "status B", "status C", "now", "now"} << QStringList{"A 0/0", "C 0/0"};
        QTest::newRow("progress waits until it ends")
            << hour << QStringList{"status A", "progress 1/3", "progress 2/3", "progress 3/3"}
            << QStringList{"A 0/0", "A 3/3"};
        QTest::newRow("progress of none ends the display")
            << hour << QStringList{"progress 1/3", "status B", "progress 0/0"} << QStringList{" 1/3", "B 0/0"};
        QTest::newRow("the end of busy shows what waits")
            << hour << QStringList{"busy", "status A", "status B", "idle", "idle"} << QStringList{"A 0/0", "B 0/0"};
        QTest::newRow("a box comes after what waits")
            << hour << QStringList{"status A", "status B", "ask", "status C", "error", "inform"}
            << QStringList{"A 0/0", "B 0/0", "box Q?", "C 0/0", "box ERROR", "box I"};
        QTest::newRow("without hold-back every status shows")
            << 0 << QStringList{"status A", "status B", "status B"} << QStringList{"A 0/0", "B 0/0", "B 0/0"};
    }

    void showsAtOnceOnlyWhatTheRulesSay()
    {
        QFETCH(int, holdBackMs);
        QFETCH(QStringList, steps);
        QFETCH(QStringList, shown);

        QStringList seen;
        MessageBoxes::setResponder([&](const MessageBoxes::Shown &box) {
            seen << u"box "_s + box.title;
            return QMessageBox::Yes;
        });
        CycleDisplay display(nullptr, holdBackMs, [&](const CycleDisplay::Shown &now) {
            seen << u"%1 %2/%3"_s.arg(now.text).arg(now.done).arg(now.total);
        });
        for (const QString &step : std::as_const(steps)) {
            const QString verb = step.section(u' ', 0, 0);
            const QString rest = step.section(u' ', 1);
            if (verb == u"status")
                display.setStatus(rest);
            else if (verb == u"progress")
                display.setProgress(rest.section(u'/', 0, 0).toInt(), rest.section(u'/', 1).toInt());
            else if (verb == u"now")
                display.showNow();
            else if (verb == u"busy" || verb == u"idle")
                display.setBusy(verb == u"busy");
            else if (verb == u"ask")
                QVERIFY(display.ask(u"Q?"_s, u"?"_s));
            else if (verb == u"inform")
                display.inform(u"I"_s, u"i"_s);
            else if (verb == u"error")
                display.showError(AppError(1, u"broken"_s));
        }
        QCOMPARE(seen, shown);
    }

    void busyPointersNestAndAreGivenBack()
    {
        {
            CycleDisplay display(nullptr, 0, [](const CycleDisplay::Shown &) {});
            display.setBusy(true);
            display.setBusy(true);
            display.setBusy(false);
            QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
            display.setBusy(false);
            QCOMPARE(QApplication::overrideCursor(), nullptr);
            display.setBusy(false); // one too many takes no other pointer away
            QApplication::setOverrideCursor(Qt::CrossCursor);
            display.setBusy(false);
            QCOMPARE(QApplication::overrideCursor()->shape(), Qt::CrossCursor);
            QApplication::restoreOverrideCursor();
            display.setBusy(true);
            display.setBusy(true);
        }
        QCOMPARE(QApplication::overrideCursor(), nullptr); // a run cut short gives its pointers back
    }
};

QTEST_MAIN(tst_cycleDisplay)
#include "tst_cycleDisplay.moc"
