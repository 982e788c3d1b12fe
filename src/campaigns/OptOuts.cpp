#include "campaigns/OptOuts.h"

#include "data/Database.h"
#include "data/TextFiles.h"
#include "settings/Settings.h"

#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSqlQuery>

namespace OptOuts {

namespace {

constexpr qint64 ErrorFileAccess = 75;

// The first field of a CSV line, quotes undone.
QString firstField(const QString &line)
{
    if (!line.startsWith(QLatin1Char('"')))
        return line.section(QLatin1Char(','), 0, 0);
    QString value;
    for (qsizetype i = 1; i < line.size(); ++i) {
        if (line.at(i) == QLatin1Char('"')) {
            if (i + 1 < line.size() && line.at(i + 1) == QLatin1Char('"')) {
                value += QLatin1Char('"');
                ++i;
                continue;
            }
            break;
        }
        value += line.at(i);
    }
    return value;
}

QString csvValue(const QString &value)
{
    QString quoted = value;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString collapse(QString text)
{
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    static const QRegularExpression optOut(QStringLiteral("\\bOPT OUT\\b"));
    text = text.toUpper().replace(blanks, QStringLiteral(" ")).trimmed();
    return text.replace(optOut, QStringLiteral("OPTOUT"));
}

} // namespace

QString cleanReply(const QString &text)
{
    QString kept;
    kept.reserve(text.size());
    for (QChar c : text)
        if (!c.isPunct() && !c.isSymbol())
            kept += c;
    return collapse(kept);
}

QStringList replyWords(const QString &text)
{
    QString spaced = text;
    for (QChar &c : spaced)
        if (c.isPunct() || c.isSymbol())
            c = QLatin1Char(' ');
    return collapse(spaced).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

QHash<QString, bool> words()
{
    QHash<QString, bool> list;
    QSqlQuery query = Database::run(QStringLiteral("SELECT Word, Lifts FROM OptOutWords"));
    while (query.next())
        list.insert(cleanReply(query.value(0).toString()), query.value(1).toInt() != 0);
    return list;
}

void setWords(const QHash<QString, bool> &list)
{
    Database::Transaction transaction;
    Database::run(QStringLiteral("DELETE FROM OptOutWords"));
    for (auto it = list.begin(); it != list.end(); ++it) {
        const QString word = cleanReply(it.key());
        if (!word.isEmpty())
            Database::run(QStringLiteral("INSERT OR REPLACE INTO OptOutWords (Word, Lifts) VALUES (?, ?)"),
                          {word, it.value() ? 1 : 0});
    }
    transaction.commit();
}

ReplyKind classify(const QString &text, const QHash<QString, bool> &list)
{
    const QString cleaned = cleanReply(text);
    const auto exact = list.constFind(cleaned);
    if (exact != list.constEnd())
        return exact.value() ? ReplyKind::Lift : ReplyKind::OptOut;
    for (const QString &word : replyWords(text)) {
        const auto found = list.constFind(word);
        if (found != list.constEnd() && !found.value())
            return ReplyKind::Possible;
    }
    return ReplyKind::None;
}

bool queueConfirmation(const QString &number)
{
    return OptOutList::queueConfirmation(number, Settings::value<Settings::Key::OptOutConfirmation>());
}

ReplyKind takeReply(qint64 replyId, const QString &phoneNumber, const QString &message,
                    const QHash<QString, bool> &list)
{
    ReplyKind kind = classify(message, list);
    if (OptOutList::keyOf(phoneNumber).isEmpty())
        kind = ReplyKind::None; // nothing is ever sent to a sender without a number
    const QString detail = QStringLiteral("reply %1: %2").arg(replyId).arg(message);
    if (kind == ReplyKind::OptOut && OptOutList::add(phoneNumber, OptOutList::FromReply, detail))
        queueConfirmation(phoneNumber);
    else if (kind == ReplyKind::Lift)
        OptOutList::lift(phoneNumber, OptOutList::FromReply, detail);
    if (kind != ReplyKind::None)
        Database::run(QStringLiteral("UPDATE SMSReplies SET OptOut = ? WHERE SMSReplyID = ?"), {int(kind), replyId});
    return kind;
}

bool confirmPossible(qint64 replyId)
{
    QSqlQuery reply =
        Database::run(QStringLiteral("SELECT PhoneNumber, Message FROM SMSReplies WHERE SMSReplyID = ?"), {replyId});
    if (!reply.next())
        return false;
    const QString phone = reply.value(0).toString();
    const QString message = reply.value(1).toString();
    reply.finish();
    Database::Transaction transaction;
    const bool added =
        OptOutList::add(phone, OptOutList::FromInbox, QStringLiteral("reply %1: %2").arg(replyId).arg(message));
    if (added)
        queueConfirmation(phone);
    Database::run(QStringLiteral("UPDATE SMSReplies SET OptOut = ? WHERE SMSReplyID = ?"),
                  {int(ReplyKind::Confirmed), replyId});
    transaction.commit();
    return added;
}

void exportCsv(const QString &path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw AppError(ErrorFileAccess,
                       QStringLiteral("The file '%1' cannot be written: %2").arg(path, file.errorString()));
    QString text = QStringLiteral("Number,OptedOutAt,Source,Detail\r\n");
    QSqlQuery query =
        Database::run(QStringLiteral("SELECT Number, OptedOutAt, Source, Detail FROM OptOuts ORDER BY Number"));
    while (query.next()) {
        QStringList fields;
        for (int column = 0; column < 4; ++column)
            fields << csvValue(query.value(column).toString());
        text += fields.join(QLatin1Char(',')) + QStringLiteral("\r\n");
    }
    file.write(text.toUtf8());
    if (!file.commit())
        throw AppError(ErrorFileAccess,
                       QStringLiteral("The file '%1' cannot be written: %2").arg(path, file.errorString()));
}

ImportResult importCsv(const QString &path)
{
    const QStringList lines = TextFiles::readLines(path);
    ImportResult result;
    Database::Transaction transaction;
    const QString detail = QStringLiteral("file ") + path;
    bool first = true;
    for (const QString &line : lines) {
        const QString number = firstField(line).trimmed();
        const bool header = first && OptOutList::keyOf(number).isEmpty();
        first = false;
        if (header || line.trimmed().isEmpty())
            continue;
        if (OptOutList::keyOf(number).isEmpty())
            ++result.unusable;
        else if (OptOutList::add(number, OptOutList::FromImport, detail))
            ++result.added;
        else
            ++result.alreadyListed;
    }
    transaction.commit();
    return result;
}

} // namespace OptOuts
