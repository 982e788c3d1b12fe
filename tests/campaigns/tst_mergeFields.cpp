#include "ContactRows.h"
#include "GroupRows.h"
#include "OutboxColumn.h"
#include "TestSupport.h"

#include "campaigns/MergeFields.h"
#include "campaigns/MessagePreview.h"
#include "campaigns/OptOuts.h"
#include "campaigns/SendingWindow.h"
#include "compose/GroupQueue.h"
#include "data/Database.h"
#include "outbox/OutboxWriter.h"

#include <QTest>

using namespace Qt::StringLiterals;

// A preview's messages, parts, members pushed into Unicode or an extra part, left out, and unresolved fields.
static QList<int> counts(const MessagePreview::Preview &preview)
{
    return {preview.messages, preview.totalParts, preview.pushed, preview.leftOut, preview.unresolved};
}

class tst_mergeFields : public QObject
{
    Q_OBJECT

private slots:
    void fieldsAreFilled_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("unresolved");
        QTest::newRow("plain") << u"No fields {here"_s << u"No fields {here"_s << QStringList();
        QTest::newRow("first name") << u"Hi {FirstName}!"_s << u"Hi Thandi!"_s << QStringList();
        QTest::newRow("any case") << u"{lastname}/{ASSNO}"_s << u"Dube/A17"_s << QStringList();
        QTest::newRow("value wins over fallback") << u"Hi {FirstName|Customer}"_s << u"Hi Thandi"_s << QStringList();
        QTest::newRow("fallback for blank")
            << u"Dear {Company|Sir or Madam}"_s << u"Dear Sir or Madam"_s << QStringList();
        QTest::newRow("empty fallback") << u"Hi {Initials|}."_s << u"Hi ."_s << QStringList();
        QTest::newRow("blank, no fallback")
            << u"Dear {Company}"_s << u"Dear {Company}"_s << QStringList{u"{Company}"_s};
        QTest::newRow("unknown field") << u"{Nickname} and {FirstName}"_s << u"{Nickname} and Thandi"_s
                                       << QStringList{u"{Nickname}"_s};
    }

    void fieldsAreFilled()
    {
        QFETCH(QString, body);
        QFETCH(QString, text);
        QFETCH(QStringList, unresolved);
        const QHash<QString, QString> values = {
            {u"firstname"_s, u"Thandi"_s}, {u"lastname"_s, u"Dube"_s}, {u"assno"_s, u"A17"_s}, {u"company"_s, u"  "_s}};
        const MergeFields::Resolved resolved = MergeFields::resolve(body, values);
        QCOMPARE(resolved.text, text);
        QCOMPARE(resolved.unresolved, unresolved);
    }

    // Per member at queue time: a missing first name takes the fallback; without a fallback nothing at all
    // is queued and the error names the field and the member.
    void groupQueueFillsOrBlocks()
    {
        TestHome home;
        const qint64 group = GroupRows::groupOfMembers({{u"Thandi"_s, u"0825550001"_s}, {u""_s, u"0825550002"_s}});
        GroupQueue::queue(group, {u"Hi {FirstName|Customer}, pay by Friday"_s});
        QCOMPARE(outboxColumn(u"Message"_s),
                 QStringList({u"Hi Thandi, pay by Friday"_s, u"Hi Customer, pay by Friday"_s}));

        try {
            GroupQueue::queue(group, {u"Hi {FirstName}"_s});
            QFAIL("queued with an unresolved field");
        } catch (const UnresolvedField &error) {
            QVERIFY2(error.description().contains(u"{FirstName}"_s) && error.description().contains(u"0825550002"_s),
                     qPrintable(error.description()));
        }
        QCOMPARE(OutboxRows::count(), 2);
    }

    // Per member: the filled text, its encoding and parts; members whose data pushes the message into
    // Unicode or an extra part are counted, opted-out members left out, unresolved fields counted.
    void previewPerRecipient()
    {
        TestHome home;
        const qint64 group = GroupRows::groupOfMembers({{u"Thandi"_s, u"0825550001"_s},
                                                        {u"Zo\u00eb"_s, u"0825550002"_s},
                                                        {u"Nomvuyiselo Anathi Precious-Lee"_s, u"0825550003"_s},
                                                        {u"Opted"_s, u"0825550004"_s}});
        OptOutList::add(u"0825550004"_s, OptOutList::FromOperator);
        const QString tail = QString(135, u'x');
        const MessagePreview::Preview preview =
            MessagePreview::forGroup(group, {u"Hi {FirstName|friend}, "_s + tail, u"{Company}"_s}, false);
        QStringList seen;
        for (const MessagePreview::Row &row : preview.rows)
            seen << u"%1 %2 %3 %4"_s.arg(row.number).arg(row.parts.parts).arg(row.parts.unicode).arg(row.note);
        QCOMPARE(seen,
                 QStringList({u"0825550003 2 0 an extra part by its data"_s, u"0825550003 1 0 no value: {Company}"_s,
                              u"0825550004 1 0 opted out: left out"_s, u"0825550004 1 0 opted out: left out"_s,
                              u"0825550001 1 0 "_s, u"0825550001 1 0 no value: {Company}"_s,
                              u"0825550002 3 1 Unicode by its data"_s, u"0825550002 1 0 no value: {Company}"_s}));
        QCOMPARE(counts(preview), QList<int>({3, 6, 2, 1, 3}));
    }

    // Numbers no message is sent to (invalid, no cellphone's, another country's) are pointed out; they still count as
    // messages.
    void previewMarksNumbersThatAreNoCellphones()
    {
        TestHome home;
        const qint64 group = GroupRows::addGroup(u"Members"_s);
        const QStringList numbers = {u"+27 82 555 0001"_s, u"011 123 4567"_s,   u"0800 123 456"_s, u"MTN"_s,
                                     u"08255500"_s,        u"+44 7911 123456"_s};
        for (int i = 0; i < numbers.size(); ++i)
            GroupRows::link(group, GroupRows::addClient(u"Member %1"_s.arg(i), numbers.at(i)));
        const MessagePreview::Preview preview = MessagePreview::forGroup(group, {u"Hi"_s}, false);
        QStringList seen;
        for (const MessagePreview::Row &row : preview.rows)
            seen << row.number + u'|' + row.numberNote;
        QCOMPARE(seen, (QStringList{u"+27 82 555 0001|"_s, u"011 123 4567|not a cellphone number"_s,
                                    u"0800 123 456|not a cellphone number"_s, u"MTN|invalid number"_s,
                                    u"08255500|invalid number"_s, u"+44 7911 123456|not a South African number"_s}));
        QCOMPARE(std::pair(preview.badNumbers, preview.messages), std::pair(5, 6));
    }

    // One addressee: a contact's fields or, for a number typed by hand, only the fallbacks; the notes and
    // counts as for a group.
    void previewForOneNumber_data()
    {
        QTest::addColumn<bool>("contact");
        QTest::addColumn<QString>("body");
        QTest::addColumn<bool>("marketing");
        QTest::addColumn<QString>("seen");      // text|parts|unicode|note
        QTest::addColumn<QList<int>>("counts"); // messages, parts, pushed, left out, unresolved
        QTest::newRow("contact's name") << true << u"Hi {FirstName}"_s << false
                                        << u"Hi Zo\u00eb|1|1|Unicode by its data"_s << QList<int>{1, 1, 1, 0, 0};
        QTest::newRow("typed, fallback") << false << u"Hi {FirstName|friend}"_s << false << u"Hi friend|1|0|"_s
                                         << QList<int>{1, 1, 0, 0, 0};
        QTest::newRow("typed, no fallback")
            << false << u"Hi {FirstName}"_s << false << u"Hi {FirstName}|1|0|no value: {FirstName}"_s
            << QList<int>{0, 0, 0, 0, 1};
        QTest::newRow("blank field") << true << u"{Company}"_s << false << u"{Company}|1|0|no value: {Company}"_s
                                     << QList<int>{0, 0, 0, 0, 1};
        QTest::newRow("marketing footer")
            << true << u"Sale, {LastName|x}"_s << true << u"Sale, Dube\nAcme: Reply STOP to opt out|1|0|"_s
            << QList<int>{1, 1, 0, 0, 0};
    }

    void previewForOneNumber()
    {
        QFETCH(bool, contact);
        QFETCH(QString, body);
        QFETCH(bool, marketing);
        QFETCH(QString, seen);
        QFETCH(QList<int>, counts);
        TestHome home;
        CampaignSettings::saveSenderName(u"Acme"_s);
        const qint64 client =
            ContactRows::add({{"FirstName", u"Zo\u00eb"_s}, {"LastName", u"Dube"_s}, {"Mobile", u"0825550001"_s}});
        const MessagePreview::Preview preview =
            MessagePreview::forContact(contact ? client : 0, u" 0825550001 "_s, {body, u"  "_s}, marketing);
        QCOMPARE(preview.rows.size(), 1);
        const MessagePreview::Row &row = preview.rows.first();
        QCOMPARE(row.number, u"0825550001"_s);
        QCOMPARE(u"%1|%2|%3|%4"_s.arg(row.text).arg(row.parts.parts).arg(row.parts.unicode).arg(row.note), seen);
        QCOMPARE(::counts(preview), counts);
        OptOutList::add(u"0825550001"_s, OptOutList::FromOperator);
        const MessagePreview::Preview optedOut = MessagePreview::forContact(client, u"0825550001"_s, {body}, marketing);
        QCOMPARE(std::pair(optedOut.leftOut, optedOut.messages), std::pair(1, 0));
        QCOMPARE(optedOut.rows.first().note, u"opted out: left out"_s);
    }
};

QTEST_GUILESS_MAIN(tst_mergeFields)
#include "tst_mergeFields.moc"
