#include "contacts/CustomerImport.h"

#include "data/AppError.h"
#include "data/Database.h"
#include "data/TextFiles.h"
#include "data/modFunctions.h"

#include <QList>
#include <QSqlQuery>
#include <QStringView>

namespace CustomerImport {

namespace {

using Items = QList<QStringView>;

QVariant cleaned(const Items &items, qsizetype index)
{
    if (index >= items.size())
        return {};
    return modFunctions::TrimBlanks(modFunctions::CleanString(items.at(index).toString()));
}

QVariant number(const Items &items, qsizetype index)
{
    const QVariant value = cleaned(items, index);
    if (!value.isValid())
        return {};
    return modFunctions::TrimBlanks(value.toString().remove(QLatin1Char('-')));
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
    if (!line.isEmpty())
        items = QStringView(line).split(u',');

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

Imported importLines(const QStringList &lines, qint64 groupId, const Progress &progress, const Refused &refused)
{
    Imported result;
    Database::Batch batch;
    // Each line is written under a savepoint of its own, so a refused line
    // takes back its contact and its group link together and the batch goes on.
    Database::Statement begin(QStringLiteral("SAVEPOINT customer"));
    Database::Statement release(QStringLiteral("RELEASE customer"));
    Database::Statement undo(QStringLiteral("ROLLBACK TO customer"));
    Database::Statement addClient(QStringLiteral(
        "INSERT INTO Clients (AssNo, FirstName, Company, Address1, Address2, Address3, PostalCode, "
        "TelWork, Fax, Mobile, EMail) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    Database::Statement addLink(QStringLiteral("INSERT INTO GroupLinking (GroupID, ClientID) VALUES (?, ?)"));
    try {
        for (const QString &line : lines) {
            const Customer c = parseLine(line);
            begin.run({});
            try {
                const qint64 clientId = addClient.insert({c.AssNo, c.FirstName, c.Company, c.Address1, c.Address2,
                                                          c.Address3, c.PostalCode, c.TelWork, c.Fax, c.Mobile, c.EMail});
                if (groupId != 0)
                    addLink.run({groupId, clientId});
                release.run({});
            } catch (const AppError &error) {
                try {
                    undo.run({});
                    release.run({});
                } catch (const AppError &) {
                    // The savepoint is gone with the whole transaction: nothing
                    // of this batch can be kept, whatever the first error was.
                    throw error;
                }
                if (!Database::refusesTheRow(error))
                    throw;
                const QString text = refusedText(c);
                result.refused.append(text);
                if (refused)
                    refused(text);
                if (progress)
                    progress(result.contacts);
                continue;
            }
            ++result.contacts;
            if (progress)
                progress(result.contacts);
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
