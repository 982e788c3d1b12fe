#include "data/AppError.h"
#include "gateway/SendReportPage.h"
#include "sendreceive/CycleDisplay.h"
#include "sendreceive/SendReceiveRules.h"
#include "ui/MessageBoxes.h"

#include <QApplication>
#include <QTest>

using namespace Qt::StringLiterals;

// What the Send/Receive windows read and show beyond the gateway cycles: the
// report page cut into rows and cells, the log lines and the list formats; and
// the status line, progress and busy pointer a cycle's window shows. The
// hold-back there is an hour, so nothing is shown by the clock while a case
// runs: what shows is what the rules show at once.
class tst_sendReceiveRules : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { MessageBoxes::setResponder({}); }

    void reportPageCut_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<int>("rowTexts");
        // Per row that names an outbox row: "key SentID delivered|-".
        QTest::addColumn<QStringList>("applied");

        const QString heading = QStringLiteral("<tr><td>SentID</td><td>PhoneNumber</td><td>Data</td><td>DateTime</td>"
                                               "<td>CustomerID</td><td>SentStatus</td></tr>\r\n");
        QTest::newRow("gateway page")
            << QStringLiteral("<html><body>\r\n<table id=DataGrid>\r\n") + heading
                   + QStringLiteral("<tr><td>5000001</td><td>0821234567</td><td>Hi</td><td>2026-12-06 09:05</td>"
                                    "<td>12</td><td>Sent</td></tr>\r\n</table>\r\n<p>DataGrid</table></html>")
            << 3 << QStringList{"12 5000001 delivered"};
        QTest::newRow("lower-case tags, NONE and empty identifiers, no table end")
            << QStringLiteral("<p>Report</p><table class=datagrid>\n") + heading.toLower()
                   + QStringLiteral(
                       "<tr><td> ab12 </td><td>082</td><td>one</td><td>d</td><td>5</td><td> sent </td></tr>\n"
                       "<tr>\t<td>ab13</td><td>082</td><td>two</td><td>d</td><td>6x</td><td>Pending</td>"
                       "</tr>\n<tr><td>ab14</td><td>082</td><td>x</td><td>d</td><td>none</td><td>sent</td>"
                       "</tr><tr><td>ab15</td><td>082</td><td>y</td><td>d</td><td> </td><td>sent</td></tr>"
                       "\n</body></html>")
            << 6 << QStringList{"5 AB12 delivered", "6 AB13 -"};
        QTest::newRow("short rows and cells holding their column's name")
            << QStringLiteral("DATAGRID>") + heading
                   + QStringLiteral("<tr><td>7</td><td>082</td></tr><tr><td>8</td><td>0</td><td>d</td><td>t</td>"
                                    "<td>CustomerID</td><td>Sent</td></tr><tr><td>SentID</td><td>0</td><td>d</td>"
                                    "<td>t</td><td>9</td><td>SENTSTATUS</td></tr>")
            << 5 << QStringList{"9  -"};
        QTest::newRow("identifiers that are no row key")
            << QStringLiteral("DATAGRID>") + heading
                   + QStringLiteral("<tr><td>1</td><td></td><td></td><td></td><td>1E30</td><td>Sent</td></tr>"
                                    "<tr><td>2</td><td></td><td></td><td></td><td>-4</td><td>Sent</td></tr>")
            << 4 << QStringList{};
        // Without the word the first eight characters go; the rest is read all the same.
        QTest::newRow("no DATAGRID") << QStringLiteral("<table><tr><td>3</td><td></td><td></td><td></td><td>4</td>"
                                                       "<td>Sent</td></tr></table>")
                                     << 2 << QStringList{"4 3 delivered"};
        QTest::newRow("empty answer") << QString() << 1 << QStringList{};
    }

    void reportPageCut()
    {
        QFETCH(QString, page);
        QFETCH(int, rowTexts);
        QFETCH(QStringList, applied);
        const QStringList rows = SendReportPage::rowTexts(page);
        QCOMPARE(rows.size(), rowTexts);
        QStringList got;
        for (const QString &text : rows) {
            const SendReportPage::Row row = SendReportPage::readRow(text);
            if (const auto key = row.outboxKey())
                got << QStringLiteral("%1 %2 %3").arg(*key).arg(row.sentId, row.delivered() ? "delivered" : "-");
        }
        QCOMPARE(got, applied);
    }

    void shownTexts()
    {
        using namespace SendReceive;
        const QList<QPair<QString, QString>> cases = {
            {logLine(QDateTime(QDate(2026, 3, 5), QTime(7, 4, 59)), QStringLiteral("Sending SMS to 0821234567")),
             "05/03/2026-07:04 - Sending SMS to 0821234567"},
            {logLine(QDateTime(QDate(2026, 12, 31), QTime(23, 0)), QStringLiteral("SMS sent - BatchID: 5000001")),
             "31/12/2026-23:00 - SMS sent - BatchID: 5000001"},
            {leftText(6, 4), "6 / 4"},
            {sentDateText(QStringLiteral("2026-12-06")), "06/Dec/2026"},
            {sentDateText(QStringLiteral("2026-05-01 00:00:00")), "01/May/2026"},
            {sentDateText(QString()), ""},
            {sentDateText(QStringLiteral("soon")), "soon"},
            {sentTimeText(QStringLiteral("09:05")), "09:05"},
            {sentTimeText(QStringLiteral("9:05:59")), "09:05"},
            {sentTimeText(QStringLiteral("2026-12-06 17:30:00")), "17:30"},
            {sentTimeText(QStringLiteral("2026-12-06T17:30")), "17:30"},
            {sentTimeText(QStringLiteral("noon")), "noon"},
        };
        for (const auto &[shown, expected] : cases)
            QCOMPARE(shown, expected);
    }

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

QTEST_MAIN(tst_sendReceiveRules)
#include "tst_sendReceiveRules.moc"
