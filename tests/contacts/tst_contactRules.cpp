#include "ContactRows.h"
#include "GroupRows.h"
#include "QueryRows.h"
#include "TestSupport.h"

#include "FailingWrites.h"
#include "contacts/CellphoneClass.h"
#include "contacts/ContactCleanup.h"
#include "contacts/ContactListing.h"
#include "contacts/ContactSearch.h"
#include "contacts/CustomerImport.h"

#include <QSqlQuery>
#include <QTest>

#include <algorithm>

using ContactRows::add;
using namespace Qt::StringLiterals;

using Columns = std::array<bool, ContactSearch::NameColumnCount>;
Q_DECLARE_METATYPE(ContactSearch::Field)
Q_DECLARE_METATYPE(Columns)
Q_DECLARE_METATYPE(CellphoneClass::Shading)

// The contact rules that need no window: search, cellphone classification, clean-ups.
class tst_contactRules : public QObject
{
    Q_OBJECT

private slots:
    void init() { home.freshDatabase(); }

    void searchFindsByWordsColumnsEmailAndPhones_data()
    {
        using ContactSearch::Field;
        QTest::addColumn<Field>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<Columns>("columns");
        QTest::addColumn<QStringList>("found");
        const Columns all{true, true, true, true};
        const QStringList everyone{"Adams", "Émile", "O'Brien", "smith", "Zulu"};
        QTest::newRow("two words: either") << Field::Names << u"jo smi"_s << all << QStringList{"Adams", "smith"};
        QTest::newRow("letter outside ASCII") << Field::Names << u"émi"_s << all << QStringList{"Émile"};
        QTest::newRow("quote is a character") << Field::Names << u"o'brien"_s << all << QStringList{"O'Brien"};
        QTest::newRow("empty text: everyone") << Field::Names << QString() << all << everyone;
        QTest::newRow("no boxes: everyone") << Field::Names << u"jo"_s << Columns{} << everyone;
        QTest::newRow("only checked columns")
            << Field::Names << u"ann"_s << Columns{false, false, false, true} << QStringList{};
        QTest::newRow("first names box") << Field::Names << u"ann"_s << Columns{false, false, true, false}
                                         << QStringList{"smith"};
        // A leading blank makes an empty word: it matches every contact whose checked column holds something.
        QTest::newRow("empty word") << Field::Names << u" jo"_s << Columns{true, false, false, false}
                                    << QStringList{"Adams", "O'Brien"};
        QTest::newRow("e-mail, trailing blank kept") << Field::EMail << u"n "_s << all << QStringList{"O'Brien"};
        QTest::newRow("e-mail, leading blank dropped")
            << Field::EMail << u"  N"_s << all << QStringList{"Adams", "O'Brien"};
        QTest::newRow("082 in any of four columns")
            << Field::Phones << u"082"_s << all << QStringList{"Adams", "Émile", "smith", "Zulu"};
        QTest::newRow("blanks inside stored numbers count")
            << Field::Phones << u"0821234567"_s << all << QStringList{"Adams"};
    }

    void searchFindsByWordsColumnsEmailAndPhones()
    {
        QFETCH(ContactSearch::Field, field);
        QFETCH(QString, text);
        QFETCH(Columns, columns);
        QFETCH(QStringList, found);
        const QStringList fields{"LastName", "FirstName", "Salute", "Initials", "EMail", "Mobile"};
        for (const QStringList &values :
             {QStringList{"Adams", "Joan", "Ms", "J", "joan@mail.com", "0821234567"},
              QStringList{"O'Brien", "Sean", "Mr", "S", "sean obrien@mail.com", "0731234567"}}) {
            ContactStore::Contact contact;
            for (qsizetype i = 0; i < fields.size(); ++i)
                contact.insert(fields.at(i), values.at(i));
            add(contact);
        }
        add({{"LastName", u"smith"_s}, {"FirstName", u"Ann"_s}, {"TelWork", u"011 082 0000"_s}});
        add({{"LastName", u"Zulu"_s}, {"FirstName", u"Bongani"_s}, {"TelHome", u"0820000000"_s}});
        add({{"LastName", u"Émile"_s}, {"Fax", u"(082) 123"_s}, {"Mobile", u"082 123 4567"_s}});

        ContactSearch::Criteria criteria;
        criteria.field = field;
        criteria.text = text;
        criteria.columns = columns;
        const ContactSearch::Statement statement = ContactSearch::statement(criteria);
        QSqlQuery query = Database::run(statement.sql, statement.values);
        QStringList names;
        while (query.next())
            names.append(query.value(u"Column1"_s).toString());
        QCOMPARE(names, found);
    }

    void cellphoneShading_data()
    {
        using CellphoneClass::Shading;
        QTest::addColumn<QString>("mobile");
        QTest::addColumn<Shading>("shading");
        QTest::newRow("ten digits") << u"0821234567"_s << Shading::None;
        QTest::newRow("another country's cellphone") << u"+44 7911 123456"_s << Shading::Invalid;
        QTest::newRow("eight digits") << u"08212345"_s << Shading::TooShort;
        QTest::newRow("one digit too many") << u"082 123 45678"_s << Shading::TooLong;
        QTest::newRow("international, too long") << u"+27 82 123 45678"_s << Shading::TooLong;
        QTest::newRow("landline") << u"011 123 4567"_s << Shading::Invalid;
        QTest::newRow("a word") << u"MTN"_s << Shading::Invalid;
        QTest::newRow("empty") << QString() << Shading::None;
        QTest::newRow("all blanks") << u"     "_s << Shading::None;
    }

    void cellphoneShading()
    {
        QFETCH(QString, mobile);
        QFETCH(CellphoneClass::Shading, shading);
        QCOMPARE(CellphoneClass::classify(mobile), shading);
    }

    // Codes, addresses, e-mail and numbers sort as people read them, as names do: case aside, letters outside
    // ASCII in their alphabetical place, digits first.
    void everyTextColumnSortsAsPeopleRead_data()
    {
        QTest::addColumn<QString>("column");
        for (const QString &column : ContactListing::columns()) {
            if (column != u"ClientID"_s && column != u"Selected"_s)
                QTest::newRow(qPrintable(column)) << column;
        }
    }

    void everyTextColumnSortsAsPeopleRead()
    {
        QFETCH(QString, column);
        for (const QString &value : {u"Zeta"_s, u"alpha"_s, u"Émile"_s, u"10 Main"_s, u"beta"_s, u"ALPHA2"_s})
            add({{column, value}});
        ContactListing listing;
        listing.setOrder(ContactListing::orderBy(column));
        listing.readMore(100);
        const int at = int(ContactListing::columns().indexOf(column));
        QStringList sorted;
        for (int row = 0; row < listing.count(); ++row)
            sorted << listing.value(row, at).toString();
        QCOMPARE(sorted, (QStringList{u"10 Main"_s, u"alpha"_s, u"ALPHA2"_s, u"beta"_s, u"Émile"_s, u"Zeta"_s}));
    }

    void splitNamesAtTheFirstComma_data()
    {
        QTest::addColumn<QVariant>("lastName");
        QTest::addColumn<QString>("newLastName");
        QTest::addColumn<QString>("newFirstName");
        QTest::newRow("comma and blank") << QVariant(u"Smith, John"_s) << u"Smith"_s << u"John"_s;
        QTest::newRow("only the first comma") << QVariant(u"Smith,John,Jr"_s) << u"Smith"_s << u"John,Jr"_s;
        QTest::newRow("nothing after") << QVariant(u"Smith,"_s) << u"Smith"_s << QString();
        QTest::newRow("nothing before") << QVariant(u", John"_s) << QString() << u"John"_s;
        QTest::newRow("no comma: untouched") << QVariant(u"Smith John"_s) << u"Smith John"_s << u"Old"_s;
        QTest::newRow("quote is a character") << QVariant(u"O'Brien , Seán "_s) << u"O'Brien"_s << u"Seán"_s;
        QTest::newRow("absent") << QVariant() << QString() << u"Old"_s;
    }

    void splitNamesAtTheFirstComma()
    {
        QFETCH(QVariant, lastName);
        QFETCH(QString, newLastName);
        QFETCH(QString, newFirstName);
        const qint64 id = lastName.isNull() ? Database::insert(u"INSERT INTO Clients (FirstName) VALUES ('Old')"_s)
                                            : add({{"LastName", lastName.toString()}, {"FirstName", u"Old"_s}});
        QCOMPARE(ContactCleanup::splitNames(), newFirstName == u"Old"_s ? 0 : 1);
        QCOMPARE(queryRows(u"SELECT LastName, FirstName FROM Clients WHERE ClientID = ?"_s, {id}),
                 QStringList{newLastName + u'|' + newFirstName});
    }

    void removePhoneSpacesFromFourColumns()
    {
        const QList<std::pair<QVariant, QString>> cases{{u"(082) 123-4567"_s, u"0821234567"_s},
                                                        {u"+27 82 123 4567"_s, u"+27821234567"_s},
                                                        {QVariant(), QString()},
                                                        {u"082.123/4567 x"_s, u"082.123/4567x"_s},
                                                        {u"0821234567"_s, u"0821234567"_s}};
        for (const auto &c : cases)
            Database::insert(u"INSERT INTO Clients (Mobile, TelWork, TelHome, Fax, LastName) "
                             "VALUES (?, ?, ?, ?, 'Keep (me) - as is')"_s,
                             {c.first, c.first, c.first, c.first});
        QCOMPARE(ContactCleanup::removePhoneSpaces(), cases.size() - 1); // the clean one is left alone
        // Each phone column cleaned, an empty text where it was NULL; the name untouched.
        QStringList expected;
        for (const auto &c : cases)
            expected << c.second << c.second << c.second << c.second << u"Keep (me) - as is"_s;
        QCOMPARE(queryValues(u"SELECT Mobile, TelWork, TelHome, Fax, LastName FROM Clients ORDER BY ClientID"_s),
                 expected);
    }

    // Lines go in a few hundred under one savepoint; a refused line, a
    // refused contact or a refused group link, leaves out that line alone,
    // in any part of a long file.
    void importKeepsEveryLineButTheRefusedOnes()
    {
        const qint64 group = GroupRows::addGroup(u"Customers"_s);
        FailingWrites::refuseWhere(u"RefuseBad"_s, u"INSERT"_s, u"Clients"_s, u"NEW.AssNo LIKE 'BAD%'"_s);
        // A link is refused for the contact just added: its contact must go too.
        if (FailingWrites::onServer()) {
            Database::run(u"CREATE OR REPLACE FUNCTION RefuseNoLink() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
                          "IF (SELECT AssNo FROM Clients WHERE ClientID = NEW.ClientID) LIKE 'NOLINK%' THEN "
                          "RAISE EXCEPTION 'refused by test'; END IF; RETURN NEW; END $$"_s);
            Database::run(u"CREATE TRIGGER RefuseNoLink BEFORE INSERT ON GroupLinking FOR EACH ROW "
                          "EXECUTE FUNCTION RefuseNoLink()"_s);
        } else {
            Database::run(u"CREATE TRIGGER RefuseNoLink BEFORE INSERT ON GroupLinking WHEN (SELECT AssNo FROM "
                          "Clients WHERE ClientID = NEW.ClientID) LIKE 'NOLINK%' BEGIN "
                          "SELECT RAISE(ABORT, 'refused by test'); END"_s);
        }
        QStringList lines;
        QStringList expectedRefused;
        QStringList kept;
        for (int i = 0; i < 700; ++i) {
            const QString assNo = i == 3 || i == 600     ? u"BAD%1"_s.arg(i)
                                  : i == 300 || i == 301 ? u"NOLINK%1"_s.arg(i)
                                                         : u"C%1"_s.arg(i);
            lines.append(assNo + u",Name %1,Street"_s.arg(i));
            if (assNo.startsWith(u"C"_s))
                kept.append(assNo);
            else
                expectedRefused.append(assNo + u" - Name %1"_s.arg(i));
        }
        QList<qint64> progress;
        QStringList refusedAsTold;
        const CustomerImport::Imported imported = CustomerImport::importLines(
            lines, group, [&](qint64 contacts) { progress.append(contacts); },
            [&](const QString &text) { refusedAsTold.append(text); });

        QCOMPARE(imported.contacts, kept.size());
        QCOMPARE(imported.refused, expectedRefused);
        QCOMPARE(refusedAsTold, expectedRefused);
        QVERIFY(!progress.isEmpty());
        QCOMPARE(progress.last(), kept.size());
        QVERIFY(std::is_sorted(progress.begin(), progress.end()));
        QCOMPARE(queryValues(u"SELECT AssNo FROM Clients ORDER BY ClientID"_s), kept); // in order, each once
        QCOMPARE(queryCount(u"SELECT count(*) FROM GroupLinking WHERE GroupID = ?"_s, {group}), kept.size());
        QCOMPARE(
            queryCount(u"SELECT count(*) FROM Clients WHERE ClientID NOT IN (SELECT ClientID FROM GroupLinking)"_s), 0);
    }

private:
    TestHome home;
};

QTEST_GUILESS_MAIN(tst_contactRules)
#include "tst_contactRules.moc"
