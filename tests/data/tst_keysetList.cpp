#include "TestSupport.h"

#include "contacts/ContactListing.h"
#include "data/AppError.h"
#include "data/Database.h"
#include "data/KeysetList.h"

#include <QSqlQuery>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

qint64 addContact(const QVariant &assNo, const QVariant &firstName = {})
{
    return Database::insert(u"INSERT INTO Clients (AssNo, FirstName, LastName) VALUES (?, ?, 'X')"_s,
                            {assNo, firstName});
}

// Codes with blanks, case and accents, ties, and contacts without one.
void addContacts()
{
    const QList<QVariant> codes{u"b"_s,   QVariant(), u"A1"_s, u"a1"_s,  u"Émile"_s, u"10"_s, u""_s,
                                u"zed"_s, QVariant(), u"e"_s,  u"Zed"_s, u"2"_s,     u"a1"_s, QVariant()};
    const QList<QVariant> names{u"Piet"_s, QVariant(), u"anna"_s, u"Ánna"_s, u"Zoë"_s};
    Database::Transaction transaction;
    for (int round = 0; round < 4; ++round)
        for (int i = 0; i < codes.size(); ++i)
            addContact(codes.at(i), names.at((i + round) % names.size()));
    transaction.commit();
}

KeysetList::Order orderOf(const QString &column, bool descending)
{
    KeysetList::Order order = ContactListing::orderBy(column);
    order.descending = descending;
    return order;
}

// The keys as one statement reading the whole table in the same order gives them.
QList<qint64> fullRead(const KeysetList::Order &order)
{
    const QString direction = order.descending ? u" DESC"_s : QString();
    QString orderBy;
    if (!order.column.isEmpty())
        orderBy = order.column + (order.names ? u" COLLATE Names"_s : QString()) + direction + u", "_s;
    QSqlQuery query = Database::run(u"SELECT ClientID FROM Clients ORDER BY "_s + orderBy + u"ClientID"_s + direction);
    QList<qint64> keys;
    while (query.next())
        keys << query.value(0).toLongLong();
    return keys;
}

QList<qint64> readAll(KeysetList &list, int pageRows)
{
    while (!list.complete())
        list.readMore(pageRows);
    QList<qint64> keys;
    for (int row = 0; row < list.count(); ++row)
        keys << list.keyAt(row);
    return keys;
}

ContactListing listingOf(const KeysetList::Order &order)
{
    ContactListing listing;
    listing.setOrder(order);
    return listing;
}

} // namespace

class tst_keysetList : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        home = std::make_unique<TestHome>();
        addContacts();
    }
    void cleanup() { home.reset(); }

    // Pages of seven rows cross the ties, the boundary between contacts with
    // and without a code, and the end of the table. The list was showing
    // another order first: the order chosen starts at its own first row.
    void pagesShowTheRowsOfAFullRead_data()
    {
        QTest::addColumn<QString>("column");
        QTest::addColumn<bool>("descending");
        QTest::newRow("code") << u"AssNo"_s << false;
        QTest::newRow("code, descending") << u"AssNo"_s << true;
        QTest::newRow("first name, no index") << u"FirstName"_s << false;
        QTest::newRow("first name, descending") << u"FirstName"_s << true;
        QTest::newRow("mark, never empty") << u"Selected"_s << false;
        QTest::newRow("key alone, newest first") << u"ClientID"_s << true;
    }

    void pagesShowTheRowsOfAFullRead()
    {
        QFETCH(QString, column);
        QFETCH(bool, descending);
        const KeysetList::Order order = orderOf(column, descending);
        ContactListing listing = listingOf(orderOf(u"LastName"_s, !descending));
        listing.readMore(25);
        listing.setOrder(order);
        QCOMPARE(listing.count(), 0);
        QCOMPARE(readAll(listing, 7), fullRead(order));
        QCOMPARE(listing.readMore(7), 0);
        QVERIFY(listing.complete());
    }

    void firstAndLastRowsCarryTheirValues()
    {
        ContactListing listing = listingOf(orderOf(u"AssNo"_s, false));
        QCOMPARE(listing.readMore(1), 1);
        const int code = int(ContactListing::columns().indexOf(u"AssNo"_s));
        QVERIFY(listing.value(0, code).isNull()); // contacts without a code come first
        QVERIFY(!listing.complete());
        readAll(listing, 100);
        QCOMPARE(listing.value(listing.count() - 1, code).toString().toLower(), u"zed"_s);
        QCOMPARE(listing.value(listing.count(), code), QVariant());
        QCOMPARE(listing.size().rows, qint64(listing.count()));
        QVERIFY(listing.size().exact);
    }

    // Reading on from where the list stopped shows the table as it is now
    // beyond that point; reading again from the top shows all of it.
    void rowsAddedOrDeletedWhileTheListIsOpen()
    {
        const KeysetList::Order order = orderOf(u"AssNo"_s, false);
        ContactListing listing = listingOf(order);
        listing.readMore(20);
        const QList<qint64> before = fullRead(order);
        const qint64 shownDeleted = before.at(15);
        const qint64 unreadDeleted = before.at(30);
        Database::run(u"DELETE FROM Clients WHERE ClientID IN (?, ?)"_s, {shownDeleted, unreadDeleted});
        const qint64 beforeTheShown = addContact(u"0"_s);
        const qint64 atTheEnd = addContact(u"zzz"_s);

        const QList<qint64> keys = readAll(listing, 9);
        QCOMPARE(keys.mid(0, 20), before.mid(0, 20));
        QVERIFY(listing.value(15, 0).isNull()); // deleted after it was read: shown blank
        QVERIFY(!keys.contains(unreadDeleted));
        QVERIFY(!keys.contains(beforeTheShown));
        QCOMPARE(keys.last(), atTheEnd);

        listing.clear();
        QCOMPARE(readAll(listing, 9), fullRead(order));
    }

    void aRowFarDownIsReachedByItsKey()
    {
        const KeysetList::Order order = orderOf(u"AssNo"_s, true);
        const QList<qint64> expected = fullRead(order);
        ContactListing listing = listingOf(order);
        QCOMPARE(listing.readUntil(expected.at(50), 1000), 50);
        QCOMPARE(listing.readUntil(expected.at(3), 1000), 3);
        QCOMPARE(listing.readUntil(-1, 1000), -1); // no such contact: read to the end
        QVERIFY(listing.complete());
    }

    void aFailedReadIsAnErrorAndTheListStaysAsItWas()
    {
        KeysetList missing(u"NoSuchTable"_s, {u"AssNo"_s}, u"ClientID"_s, orderOf(u"AssNo"_s, false));
        QVERIFY_THROWS_EXCEPTION(AppError, missing.readMore(10));
        QCOMPARE(missing.count(), 0);
    }

private:
    std::unique_ptr<TestHome> home;
};

QTEST_GUILESS_MAIN(tst_keysetList)
#include "tst_keysetList.moc"
