#include "ContactTestSupport.h"
#include "TestSupport.h"

#include "contacts/ContactSearch.h"

#include <QSqlQuery>
#include <QTest>

using namespace ContactTest;
using namespace Qt::StringLiterals;

using Columns = std::array<bool, ContactSearch::NameColumnCount>;
Q_DECLARE_METATYPE(ContactSearch::Field)
Q_DECLARE_METATYPE(Columns)

// The contact rules that need no window: search, cellphone classification, clean-ups, postal codes.
class tst_contactRules : public QObject
{
    Q_OBJECT

private slots:
    void init() { home.freshDatabase(); }

    void searchFindsByWordsColumnsEmailAndPhones_data();
    void searchFindsByWordsColumnsEmailAndPhones();

private:
    TestHome home;
};

void tst_contactRules::searchFindsByWordsColumnsEmailAndPhones_data()
{
    using ContactSearch::Field;
    QTest::addColumn<Field>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<Columns>("columns");
    QTest::addColumn<QStringList>("found");
    const Columns all{true, true, true, true};
    const QStringList everyone{"Adams", "Émile", "O'Brien", "smith", "Zulu"};
    QTest::newRow("one word, any case") << Field::Names << u"jo"_s << all << QStringList{"Adams"};
    QTest::newRow("two words: either") << Field::Names << u"jo smi"_s << all << QStringList{"Adams", "smith"};
    QTest::newRow("letter outside ASCII") << Field::Names << u"émi"_s << all << QStringList{"Émile"};
    QTest::newRow("quote is a character") << Field::Names << u"o'brien"_s << all << QStringList{"O'Brien"};
    QTest::newRow("quote not dropped") << Field::Names << u"obrien"_s << all << QStringList{};
    QTest::newRow("empty text: everyone") << Field::Names << QString() << all << everyone;
    QTest::newRow("no boxes: everyone") << Field::Names << u"jo"_s << Columns{} << everyone;
    QTest::newRow("only checked columns") << Field::Names << u"ann"_s << Columns{false, false, false, true}
                                          << QStringList{};
    QTest::newRow("first names box") << Field::Names << u"ann"_s << Columns{false, false, true, false}
                                     << QStringList{"smith"};
    // A leading blank makes an empty word: it matches every contact whose checked column holds something.
    QTest::newRow("empty word") << Field::Names << u" jo"_s << Columns{true, false, false, false}
                                << QStringList{"Adams", "O'Brien"};
    QTest::newRow("two blanks between words") << Field::Names << u"zz  yy"_s << Columns{false, true, false, false}
                                              << QStringList{"Adams", "O'Brien"};
    QTest::newRow("e-mail, trailing blank kept") << Field::EMail << u"n "_s << all << QStringList{"O'Brien"};
    QTest::newRow("e-mail, leading blank dropped") << Field::EMail << u"  N"_s << all
                                                   << QStringList{"Adams", "O'Brien"};
    QTest::newRow("082 in any of four columns") << Field::Phones << u"082"_s << all
                                                << QStringList{"Adams", "Émile", "smith", "Zulu"};
    QTest::newRow("blanks inside stored numbers count") << Field::Phones << u"0821234567"_s << all
                                                        << QStringList{"Adams"};
}

void tst_contactRules::searchFindsByWordsColumnsEmailAndPhones()
{
    QFETCH(ContactSearch::Field, field);
    QFETCH(QString, text);
    QFETCH(Columns, columns);
    QFETCH(QStringList, found);
    addContact({{"LastName", u"Adams"_s}, {"FirstName", u"Joan"_s}, {"Salute", u"Ms"_s}, {"Initials", u"J"_s},
                {"EMail", u"joan@mail.com"_s}, {"Mobile", u"0821234567"_s}});
    addContact({{"LastName", u"O'Brien"_s}, {"FirstName", u"Sean"_s}, {"Salute", u"Mr"_s}, {"Initials", u"S"_s},
                {"EMail", u"sean obrien@mail.com"_s}, {"Mobile", u"0731234567"_s}});
    addContact({{"LastName", u"smith"_s}, {"FirstName", u"Ann"_s}, {"Salute", u""_s}, {"Initials", u""_s},
                {"TelWork", u"011 082 0000"_s}});
    addContact({{"LastName", u"Zulu"_s}, {"FirstName", u"Bongani"_s}, {"EMail", u""_s}, {"TelHome", u"0820000000"_s}});
    addContact({{"LastName", u"Émile"_s}, {"Fax", u"(082) 123"_s}, {"Mobile", u"082 123 4567"_s}});

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

QTEST_GUILESS_MAIN(tst_contactRules)
#include "tst_contactRules.moc"
