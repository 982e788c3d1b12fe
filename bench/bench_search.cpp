// Searching 100,000 contacts in the real contact search window (offscreen):
// a two-word name search over the four name columns, an e-mail search and a
// telephone search, each painted, against the sqlite3 shell running the same
// statements (with its own ASCII-only upper()).

#include "ContactBench.h"

#include "contacts/ContactSearch.h"
#include "contacts/frmSearchClients.h"

#include <QLineEdit>
#include <QRadioButton>
#include <QTableView>

using namespace Bench;

namespace {

// The statement with its values written in, for the shell.
QByteArray shellStatement(const ContactSearch::Criteria &criteria)
{
    const ContactSearch::Statement statement = ContactSearch::statement(criteria);
    QString sql = statement.sql;
    sql.replace(QStringLiteral("COLLATE Names"), QStringLiteral("COLLATE NOCASE"));
    for (const QVariant &value : statement.values)
        sql.replace(sql.indexOf(QLatin1Char('?')), 1, QString::fromUtf8(sqlText(value.toString())));
    return ".output /dev/null\n" + sql.toUtf8() + ";\n";
}

struct Case
{
    QString name;
    ContactSearch::Field field;
    QString text;
    const char *option;
    // A few dozen contacts may hold no match for `text`: a tiny run searches
    // for what this statement reads from the first contact that has one.
    QString sample;
};

QString searchText(const QString &databasePath, const Case &c)
{
    if (!tiny())
        return c.text;
    Home::useDatabase(databasePath);
    const QString text = Database::value(c.sample).toString();
    Database::close();
    if (text.isEmpty())
        fail(QStringLiteral("no contact has a value for the %1 search").arg(c.name));
    return text;
}

} // namespace

int main(int argc, char *argv[])
{
    Program program(argc, argv);
    const QString path = ContactBench::prepare(program.home);
    ContactBench::describe(QStringLiteral("search"));
    QuietBoxes boxes;
    const QList<Case> cases{
        {QStringLiteral("name"), ContactSearch::Field::Names, QStringLiteral("ber ödeg"), "optOptions_0",
         QStringLiteral("SELECT lower(substr(LastName, 2, 3)) || ' ' || lower(substr(FirstName, 2, 4)) FROM Clients "
                        "ORDER BY ClientID LIMIT 1")},
        {QStringLiteral("e-mail"), ContactSearch::Field::EMail, QStringLiteral("church.meet"), "optOptions_1",
         QStringLiteral("SELECT substr(EMail, 1, instr(EMail, '.') + 4) FROM Clients WHERE instr(EMail, '.') > 0 "
                        "ORDER BY ClientID LIMIT 1")},
        {QStringLiteral("telephone"), ContactSearch::Field::Phones, QStringLiteral("082 5"), "optOptions_2",
         QStringLiteral(
             "SELECT substr(Mobile, 1, 5) FROM Clients WHERE Mobile LIKE '0__ %' ORDER BY ClientID LIMIT 1")}};
    double nameOurs = 0;
    double nameShell = 0;
    for (const Case &c : cases) {
        const QString text = searchText(path, c);
        ContactSearch::Criteria criteria;
        criteria.field = c.field;
        criteria.text = text;
        const QByteArray script = shellStatement(criteria);
        QList<double> shell, ours;
        int found = 0;
        int readForFirstScreen = 0;
        alternate(
            rounds(3), [&] { return sqliteShell(path, script); },
            [&] {
                Home::useDatabase(path);
                frmSearchClients window;
                window.resize(640, 520);
                window.show();
                window.findChild<QRadioButton *>(QString::fromLatin1(c.option))->click();
                window.findChild<QLineEdit *>(QStringLiteral("txtCriteria"))->setText(text);
                window.grab();
                const double seconds = ContactBench::timed(window, [&] { window.cmdSearch_Click(); });
                auto *model = window.findChild<QTableView *>(QStringLiteral("grdResults"))->model();
                readForFirstScreen = model->rowCount();
                while (model->canFetchMore({}))
                    model->fetchMore({});
                found = model->rowCount();
                return seconds;
            },
            shell, ours);
        if (found == 0)
            fail(QStringLiteral("the %1 search for \"%2\" found nothing").arg(c.name, text));
        figure(QStringLiteral("search %1 \"%2\": contacts found").arg(c.name, text), found);
        figure(QStringLiteral("search %1: rows read when the first screen was painted").arg(c.name), readForFirstScreen,
               QStringLiteral("of %1").arg(found));
        figure(QStringLiteral("search %1 rounds (s)").arg(c.name), listed(ours));
        figure(QStringLiteral("search %1 window, first screen painted (best)").arg(c.name), fastest(ours),
               QStringLiteral("s"), 3);
        figure(QStringLiteral("sqlite3 shell, same statement, every row (best)"), fastest(shell), QStringLiteral("s"),
               3);
        if (c.field == ContactSearch::Field::Names) {
            nameOurs = fastest(ours);
            nameShell = fastest(shell);
        }
    }
    if (boxes.count() > 0)
        fail(QStringLiteral("searching showed: %1").arg(boxes.all()));
    ContactBench::conclude(QStringLiteral("search"), nameOurs, nameShell, 0.5);
    return 0;
}
