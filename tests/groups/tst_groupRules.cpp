#include "FailingWrites.h"
#include "GroupRows.h"
#include "TestSupport.h"

#include "data/Database.h"
#include "groups/GroupBook.h"

#include <QSqlQuery>
#include <QTest>

using namespace GroupRows;
using namespace Qt::StringLiterals;

namespace {

// One text per row of a statement, in its order.
QStringList texts(const QString &sql, const QVariantList &values = {})
{
    QStringList result;
    QSqlQuery query = Database::run(sql, values);
    while (query.next())
        result << query.value(0).toString();
    return result;
}

// Every membership as "group:last name"; one left behind by a deleted contact shows with no name.
QStringList links()
{
    return texts(u"SELECT g.Name || ':' || coalesce(c.LastName, '') FROM GroupLinking l JOIN Groups g USING (GroupID) "
                 u"LEFT JOIN Clients c USING (ClientID) ORDER BY g.Name, coalesce(c.LastName, '')"_s);
}

} // namespace

class tst_groupRules : public QObject
{
    Q_OBJECT

private slots:
    void init() { home.freshDatabase(); }

    void namesAreUniqueTrimmedWithoutRegardToCase();
    void deletingAGroupWithOrWithoutItsContacts();
    void markedContactsBecomeMembersOnceAndMarksAreCleared();

private:
    TestHome home;
};

void tst_groupRules::namesAreUniqueTrimmedWithoutRegardToCase()
{
    struct Case
    {
        QStringList stored;
        QString typed;
        bool created;
    };
    const Case cases[] = {
        {{u"SALES"_s}, u"  sales "_s, false},
        {{u"SALES"_s}, u"Sales Team"_s, true},
        {{u"North "_s}, u"north"_s, false},
        {{u"émile"_s}, u"ÉMILE"_s, false},
        {{u"Émile"_s}, u"Emile"_s, true},
        {{u"Straße"_s}, u"STRASSE"_s, false},
        {{}, u"Mary's"_s, true},
        {{u"Mary's"_s}, u" MARY'S"_s, false},
        {{u"Mary"_s}, u"Mary's"_s, true},
        {{}, u""_s, true},
        {{u""_s}, u"   "_s, false},
        {{u"A\tB"_s}, u"a\tb"_s, false},
        {{u"\tSales"_s}, u"Sales"_s, true}, // only blanks are trimmed, not tabs
    };
    for (const Case &c : cases) {
        home.freshDatabase();
        for (const QString &name : c.stored)
            addGroup(name);
        const std::optional<qint64> created = GroupBook::create(c.typed);
        const QByteArray what = c.typed.toUtf8();
        QVERIFY2(created.has_value() == c.created, what.constData());
        QCOMPARE(Database::value(u"SELECT count(*) FROM Groups"_s).toInt(), c.stored.size() + (c.created ? 1 : 0));
        if (created) // stored exactly as typed
            QCOMPARE(GroupBook::nameOf(*created), std::optional<QString>(c.typed));
    }
}

void tst_groupRules::deletingAGroupWithOrWithoutItsContacts()
{
    for (const bool withContacts : {false, true}) {
        home.freshDatabase();
        const qint64 marys = addGroup(u"Mary's"_s), other = addGroup(u"Other"_s);
        const qint64 ann = addClient(u"Ann"_s), bob = addClient(u"Bob"_s), cy = addClient(u"Cy"_s);
        addClient(u"Di"_s);
        link(marys, ann);
        link(marys, bob);
        link(other, ann); // also in another group
        link(other, cy);
        GroupBook::remove(marys, withContacts);
        QCOMPARE(texts(u"SELECT Name FROM Groups"_s), QStringList{u"Other"_s});
        QCOMPARE(texts(u"SELECT LastName FROM Clients ORDER BY LastName"_s),
                 (withContacts ? QStringList{"Cy", "Di"} : QStringList{"Ann", "Bob", "Cy", "Di"}));
        QCOMPARE(links(), (withContacts ? QStringList{"Other:Cy"} : QStringList{"Other:Ann", "Other:Cy"}));
    }
    // A failing step leaves everything as it was.
    home.freshDatabase();
    const qint64 group = addGroup(u"Kept"_s);
    link(group, addClient(u"Ann"_s));
    FailingWrites::refuse(u"NoGroupDelete"_s, u"DELETE"_s, u"Groups"_s);
    QVERIFY_THROWS_EXCEPTION(AppError, GroupBook::remove(group, true));
    QCOMPARE(links(), QStringList{u"Kept:Ann"_s});
}

void tst_groupRules::markedContactsBecomeMembersOnceAndMarksAreCleared()
{
    const qint64 group = addGroup(u"Team"_s);
    link(group, addClient(u"Already"_s));
    const qint64 cy = addClient(u"Cy"_s);
    addClient(u"Bea"_s);
    Database::insert(u"INSERT INTO Clients (Mobile) VALUES ('085')"_s); // no name: marked by All all the same
    addClient(u"NoNumber"_s, QVariant());

    GroupBook::markAll(true);
    GroupBook::setSelected(cy, false);
    QCOMPARE(GroupBook::addMarked(group), 2);
    QCOMPARE(links(), (QStringList{u"Team:"_s, u"Team:Already"_s, u"Team:Bea"_s}));
    QCOMPARE(Database::value(u"SELECT count(*) FROM Clients WHERE Selected <> 0"_s).toInt(), 0);

    // One contact at a time (F4): never twice, never to a missing group or contact.
    QVERIFY(GroupBook::addMember(group, cy));
    QVERIFY(!GroupBook::addMember(group, cy));
    QVERIFY(!GroupBook::addMember(group + 100, cy));
    QVERIFY(!GroupBook::addMember(group, cy + 100));
    // Marks are cleared even when there is no group to add them to.
    GroupBook::markAll(true);
    QCOMPARE(GroupBook::addMarked(group + 100), 0);
    QCOMPARE(Database::value(u"SELECT count(*) FROM GroupLinking"_s).toInt(), 4);
    QCOMPARE(Database::value(u"SELECT count(*) FROM Clients WHERE Selected <> 0"_s).toInt(), 0);
}

QTEST_GUILESS_MAIN(tst_groupRules)
#include "tst_groupRules.moc"
