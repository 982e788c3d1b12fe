#include "contacts/CustomerImport.h"

#include "contacts/ContactStore.h"

#include "data/AppError.h"
#include "data/Database.h"
#include "data/TextFiles.h"
#include "data/modFunctions.h"

#include <QList>
#include <QStringView>
#include <QVarLengthArray>

#include <algorithm>

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

ContactStore::Importer::Line lineOf(const Customer &c)
{
    // In the order of ContactStore::editedColumns().
    return {{c.AssNo, QVariant(), c.FirstName, QVariant(), QVariant(), QVariant(), c.Company, c.Address1, c.Address2,
             c.Address3, c.PostalCode, c.TelWork, QVariant(), c.Fax, c.Mobile, c.EMail}};
}

} // namespace

Imported importLines(const QStringList &lines, qint64 groupId, const Progress &progress, const Refused &refused)
{
    Imported result;
    Database::Batch batch;
    ContactStore::Importer importer(groupId);
    QList<Customer> chunk;
    QList<ContactStore::Importer::Line> written;
    try {
        for (qsizetype first = 0; first < lines.size(); first += ChunkLines) {
            chunk.clear();
            written.clear();
            for (qsizetype at = first; at < std::min(lines.size(), first + ChunkLines); ++at) {
                chunk.append(parseLine(lines.at(at)));
                written.append(lineOf(chunk.last()));
            }
            qsizetype refusedHere = 0;
            importer.write(written, [&](qsizetype index, const AppError &) {
                const QString text = refusedText(chunk.at(index));
                result.refused.append(text);
                ++refusedHere;
                if (refused)
                    refused(text);
            });
            result.contacts += chunk.size() - refusedHere;
            if (progress)
                progress(result.contacts);
        }
    } catch (const AppError &error) {
        result.contacts += importer.storedBeforeError();
        AppError shown = batch.keepBefore(error, importedBefore(result.contacts));
        // A failed commit reports itself; the error that stopped the import
        // still comes first.
        if (!shown.description().startsWith(error.description()))
            shown =
                AppError(error.number(), error.description() + QLatin1Char('\n') + shown.description(), error.source());
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
