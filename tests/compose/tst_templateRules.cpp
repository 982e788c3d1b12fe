#include "TestSupport.h"

#include "compose/TemplateBook.h"
#include "data/Database.h"

#include <QTest>

#include <algorithm>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

TemplateText text(const QString &body1, bool marketing = false)
{
    return {{body1, {}, {}, {}}, marketing};
}

QStringList names()
{
    QStringList result;
    for (const MessageTemplate &item : TemplateBook::list())
        result << item.name;
    return result;
}

// The title of the refusal the action threw, or "" when it threw none.
QString refusal(const std::function<void()> &action)
{
    try {
        action();
    } catch (const TemplateNameRefused &refused) {
        return refused.title();
    }
    return {};
}

} // namespace

class tst_templateRules : public QObject
{
    Q_OBJECT

private slots:
    void init() { home.freshDatabase(); }

    void namesAreUniqueTrimmedInAnyCase();
    void renamingOntoATakenNameIsRefused();
    void textIsKeptAsWrittenAndEveryWriteNeedsItsRow();

private:
    TestHome home;
};

void tst_templateRules::namesAreUniqueTrimmedInAnyCase()
{
    struct Case
    {
        QStringList stored;
        QString typed;
        QString refused; // the refusal's title; empty when the template is added
    };
    const Case cases[] = {
        {{u"Debit order"_s}, u"  DEBIT ORDER "_s, u"EXIST"_s},
        {{u"Debit order"_s}, u"Debit order reminder"_s, {}},
        {{u"Meeting "_s}, u"meeting"_s, u"EXIST"_s},
        {{u"Émile"_s}, u"ÉMILE"_s, u"EXIST"_s},
        {{}, u"Mary's thanks"_s, {}},
        {{u"Mary's thanks"_s}, u" MARY'S THANKS"_s, u"EXIST"_s},
        {{u"Mary"_s}, u"Mary's"_s, {}},
        {{}, u"   "_s, u"NAME"_s},
        {{u"\tPayment"_s}, u"Payment"_s, {}}, // only blanks are trimmed, not tabs
    };
    for (const Case &c : cases) {
        home.freshDatabase();
        for (const QString &name : c.stored)
            TemplateBook::add(name, text(u"stored"_s));
        const QByteArray what = c.typed.toUtf8();
        QVERIFY2(refusal([&c] { TemplateBook::add(c.typed, text(u"new"_s)); }) == c.refused, what.constData());
        // Stored exactly as typed.
        QStringList expected = c.stored;
        if (c.refused.isEmpty())
            expected << c.typed;
        QStringList stored = names();
        std::sort(expected.begin(), expected.end());
        std::sort(stored.begin(), stored.end());
        QCOMPARE(stored, expected);
    }
}

void tst_templateRules::renamingOntoATakenNameIsRefused()
{
    const qint64 thanks = TemplateBook::add(u"Payment thanks"_s, text(u"Thank you"_s));
    const qint64 meeting = TemplateBook::add(u"Meeting"_s, text(u"AGM on Friday"_s));
    QCOMPARE(refusal([&] { TemplateBook::rename(meeting, u" payment THANKS"_s); }), u"EXIST"_s);
    QCOMPARE(refusal([&] { TemplateBook::rename(meeting, u""_s); }), u"NAME"_s);
    QCOMPARE(names(), (QStringList{u"Meeting"_s, u"Payment thanks"_s}));
    // Its own name in another case is no clash; a quote is a name like any other.
    TemplateBook::rename(thanks, u"PAYMENT THANKS"_s);
    TemplateBook::rename(meeting, u"Members' meeting"_s);
    QCOMPARE(names(), (QStringList{u"Members' meeting"_s, u"PAYMENT THANKS"_s}));
    // Saving name and text is both or neither.
    QCOMPARE(refusal([&] { TemplateBook::save(meeting, u"payment thanks"_s, text(u"changed"_s)); }), u"EXIST"_s);
    QCOMPARE(TemplateBook::find(meeting)->text.bodies.first(), u"AGM on Friday"_s);
}

void tst_templateRules::textIsKeptAsWrittenAndEveryWriteNeedsItsRow()
{
    const TemplateText written{
        {u"Dear {FirstName|member},\r\nthe AGM is on Friday."_s, {}, u"R&D: 50% off + more"_s, QString(160, u'x')},
        true};
    const qint64 id = TemplateBook::add(u"AGM"_s, written);
    std::optional<MessageTemplate> found = TemplateBook::find(id);
    QVERIFY(found);
    QCOMPARE(found->text.bodies, written.bodies);
    QVERIFY(found->text.marketing);
    TemplateBook::setText(id, text(u"Short"_s));
    found = TemplateBook::find(id);
    QCOMPARE(found->text.bodies, (QStringList{u"Short"_s, {}, {}, {}}));
    QVERIFY(!found->text.marketing);
    // More than a composer's body holds is refused and changes nothing.
    QVERIFY_THROWS_EXCEPTION(AppError, TemplateBook::setText(id, text(QString(161, u'x'))));
    QCOMPARE(TemplateBook::find(id)->text.bodies.first(), u"Short"_s);
    QCOMPARE(Database::value(u"SELECT count(*) FROM Templates WHERE Created <> '' AND Changed >= Created"_s).toInt(),
             1);

    TemplateBook::remove(id);
    QVERIFY(!TemplateBook::find(id));
    // A template deleted meanwhile: no write says it succeeded.
    QVERIFY_THROWS_EXCEPTION(AppError, TemplateBook::remove(id));
    QVERIFY_THROWS_EXCEPTION(AppError, TemplateBook::setText(id, text(u"again"_s)));
    QVERIFY_THROWS_EXCEPTION(AppError, TemplateBook::rename(id, u"again"_s));
}

QTEST_GUILESS_MAIN(tst_templateRules)
#include "tst_templateRules.moc"
