#include "GatewayTestSupport.h"
#include "GuiTestSupport.h"

#include "gateway/GatewayClient.h"
#include "sendreceive/frmGetReplies.h"
#include "sendreceive/frmGetSendReport.h"
#include "sendreceive/frmSendMessages.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <memory>

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
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QStringList>("states"); // the two sent rows, then the three queued
        QTest::addColumn<QStringList>("boxes");  // titles of the boxes shown
        QTest::addColumn<QString>("status");     // lblStatus afterwards

        const QStringList untouched = {"77", "77", "queued", "queued", "queued"};
        const QStringList firstInDoubt = {"77", "77", "5000001", "in flight", "in flight"};
        const QStringList refused = {"77", "77", "5000001", "0", "0"};
        QTest::newRow("send/not listening") << "send" << "down" << untouched << QStringList{"ERROR"} << "ERROR";
        QTest::newRow("send/reset") << "send" << "drop" << firstInDoubt << QStringList{"ERROR"} << "ERROR";
        QTest::newRow("send/stall") << "send" << "hang" << firstInDoubt << QStringList{"ERROR"} << "ERROR";
        QTest::newRow("send/truncated") << "send" << "truncate" << firstInDoubt << QStringList{"ERROR"} << "ERROR";
        QTest::newRow("send/500") << "send" << "error500" << refused << QStringList{} << "Ready ...";
        QTest::newRow("send/not xml") << "send" << "not-xml" << refused << QStringList{} << "Ready ...";
        QTest::newRow("send/refused") << "send" << "refuse" << refused << QStringList{} << "Ready ...";
        for (const char *fault : {"down", "drop", "hang", "truncate", "error500", "not-xml"}) {
            QTest::addRow("report/%s", fault) << "report" << fault << untouched << QStringList{"DONE"}
                                              << "Parsing report rows 0 / 0 ...";
            QTest::addRow("replies/%s", fault) << "replies" << fault << untouched << QStringList{"DONE"}
                                               << "Ready ...";
        }
    }
    void windowUnderFault()
    {
        QFETCH(QString, window);
        QFETCH(QString, fault);
        GatewaySetup s;
        for (int i = 0; i < 2; ++i)
            OutboxRows::add({.number = QStringLiteral("0821110000"), .send = true, .eventId = QStringLiteral("77")});
        for (int i = 0; i < 3; ++i)
            OutboxRows::queue(QStringLiteral("082222000%1").arg(i));
        const QString type = window == "send" ? "SingleSMS" : window == "report" ? "SentID" : "replies";
        const auto applyFault = [&] {
            if (fault == "down")
                s.gateway.stop();
            else
                s.gateway.admin(QStringLiteral("/admin/fault?mode=%1&types=%2").arg(fault, type));
        };

        ScriptedMessageBoxes boxes;
        std::unique_ptr<QWidget> shown;
        const char *button = nullptr;
        if (window == "send") {
            shown = std::make_unique<frmSendMessages>();
            button = "cmdSend";
            // The first message goes out whole; the fault hits the two after it.
            if (fault == "down")
                applyFault();
            else
                s.gateway.admin(QStringLiteral("/admin/fault?mode=%1&customers=4,5").arg(fault));
        } else {
            shown = window == "report" ? std::unique_ptr<QWidget>(std::make_unique<frmGetSendReport>())
                                       : std::unique_ptr<QWidget>(std::make_unique<frmGetReplies>());
            button = window == "report" ? "cmdGetReport" : "cmdGetReplies";
            applyFault();
        }
        shown->show();
        QTest::mouseClick(shown->findChild<QPushButton *>(QString::fromLatin1(button)), Qt::LeftButton);

        QFETCH(QStringList, states);
        const QStringList found = OutboxRows::states();
        const QJsonArray accepted = fault == "down" ? QJsonArray() : adminArray(s.gateway, QStringLiteral("/admin/messages"));
        QSet<QString> keys;
        for (const QJsonValue &message : accepted)
            keys.insert(message[QStringLiteral("customerId")].toVariant().toString());
        qsizetype wrong = 0;
        for (qsizetype i = 0; i < std::max(found.size(), states.size()); ++i)
            wrong += found.value(i) != states.value(i);
        qInfo("RELIABILITY|window: %s|%s|3|%lld|%lld|%lld", qPrintable(window), qPrintable(fault),
              qint64(5 - OutboxRows::count()), qint64(accepted.size() - keys.size()), qint64(wrong));
        QCOMPARE(found, states);
        QTEST(boxes.titles(), "boxes");
        QTEST(shown->findChild<QLabel *>(QStringLiteral("lblStatus"))->text(), "status");
        QCOMPARE(QApplication::overrideCursor(), nullptr);
        QCOMPARE(Database::value(QStringLiteral("SELECT count(*) FROM SMSSend WHERE Delivered <> 0")).toInt(), 0);
    }
};

QTEST_MAIN(tst_faultWindows)
#include "tst_faultWindows.moc"
