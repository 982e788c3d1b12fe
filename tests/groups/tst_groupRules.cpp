#include "FailingWrites.h"
#include "FileBytes.h"
#include "GroupRows.h"
#include "QueryRows.h"
#include "TestSupport.h"

#include "contacts/ContactExport.h"
#include "contacts/ContactStore.h"
#include "data/Database.h"
#include "groups/GroupBook.h"

#include <QTest>

using namespace GroupRows;
using namespace Qt::StringLiterals;

namespace {

// Every membership as "group:last name"; one left behind by a deleted contact shows with no name.
QStringList links()
{
    return queryValues(
        u"SELECT g.Name || ':' || coalesce(c.LastName, '') FROM GroupLinking l JOIN Groups g USING (GroupID) "
        u"LEFT JOIN Clients c USING (ClientID) ORDER BY g.Name, coalesce(c.LastName, '')"_s);
}

} // namespace

class tst_groupRules : public QObject
{
    Q_OBJECT

private slots:
    void init() { home.freshDatabase(); }

    void namesAreUniqueTrimmedWithoutRegardToCase()
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
            {{u"Mary's"_s}, u" MARY'S"_s, false},
            {{u"Mary"_s}, u"Mary's"_s, true},
            {{}, u""_s, true},
            {{u""_s}, u"   "_s, false},
            {{u"\tSales"_s}, u"Sales"_s, true}, // only blanks are trimmed, not tabs
        };
        for (const Case &c : cases) {
            home.freshDatabase();
            for (const QString &name : c.stored)
                addGroup(name);
            const std::optional<qint64> created = GroupBook::create(c.typed);
            const QByteArray what = c.typed.toUtf8();
            QVERIFY2(created.has_value() == c.created, what.constData());
            QCOMPARE(queryCount(u"SELECT count(*) FROM Groups"_s), c.stored.size() + (c.created ? 1 : 0));
            if (created) // stored exactly as typed
                QCOMPARE(GroupBook::nameOf(*created), std::optional<QString>(c.typed));
        }
    }

    void deletingAGroupWithOrWithoutItsContacts()
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
            QCOMPARE(queryValues(u"SELECT Name FROM Groups"_s), QStringList{u"Other"_s});
            QCOMPARE(queryValues(u"SELECT LastName FROM Clients ORDER BY LastName"_s),
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

    void markedContactsBecomeMembersOnce()
    {
        const qint64 group = addGroup(u"Team"_s);
        const qint64 already = addClient(u"Already"_s);
        link(group, already);
        const qint64 cy = addClient(u"Cy"_s);
        const qint64 bea = addClient(u"Bea"_s);
        const qint64 nameless = Database::insert(u"INSERT INTO Clients (Mobile) VALUES ('085')"_s);
        const qint64 noNumber = addClient(u"NoNumber"_s, QVariant());
        // An older file's mark on a contact means nothing any more.
        Database::run(u"UPDATE Clients SET Selected = 1 WHERE ClientID = ?"_s, {cy});

        // All marks every contact with a number, named or not.
        QCOMPARE(GroupBook::withMobile(), (QList<qint64>{already, cy, bea, nameless}));
        QCOMPARE(GroupBook::addMembers(group, {bea, already, nameless, bea, noNumber + 100}), 2);
        QCOMPARE(links(), (QStringList{u"Team:"_s, u"Team:Already"_s, u"Team:Bea"_s}));
        QCOMPARE(GroupBook::addMembers(group, {}), 0);
        QCOMPARE(GroupBook::addMembers(group + 100, {cy}), 0);
        QCOMPARE(queryCount(u"SELECT count(*) FROM Clients WHERE Selected <> 0"_s), 1);

        // More contacts than one statement binds, all in one step.
        QList<qint64> many;
        for (int i = 0; i < 1200; ++i)
            many.append(addClient(u"M%1"_s.arg(i)));
        QCOMPARE(GroupBook::addMembers(group, many), 1200);
        // The last of them refused: none of the earlier statements' links stay.
        FailingWrites::refuseWhere(u"NoLink"_s, u"INSERT"_s, u"GroupLinking"_s,
                                   u"NEW.ClientID = %1"_s.arg(many.last()));
        QVERIFY_THROWS_EXCEPTION(AppError, GroupBook::addMembers(addGroup(u"Other"_s), many));
        QCOMPARE(queryCount(u"SELECT count(*) FROM GroupLinking"_s), 1203);
        FailingWrites::allow(u"NoLink"_s, u"GroupLinking"_s);

        // One contact at a time (F4): never twice, never to a missing group or contact.
        QVERIFY(GroupBook::addMember(group, cy));
        QVERIFY(!GroupBook::addMember(group, cy));
        QVERIFY(!GroupBook::addMember(group + 100, cy));
        QVERIFY(!GroupBook::addMember(group, cy + 100000));
    }

    // Namesakes in a group come in the order they were added, on either engine, whichever of their rows was
    // written last: in the group's list and in its export.
    void namesakesKeepTheirOrder()
    {
        const qint64 group = groupOfMembers({{u"Ann"_s, u"0821111111"_s}, {u"Ann"_s, u"0822222222"_s}});
        const Database::Table before = GroupBook::members(group);
        const qint64 first = before.rows.value(0).value(before.column(u"ClientID"_s)).toLongLong();
        QCOMPARE(ContactStore::save(first, *ContactStore::load(first)), first); // the server keeps it last now
        const Database::Table after = GroupBook::members(group);
        QStringList listed;
        for (const QVariantList &row : after.rows)
            listed << row.value(after.column(u"Mobile"_s)).toString();
        const QString path = home.path() + u"/members.csv"_s;
        QCOMPARE(ContactExport::exportTo(path, group), 2);
        const QList<QByteArray> exported = fileBytes(path).split('\n');
        QCOMPARE(listed, (QStringList{u"0821111111"_s, u"0822222222"_s}));
        QVERIFY2(exported.value(0).contains("0821111111") && exported.value(1).contains("0822222222"),
                 fileBytes(path).constData());
    }

private:
    TestHome home;
};

QTEST_GUILESS_MAIN(tst_groupRules)
#include "tst_groupRules.moc"
