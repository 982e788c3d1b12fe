#include "compose/TemplateBook.h"

#include "compose/MessageText.h"
#include "data/Clock.h"
#include "data/Database.h"
#include "data/modFunctions.h"

#include <QSqlQuery>

TemplateNameRefused::TemplateNameRefused(QString title, const QString &text)
    : AppError(3200, text, QStringLiteral("TemplateBook")), m_title(std::move(title))
{}

namespace TemplateBook {

namespace {

constexpr int ErrorGone = 3201;
constexpr int ErrorText = 3202;

QString stamp()
{
    return CampaignClock::now().toUTC().toString(Qt::ISODate);
}

MessageTemplate fromRow(const QSqlQuery &query)
{
    MessageTemplate result;
    result.id = query.value(0).toLongLong();
    result.name = query.value(1).toString();
    for (int i = 0; i < BodyCount; ++i)
        result.text.bodies << query.value(2 + i).toString();
    result.text.marketing = query.value(2 + BodyCount).toInt() != 0;
    return result;
}

const QString Columns = QStringLiteral("TemplateID, Name, Body1, Body2, Body3, Body4, Marketing");

// A body holds what a composer's body holds; a template never keeps more than
// a composer could send.
QVariantList bodiesOf(const TemplateText &text)
{
    if (text.bodies.size() > BodyCount)
        throw AppError(ErrorText, QStringLiteral("A template holds at most %1 bodies.").arg(BodyCount),
                       QStringLiteral("TemplateBook"));
    QVariantList values;
    for (int i = 0; i < BodyCount; ++i) {
        const QString body = text.bodies.value(i);
        if (MessageText::storedLength(body) > MessageText::BodyLimit)
            throw AppError(ErrorText,
                           QStringLiteral("Body %1 holds %2 characters; a template's body holds at most %3.")
                               .arg(i + 1)
                               .arg(MessageText::storedLength(body))
                               .arg(MessageText::BodyLimit),
                           QStringLiteral("TemplateBook"));
        // An empty body is stored as empty text, never NULL.
        values << (body.isNull() ? QString(QLatin1String("")) : body);
    }
    return values;
}

void checkName(const QString &name, qint64 except)
{
    if (modFunctions::TrimBlanks(name).isEmpty())
        throw TemplateNameRefused(QStringLiteral("NAME"), QStringLiteral("Please give the template a name."));
    if (nameTaken(name, except))
        throw TemplateNameRefused(QStringLiteral("EXIST"),
                                  QStringLiteral("A template named \"%1\" already exists. Please choose another name.")
                                      .arg(modFunctions::TrimBlanks(name)));
}

// One row changed, or the template is gone (deleted meanwhile, by this
// program or another on the same database).
void expectOneRow(QSqlQuery query, qint64 templateId)
{
    if (query.numRowsAffected() != 1)
        throw AppError(ErrorGone,
                       QStringLiteral("Template %1 is no longer in the database; nothing was changed.").arg(templateId),
                       QStringLiteral("TemplateBook"));
}

} // namespace

QList<MessageTemplate> list()
{
    QSqlQuery query =
        Database::run(QStringLiteral("SELECT %1 FROM Templates ORDER BY Name COLLATE Names, TemplateID").arg(Columns));
    QList<MessageTemplate> result;
    while (query.next())
        result << fromRow(query);
    return result;
}

std::optional<MessageTemplate> find(qint64 templateId)
{
    QSqlQuery query =
        Database::run(QStringLiteral("SELECT %1 FROM Templates WHERE TemplateID = ?").arg(Columns), {templateId});
    if (!query.next())
        return std::nullopt;
    return fromRow(query);
}

// As group names are compared: trim() removes blanks only, and upper() is the
// connection's own, which knows every alphabet.
bool nameTaken(const QString &name, qint64 except)
{
    return Database::value(QStringLiteral("SELECT EXISTS (SELECT 1 FROM Templates "
                                          "WHERE upper(trim(Name)) = upper(trim(?)) AND TemplateID <> ?)"),
                           {name, except})
               .toInt()
           != 0;
}

qint64 add(const QString &name, const TemplateText &text)
{
    const QVariantList bodies = bodiesOf(text);
    Database::Transaction transaction;
    checkName(name, 0);
    const QString now = stamp();
    const qint64 id = Database::insert(
        QStringLiteral("INSERT INTO Templates (Name, Body1, Body2, Body3, Body4, Marketing, Created, Changed) "
                       "VALUES (?, ?, ?, ?, ?, ?, ?, ?)"),
        QVariantList{name} + bodies + QVariantList{text.marketing ? 1 : 0, now, now});
    transaction.commit();
    return id;
}

void rename(qint64 templateId, const QString &name)
{
    Database::Transaction transaction;
    checkName(name, templateId);
    expectOneRow(Database::run(QStringLiteral("UPDATE Templates SET Name = ?, Changed = ? WHERE TemplateID = ?"),
                               {name, stamp(), templateId}),
                 templateId);
    transaction.commit();
}

void setText(qint64 templateId, const TemplateText &text)
{
    expectOneRow(Database::run(QStringLiteral("UPDATE Templates SET Body1 = ?, Body2 = ?, Body3 = ?, Body4 = ?, "
                                              "Marketing = ?, Changed = ? WHERE TemplateID = ?"),
                               bodiesOf(text) + QVariantList{text.marketing ? 1 : 0, stamp(), templateId}),
                 templateId);
}

void save(qint64 templateId, const QString &name, const TemplateText &text)
{
    Database::Transaction transaction;
    rename(templateId, name);
    setText(templateId, text);
    transaction.commit();
}

void remove(qint64 templateId)
{
    expectOneRow(Database::run(QStringLiteral("DELETE FROM Templates WHERE TemplateID = ?"), {templateId}), templateId);
}

} // namespace TemplateBook
