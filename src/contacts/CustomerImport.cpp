#include "contacts/CustomerImport.h"

#include "data/AppError.h"
#include "data/Database.h"
#include "data/TextFiles.h"
#include "data/modFunctions.h"

#include <QList>
#include <QSqlQuery>
#include <QStringView>
#include <QVarLengthArray>

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace CustomerImport {

namespace {

// A Pastel line has forty items: kept on the stack, not in a list of its own.
using Items = QVarLengthArray<QStringView, 48>;

// The item without tabs, line breaks, double quotes and NULs (and dashes,
// for a number), then without blanks at its ends: CleanString and TrimBlanks
// in one pass, since an import does this to a dozen items of every line.
QVariant cleaned(const Items &items, qsizetype index, bool withoutDashes = false)
{
    if (index >= items.size())
        return {};
    const QStringView item = items.at(index);
    QString result(item.size(), Qt::Uninitialized);
    QChar *const begin = result.data();
    QChar *out = begin;
    for (const QChar c : item) {
        const char16_t u = c.unicode();
        if (u == u'\t' || u == u'\r' || u == u'\n' || u == u'"' || u == u'\0' || (withoutDashes && u == u'-'))
            continue;
        *out++ = c;
    }
    const QChar *first = begin;
    while (first < out && first->unicode() == u' ')
        ++first;
    while (out > first && (out - 1)->unicode() == u' ')
        --out;
    if (first == out)
        return QStringLiteral(""); // an item that is there is empty text, never NULL
    if (first != begin)
        std::copy(first, const_cast<const QChar *>(out), begin);
    result.truncate(out - first);
    return result;
}

QVariant number(const Items &items, qsizetype index)
{
    return cleaned(items, index, true);
}

qsizetype characters(const QString &text)
{
    qsizetype count = text.size();
    for (const QChar c : text) {
        if (c.isLowSurrogate())
            --count;
    }
    return count;
}

QString importedBefore(qint64 contacts)
{
    return contacts == 1 ? QStringLiteral("1 contact was imported before the error.")
                         : QStringLiteral("%1 contacts were imported before the error.").arg(contacts);
}

} // namespace

Customer parseLine(const QString &line)
{
    Items items;
    if (!line.isEmpty()) {
        const QStringView text(line);
        qsizetype start = 0;
        for (qsizetype comma; (comma = text.indexOf(u',', start)) >= 0; start = comma + 1)
            items.append(text.sliced(start, comma - start));
        items.append(text.sliced(start));
    }

    Customer customer;
    customer.AssNo = cleaned(items, 0);
    const QVariant nameItem = cleaned(items, 9);
    if (!nameItem.toString().isEmpty()) {
        customer.FirstName = nameItem;
        customer.Company = cleaned(items, 1);
    } else {
        customer.FirstName = cleaned(items, 1);
    }
    customer.Address1 = cleaned(items, 2);
    customer.Address2 = cleaned(items, 3);
    customer.Address3 = cleaned(items, 4);
    const QVariant postalCode = cleaned(items, 6);
    if (characters(postalCode.toString()) <= PostalCodeMaxLength)
        customer.PostalCode = postalCode;
    customer.TelWork = number(items, 7);
    customer.Fax = number(items, 8);
    customer.Mobile = number(items, 35);
    customer.EMail = cleaned(items, 36);
    return customer;
}

QString refusedText(const Customer &customer)
{
    return modFunctions::TrimBlanks(customer.AssNo.toString()) + QStringLiteral(" - ")
        + modFunctions::TrimBlanks(customer.FirstName.toString());
}

namespace {

// Lines written under one savepoint when none is refused.
constexpr qsizetype ChunkLines = 256;
constexpr qsizetype LinksPerStatement = 64;

// The statements of an import, prepared once.
class Writer
{
public:
    explicit Writer(qint64 groupId) : m_groupId(groupId) {}

    qint64 addClient(const Customer &c)
    {
        return m_addClient.insert({c.AssNo, c.FirstName, c.Company, c.Address1, c.Address2, c.Address3, c.PostalCode,
                                   c.TelWork, c.Fax, c.Mobile, c.EMail});
    }

    // The line's contact and its group link; throws AppError.
    void write(const Customer &c)
    {
        const qint64 clientId = addClient(c);
        if (m_groupId != 0)
            m_addLink.run({m_groupId, clientId});
    }

    void linkAll(const QList<qint64> &keys)
    {
        std::vector<Database::Value> values;
        for (qsizetype first = 0; first < keys.size(); first += LinksPerStatement) {
            const qsizetype count = std::min(LinksPerStatement, keys.size() - first);
            values.clear();
            for (qsizetype i = first; i < first + count; ++i) {
                values.emplace_back(m_groupId);
                values.emplace_back(keys.at(i));
            }
            std::unique_ptr<Database::RowStatement> &links = m_addLinks[count];
            if (!links)
                links = std::make_unique<Database::RowStatement>(
                    QStringLiteral("INSERT INTO GroupLinking (GroupID, ClientID) VALUES ")
                    + Database::placeholderRows(2, count));
            links->run(values.data(), qsizetype(values.size()));
        }
    }

    // Writes the lines under one savepoint, their group links a few dozen to
    // a statement; false, with nothing of them kept, when any of them fails.
    bool writeAll(const QList<Customer> &customers)
    {
        m_beginChunk.run({});
        try {
            QList<qint64> keys;
            keys.reserve(customers.size());
            for (const Customer &c : customers)
                keys.append(addClient(c));
            if (m_groupId != 0)
                linkAll(keys);
        } catch (const AppError &error) {
            rollBack(m_undoChunk, m_releaseChunk, error);
            return false;
        }
        m_releaseChunk.run({});
        return true;
    }

    // One line under a savepoint of its own, so that a refused line takes
    // back its contact and its group link together. Gives the error that
    // refused it; any other error is thrown.
    std::optional<AppError> writeOne(const Customer &c)
    {
        m_beginLine.run({});
        try {
            write(c);
        } catch (const AppError &error) {
            rollBack(m_undoLine, m_releaseLine, error);
            if (!Database::refusesTheRow(error))
                throw;
            return error;
        }
        m_releaseLine.run({});
        return std::nullopt;
    }

private:
    static void rollBack(Database::RowStatement &undo, Database::RowStatement &release, const AppError &error)
    {
        try {
            undo.run({});
            release.run({});
        } catch (const AppError &) {
            // The savepoint is gone with the whole transaction: nothing of
            // this batch can be kept, whatever the first error was.
            throw error;
        }
    }

    qint64 m_groupId;
    Database::RowStatement m_beginChunk{QStringLiteral("SAVEPOINT customers")};
    Database::RowStatement m_releaseChunk{QStringLiteral("RELEASE customers")};
    Database::RowStatement m_undoChunk{QStringLiteral("ROLLBACK TO customers")};
    Database::RowStatement m_beginLine{QStringLiteral("SAVEPOINT customer")};
    Database::RowStatement m_releaseLine{QStringLiteral("RELEASE customer")};
    Database::RowStatement m_undoLine{QStringLiteral("ROLLBACK TO customer")};
    Database::RowStatement m_addClient{QStringLiteral(
        "INSERT INTO Clients (AssNo, FirstName, Company, Address1, Address2, Address3, PostalCode, "
        "TelWork, Fax, Mobile, EMail) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")};
    Database::RowStatement m_addLink{QStringLiteral("INSERT INTO GroupLinking (GroupID, ClientID) VALUES (?, ?)")};
    std::map<qsizetype, std::unique_ptr<Database::RowStatement>> m_addLinks;
};

} // namespace

Imported importLines(const QStringList &lines, qint64 groupId, const Progress &progress, const Refused &refused)
{
    Imported result;
    Database::Batch batch;
    Writer writer(groupId);
    QList<Customer> chunk;
    try {
        for (qsizetype first = 0; first < lines.size(); first += ChunkLines) {
            chunk.clear();
            for (qsizetype at = first; at < std::min(lines.size(), first + ChunkLines); ++at)
                chunk.append(parseLine(lines.at(at)));
            // A chunk goes in whole; one with a failing line is written again
            // line by line, so that only the refused lines are left out.
            if (writer.writeAll(chunk)) {
                result.contacts += chunk.size();
                if (progress)
                    progress(result.contacts);
                continue;
            }
            for (const Customer &c : std::as_const(chunk)) {
                if (writer.writeOne(c)) {
                    const QString text = refusedText(c);
                    result.refused.append(text);
                    if (refused)
                        refused(text);
                } else {
                    ++result.contacts;
                }
                if (progress)
                    progress(result.contacts);
            }
        }
    } catch (const AppError &error) {
        AppError shown = batch.keepBefore(error, importedBefore(result.contacts));
        // A failed commit reports itself; the error that stopped the import
        // still comes first.
        if (!shown.description().startsWith(error.description()))
            shown = AppError(error.number(), error.description() + QLatin1Char('\n') + shown.description(),
                             error.source());
        throw shown;
    }
    batch.commit();
    return result;
}

Imported importFile(const QString &path, qint64 groupId, const Progress &progress, const Refused &refused)
{
    return importLines(TextFiles::readLines(path), groupId, progress, refused);
}

} // namespace CustomerImport
