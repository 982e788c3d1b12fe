#include "AppSendRuns.h"
#include "GatewayTestSupport.h"
#include "GuiTestSupport.h"

#include "gateway/GatewayClient.h"
#include "sendreceive/frmGetReplies.h"
#include "sendreceive/frmGetSendReport.h"
#include "sendreceive/frmSendMessages.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

// The three Send/Receive windows against each gateway fault: what the operator is shown and what the
// outbox holds afterwards.
class tst_faultWindows : public QObject
{
    Q_OBJECT

private slots:
    void init() { GatewayClient::setDefaultTimeout(700); }
    void cleanup() { GatewayClient::setDefaultTimeout(GatewayClient::DefaultTimeoutMs); }

    void windowUnderFault_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QStringList>("states"); // the two sent rows, then the three queued
        QTest::addColumn<QStringList>("boxes");  // titles of the boxes shown
        QTest::addColumn<QString>("status");     // lblStatus afterwards, as a pattern

        const QStringList untouched = {"77", "77", "queued", "queued", "queued"};
        const QStringList firstInDoubt = {"77", "77", "5000001", "in flight", "in flight"};
        const QStringList refused = {"77", "77", "5000001", "0", "0"};
        // The send window ends with what its run did and which step failed with what words: a step that found no
        // gateway, messages without an answer, messages refused. (Each fault's words: tst_runSummary, tst_faults.)
        const QString gateway = u"The gateway at 127\\.0\\.0\\.1:\\d+ "_s,
                      ready = u"Ready \\.\\.\\. 1 sent, 2 refused "_s;
        const QString noAnswer = u"1 sent, 2 without an answer — Send: "_s + gateway;
        QTest::newRow("send/not listening")
            << "down" << untouched << QStringList{"ERROR"}
            << u"3 left queued — Replies, Credits: "_s + gateway + u"could not be reached: .+"_s;
        QTest::newRow("send/reset") << "drop" << firstInDoubt << QStringList{"ERROR"}
                                    << noAnswer + u"broke off the exchange before the whole answer arrived: .+"_s;
        QTest::newRow("send/500") << "error500" << refused << QStringList{}
                                  << ready + u"\\(Answer without a batch number: Runtime Error\\)"_s;
        // The two report windows never call a failed request done: their status says what failed, and nothing is
        // stored.
        QTest::addRow("report/not listening")
            << "down" << untouched << QStringList{}
            << u"Getting status reports failed: "_s + gateway + u"could not be reached: .+"_s;
        QTest::addRow("replies/stall") << "hang" << untouched << QStringList{}
                                       << u"Getting replies failed: "_s + gateway
                                              + u"did not answer within 0\\.7 seconds\\."_s;
        QTest::addRow("report/not-xml")
            << "not-xml" << untouched << QStringList{}
            << u"Getting status reports failed: The gateway's answer is not a report page: Service Unavailable"_s;
        QTest::addRow("replies/not-xml")
            << "not-xml" << untouched << QStringList{}
            << u"Getting replies failed: The gateway's answer is not XML: Service Unavailable"_s;
    }
    void windowUnderFault()
    {
        const QString window = QString::fromLatin1(QTest::currentDataTag()).section(u'/', 0, 0);
        QFETCH(QString, fault);
        GatewaySetup s;
        for (int i = 0; i < 2; ++i)
            OutboxRows::add({.number = QStringLiteral("0821110000"), .send = true, .eventId = QStringLiteral("77")});
        queueNumbered(QStringLiteral("08222200"), 3);
        // The send window's first message goes out whole: the fault hits the two after it.
        const QString target = window == "send"     ? "customers=4,5"
                               : window == "report" ? "types=SentID"
                                                    : "types=replies";
        if (fault == "down")
            s.gateway.stop();
        else
            s.gateway.admin(QStringLiteral("/admin/fault?mode=%1&%2").arg(fault, target));

        ScriptedMessageBoxes boxes;
        std::unique_ptr<QWidget> shown;
        if (window == "send")
            shown = std::make_unique<frmSendMessages>();
        else if (window == "report")
            shown = std::make_unique<frmGetSendReport>();
        else
            shown = std::make_unique<frmGetReplies>();
        const char *button = window == "send" ? "cmdSend" : window == "report" ? "cmdGetReport" : "cmdGetReplies";
        QFETCH(QString, status);
        const QRegularExpression pattern(u"^"_s + status + u"$"_s);
        if (window != "send")
            QTest::ignoreMessage(QtWarningMsg, pattern); // the failure is logged as well
        shown->show();
        QTest::mouseClick(shown->findChild<QPushButton *>(QString::fromLatin1(button)), Qt::LeftButton);

        QFETCH(QStringList, states);
        const QStringList found = OutboxRows::states();
        const QStringList accepted = fault == "down" ? QStringList() : acceptedCustomers(s.gateway);
        qsizetype wrong = 0;
        for (qsizetype i = 0; i < std::max(found.size(), states.size()); ++i)
            wrong += found.value(i) != states.value(i);
        qInfo("RELIABILITY|window: %s|%s|3|%lld|%lld|%lld", qPrintable(window), qPrintable(fault),
              qint64(5 - OutboxRows::count()),
              qint64(accepted.size() - QSet<QString>(accepted.begin(), accepted.end()).size()), qint64(wrong));
        QCOMPARE(found, states);
        QTEST(boxes.titles(), "boxes");
        const QString shownStatus = shown->findChild<QLabel *>(QStringLiteral("lblStatus"))->text();
        QVERIFY2(pattern.match(shownStatus).hasMatch(), qPrintable(shownStatus));
        QCOMPARE(QApplication::overrideCursor(), nullptr);
        QCOMPARE(deliveries().count(QStringLiteral("not delivered/")), 5);
        QCOMPARE(Database::value(QStringLiteral("SELECT count(*) FROM SMSReplies")).toInt(), 0);
    }
};

QTEST_MAIN(tst_faultWindows)
#include "tst_faultWindows.moc"
