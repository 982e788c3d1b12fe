#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class CsvReader;

// Contacts from any delimited file a spreadsheet or an address book writes:
// the operator says which column fills which contact field, and what to do
// with a line whose cellphone number (by its E.164 key) the address book or
// an earlier line of the file already has.
namespace CsvImport {

struct Field
{
    QString column; // of Clients
    QString label;  // as the contact editor names it
};
// The fields a column can fill: the contact editor's, in its order.
const QList<Field> &fields();
QString labelOf(const QString &column);

// The field a heading names ("Cell", "Surname", "E-mail 1 - Value"), case,
// blanks and punctuation aside; empty when it names none.
QString fieldForHeading(const QString &heading);

// For each column of the file, the Clients column it fills; empty: ignored.
using Mapping = QStringList;

// Each heading's field, a field taken by the first heading that names it.
// Without headings, the first column holding a telephone number is the
// cellphone number and the first holding an e-mail address the e-mail.
Mapping automaticMapping(const QStringList &heading, const QStringList &firstRow = {});

// The mapping last imported with this heading row, kept in the settings
// store as a member of Settings::Family::CsvColumns named by mappingMember(); nothing when none is kept (or
// it no longer fits). Throws AppError when the store cannot be read.
std::optional<Mapping> rememberedMapping(const QStringList &heading);
void rememberMapping(const QStringList &heading, const Mapping &mapping);
// The SHA-1 of the headings.
QString mappingMember(const QStringList &heading);

enum class Duplicates { Skip, Update, Add };

struct DuplicateCount
{
    qint64 inBook = 0; // lines whose number a contact already has
    qint64 inFile = 0; // lines whose number an earlier line has (and no contact)
    qint64 lines = 0;  // rows read
    qint64 total() const { return inBook + inFile; }
};
// Reads the file through (from its first data row).
DuplicateCount countDuplicates(CsvReader &reader, const Mapping &mapping);

struct RefusedLine
{
    qint64 line = 0; // of the file, from 1
    QString reason;
};

struct Result
{
    qint64 added = 0;
    qint64 updated = 0;
    qint64 skipped = 0; // duplicates left out
    QList<RefusedLine> refused;
    bool cancelled = false; // nothing was stored
};

// Called every few hundred lines with the lines read so far; false cancels.
using Progress = std::function<bool(qint64 lines)>;

// Imports every line of the file (from its first data row) in one
// transaction, linking each contact to the group when groupId is not 0.
// Lines are refused, and listed with the reason, when they cannot be read,
// when their cellphone number is no telephone number, or when the database
// refuses their values; the rest go on. A cancel or any other error keeps
// nothing (the error is thrown as AppError).
Result import(CsvReader &reader, const Mapping &mapping, Duplicates duplicates, qint64 groupId,
              const Progress &progress = {});

} // namespace CsvImport
