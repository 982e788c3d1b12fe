#include "GatewayTestSupport.h"
#include "WindowFixture.h"

#include "compose/ComposerBlock.h"
#include "compose/frmSendToSingle.h"
#include "contacts/frmAddEditClients.h"
#include "contacts/frmSearchClients.h"
#include "gateway/OutboxSender.h"
#include "gateway/RepliesRetrieval.h"
#include "groups/frmAddGroups.h"

#include <QLineEdit>
#include <QTableView>

using namespace Qt::StringLiterals;

// Texts holding everything that means something to SQL, to a URL or to a shell, and letters outside ASCII, go
// through the windows into the database and to the gateway and come back byte for byte.
class tst_injection : public QObject, private WindowFixture
{
    Q_OBJECT

private slots:
    void init() { start(); }
    void cleanup() { finish(); }

    void hostileTextsStayData_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("quotes") << u"O'Brien \"Ace\" ''"_s;
        QTest::newRow("statement") << u"x'); DROP TABLE Clients; --"_s;
        QTest::newRow("url") << u"R&D #1 + 50% off? a=b&c=%20"_s;
        QTest::newRow("backslash") << u"C:\\new\\table \\' \\\""_s;
        QTest::newRow("letters") << u"Zoë Ñandú Łódź Ærøskøbing 東京"_s;
        QTest::newRow("wildcards") << u"%_* LIKE '%'"_s;
    }
    void hostileTextsStayData()
    {
        QFETCH(QString, text);
        GatewayProcess gateway;
        QVERIFY2(gateway.isRunning(), qPrintable(gateway.output()));
        gateway.use();

        // A group and a contact, typed into their windows.
        open(new frmAddGroups);
        child<QLineEdit>("txtName")->setText(text);
        click("cmdSave");
        QCOMPARE(queryValues(u"SELECT Name FROM Groups"_s), QStringList{text});
        Database::insert(u"INSERT INTO Clients (LastName, FirstName, Mobile) VALUES ('Decoy', 'Dee', '0820000000')"_s);
        open(new frmAddEditClients);
        for (const char *box : {"txtLastname", "txtFirstname", "txtCompany", "txtAddress1"})
            child<QLineEdit>(box)->setText(text);
        child<QLineEdit>("txtTelWork")->setText(text);
        click("cmdSave");
        QVERIFY2(boxes->shown().isEmpty(), qPrintable(boxes->titles().join(',')));
        QCOMPARE(queryValues(u"SELECT LastName, FirstName, Company, Address1, TelWork FROM Clients "
                             u"WHERE LastName <> 'Decoy'"_s),
                 QStringList(5, text));

        // Searching for it finds that contact and no other.
        open(new frmSearchClients);
        child<QLineEdit>("txtCriteria")->setText(text);
        click("cmdSearch");
        const QAbstractItemModel *found = child<QTableView>("grdResults")->model();
        QCOMPARE(found->rowCount(), 1);
        QCOMPARE(found->index(0, 1).data().toString(), text);

        // A message, queued from its window and sent: the gateway received exactly these bytes.
        open(new frmSendToSingle);
        child<QLineEdit>("txtCellphone")->setText(u"0821234567"_s);
        window->findChild<ComposerBlock *>()->setBody(1, text);
        click("cmdSend");
        QCOMPARE(queryValues(u"SELECT Message FROM SMSSend"_s), QStringList{text});
        ScriptedCycleHost host;
        QVERIFY(OutboxSender(host).SendOutbox());
        const QJsonArray accepted = adminArray(gateway, u"/admin/messages"_s);
        QCOMPARE(accepted.size(), 1);
        QCOMPARE(accepted[0]["message"].toString().toUtf8(), text.toUtf8());
        const QStringList wire = takeRequests(gateway).filter(u"Type=SingleSMS&"_s);
        QCOMPARE(wire.size(), 1);
        QVERIFY2(wire[0].toLatin1().contains("&Message=" + QUrl::toPercentEncoding(text) + "&CustomerID="),
                 qPrintable(wire[0]));

        // A reply with that identifier and text comes back as it was.
        gateway.admin(
            u"/admin/reply?user=demo&from=0821234567&id=%1&text=%1&sentmessage=%1"_s.arg(encodedForAdmin(text)));
        RepliesRetrieval(host).FetchReplies();
        QCOMPARE(queryValues(u"SELECT IncomingID, Message, SentMessage FROM SMSReplies"_s), QStringList(3, text));
        QCOMPARE(host.titles, QStringList());
    }
};

QTEST_MAIN(tst_injection)
#include "tst_injection.moc"
