#include "contacts/CsvImport.h"

#include "contacts/ContactStore.h"
#include "data/AppError.h"
#include "data/CsvReader.h"
#include "data/Database.h"
#include "data/PhoneNumbers.h"
#include "settings/Settings.h"

#include <QCryptographicHash>
#include <QHash>
#include <QSet>
#include <QSqlQuery>

#include <algorithm>

namespace CsvImport {

namespace {

// Lines written under one savepoint (see ContactStore::Importer).
constexpr qsizetype ChunkLines = 256;

QString normalised(const QString &heading)
{
    QString plain;
    for (const QChar c : heading) {
        if (c.isLetterOrNumber())
            plain.append(c.toCaseFolded());
    }
    return plain;
}

// Headings as spreadsheets, Google Contacts and Outlook write them, in the
// normalised form; every field's own column name and label are added.
const QHash<QString, QString> &headings()
{
    static const QHash<QString, QString> known = [] {
        QHash<QString, QString> map{
            {QStringLiteral("mobile"), QStringLiteral("Mobile")},
            {QStringLiteral("cell"), QStringLiteral("Mobile")},
            {QStringLiteral("cellphone"), QStringLiteral("Mobile")},
            {QStringLiteral("cellno"), QStringLiteral("Mobile")},
            {QStringLiteral("cellnumber"), QStringLiteral("Mobile")},
            {QStringLiteral("cellular"), QStringLiteral("Mobile")},
            {QStringLiteral("mobilephone"), QStringLiteral("Mobile")},
            {QStringLiteral("mobileno"), QStringLiteral("Mobile")},
            {QStringLiteral("mobilenumber"), QStringLiteral("Mobile")},
            {QStringLiteral("phone"), QStringLiteral("Mobile")},
            {QStringLiteral("phonenumber"), QStringLiteral("Mobile")},
            {QStringLiteral("phone1value"), QStringLiteral("Mobile")},
            {QStringLiteral("firstname"), QStringLiteral("FirstName")},
            {QStringLiteral("givenname"), QStringLiteral("FirstName")},
            {QStringLiteral("forename"), QStringLiteral("FirstName")},
            {QStringLiteral("lastname"), QStringLiteral("LastName")},
            {QStringLiteral("surname"), QStringLiteral("LastName")},
            {QStringLiteral("familyname"), QStringLiteral("LastName")},
            {QStringLiteral("email"), QStringLiteral("EMail")},
            {QStringLiteral("emailaddress"), QStringLiteral("EMail")},
            {QStringLiteral("email1value"), QStringLiteral("EMail")},
            {QStringLiteral("company"), QStringLiteral("Company")},
            {QStringLiteral("companyname"), QStringLiteral("Company")},
            {QStringLiteral("organisation"), QStringLiteral("Company")},
            {QStringLiteral("organization"), QStringLiteral("Company")},
            {QStringLiteral("organization1name"), QStringLiteral("Company")},
            {QStringLiteral("title"), QStringLiteral("Salute")},
            {QStringLiteral("accountnumber"), QStringLiteral("AssNo")},
            {QStringLiteral("accountno"), QStringLiteral("AssNo")},
            {QStringLiteral("worktelephone"), QStringLiteral("TelWork")},
            {QStringLiteral("workphone"), QStringLiteral("TelWork")},
            {QStringLiteral("businessphone"), QStringLiteral("TelWork")},
            {QStringLiteral("homephone"), QStringLiteral("TelHome")},
            {QStringLiteral("hometelephone"), QStringLiteral("TelHome")},
            {QStringLiteral("businessfax"), QStringLiteral("Fax")},
            {QStringLiteral("postcode"), QStringLiteral("PostalCode")},
            {QStringLiteral("zipcode"), QStringLiteral("PostalCode")},
            {QStringLiteral("town"), QStringLiteral("Address3")},
            {QStringLiteral("city"), QStringLiteral("Address3")},
        };
        for (const Field &field : fields()) {
            map.insert(normalised(field.column), field.column);
            map.insert(normalised(field.label), field.column);
        }
        return map;
    }();
    return known;
}

// Mobile number to the first contact (lowest ClientID) holding it.
QHash<QString, qint64> bookNumbers()
{
    QHash<QString, qint64> numbers;
    QSqlQuery query = Database::run(QStringLiteral(
        "SELECT ClientID, Mobile FROM Clients WHERE trim(coalesce(Mobile, '')) <> '' ORDER BY ClientID"));
    while (query.next()) {
        const QString key = PhoneNumbers::e164Key(query.value(1).toString());
        if (!key.isEmpty() && !numbers.contains(key))
            numbers.insert(key, query.value(0).toLongLong());
    }
    return numbers;
}

QString cell(const CsvReader::Record &record, qsizetype column)
{
    return column < record.cells.size() ? record.cells.at(column).trimmed() : QString();
}

} // namespace

const QList<Field> &fields()
{
    static const QList<Field> all{
        {QStringLiteral("AssNo"), QStringLiteral("Ass No")},
        {QStringLiteral("LastName"), QStringLiteral("Last Name")},
        {QStringLiteral("FirstName"), QStringLiteral("First Name")},
        {QStringLiteral("Initials"), QStringLiteral("Initials")},
        {QStringLiteral("Salute"), QStringLiteral("Salute")},
        {QStringLiteral("EnrollerAssNo"), QStringLiteral("Enroller")},
        {QStringLiteral("Company"), QStringLiteral("Company")},
        {QStringLiteral("Address1"), QStringLiteral("Address 1")},
        {QStringLiteral("Address2"), QStringLiteral("Address 2")},
        {QStringLiteral("Address3"), QStringLiteral("Town")},
        {QStringLiteral("PostalCode"), QStringLiteral("Postal Code")},
        {QStringLiteral("TelWork"), QStringLiteral("Tel (Work)")},
        {QStringLiteral("TelHome"), QStringLiteral("Tel (Home)")},
        {QStringLiteral("Fax"), QStringLiteral("Fax")},
        {QStringLiteral("Mobile"), QStringLiteral("Cellphone")},
        {QStringLiteral("EMail"), QStringLiteral("E-Mail")},
    };
    return all;
}

QString labelOf(const QString &column)
{
    for (const Field &field : fields()) {
        if (field.column == column)
            return field.label;
    }
    return QString();
}

QString fieldForHeading(const QString &heading)
{
    return headings().value(normalised(heading));
}

Mapping automaticMapping(const QStringList &heading, const QStringList &firstRow)
{
    Mapping mapping;
    QSet<QString> taken;
    const qsizetype columns = std::max(heading.size(), firstRow.size());
    for (qsizetype i = 0; i < columns; ++i) {
        QString field;
        if (!heading.isEmpty())
            field = fieldForHeading(heading.value(i));
        else if (CsvReader::looksLikeNumber(firstRow.at(i).trimmed()))
            field = QStringLiteral("Mobile");
        else if (CsvReader::looksLikeEmail(firstRow.at(i).trimmed()))
            field = QStringLiteral("EMail");
        if (taken.contains(field))
            field.clear();
        if (!field.isEmpty())
            taken.insert(field);
        mapping.append(field);
    }
    return mapping;
}

QString mappingMember(const QStringList &heading)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(heading.join(QChar(0x1F)).toUtf8(), QCryptographicHash::Sha1).toHex());
}

std::optional<Mapping> rememberedMapping(const QStringList &heading)
{
    if (heading.isEmpty())
        return std::nullopt;
    const QString kept = Settings::text(Settings::Family::CsvColumns, mappingMember(heading));
    if (kept.isEmpty())
        return std::nullopt;
    const Mapping mapping = kept.split(QLatin1Char(','));
    if (mapping.size() != heading.size())
        return std::nullopt;
    for (const QString &column : mapping) {
        if (!column.isEmpty() && labelOf(column).isEmpty())
            return std::nullopt;
    }
    return mapping;
}

void rememberMapping(const QStringList &heading, const Mapping &mapping)
{
    if (!heading.isEmpty())
        Settings::setText(Settings::Family::CsvColumns, mappingMember(heading), mapping.join(QLatin1Char(',')));
}

DuplicateCount countDuplicates(CsvReader &reader, const Mapping &mapping)
{
    DuplicateCount count;
    const qsizetype mobile = mapping.indexOf(QStringLiteral("Mobile"));
    const QHash<QString, qint64> book = mobile < 0 ? QHash<QString, qint64>() : bookNumbers();
    QSet<QString> seen;
    reader.rewind();
    CsvReader::Record record;
    while (reader.next(record)) {
        ++count.lines;
        if (mobile < 0)
            continue;
        const QString number = cell(record, mobile);
        if (number.isEmpty())
            continue;
        const PhoneNumbers::Reading reading = PhoneNumbers::read(number);
        const QString &key = reading.key;
        if (key.isEmpty() || reading.verdict == PhoneNumbers::Verdict::Invalid)
            continue;
        if (book.contains(key))
            ++count.inBook;
        else if (seen.contains(key))
            ++count.inFile;
        seen.insert(key);
    }
    reader.rewind();
    return count;
}

namespace {

// One import's lines, written a chunk at a time; a duplicate is judged
// against the book and the lines taken before it.
class ImportRun
{
public:
    ImportRun(const Mapping &mapping, Duplicates duplicates, qint64 groupId)
        : m_columns(ContactStore::editedColumns()), m_source(m_columns.size(), -1),
          m_mobileColumn(m_columns.indexOf(QStringLiteral("Mobile"))), m_duplicates(duplicates), m_known(bookNumbers()),
          m_importer(groupId)
    {
        for (qsizetype i = 0; i < mapping.size(); ++i) {
            const qsizetype at = m_columns.indexOf(mapping.at(i));
            if (at >= 0 && m_source[at] < 0)
                m_source[at] = i;
        }
    }

    void take(const CsvReader::Record &record)
    {
        if (!record.error.isEmpty()) {
            result.refused.append({record.line, record.error});
            return;
        }
        std::optional<ContactStore::Importer::Line> line = lineOf(record);
        if (!line)
            return;
        QString key;
        const QString number = line->values.at(m_mobileColumn).toString();
        if (!number.isEmpty()) {
            const PhoneNumbers::Reading reading = PhoneNumbers::read(number);
            key = reading.key;
            if (key.isEmpty() || reading.verdict == PhoneNumbers::Verdict::Invalid) {
                result.refused.append(
                    {record.line,
                     QStringLiteral("The cellphone number \"%1\" is not a telephone number.").arg(number)});
                return;
            }
        }
        if (!key.isEmpty() && (m_known.contains(key) || m_seen.contains(key))) {
            if (m_duplicates == Duplicates::Skip) {
                ++result.skipped;
                return;
            }
            if (m_duplicates == Duplicates::Update)
                makeUpdate(*line, key);
        }
        if (!key.isEmpty()) {
            m_seen.insert(key);
            m_pendingKeys.insert(key);
        }
        m_lines.append(std::move(*line));
        m_lineNumbers.append(record.line);
        m_lineKeys.append(key);
    }

    bool chunkFull() const { return m_lines.size() >= ChunkLines; }

    void flush()
    {
        if (m_lines.isEmpty())
            return;
        const QList<qint64> keys = m_importer.write(m_lines, [&](qsizetype index, const AppError &error) {
            result.refused.append({m_lineNumbers.at(index), error.description()});
        });
        for (qsizetype i = 0; i < m_lines.size(); ++i) {
            if (keys.at(i) == 0)
                continue;
            if (m_lines.at(i).update != 0)
                ++result.updated;
            else
                ++result.added;
            if (!m_lineKeys.at(i).isEmpty() && !m_known.contains(m_lineKeys.at(i)))
                m_known.insert(m_lineKeys.at(i), keys.at(i));
        }
        m_lines.clear();
        m_lineNumbers.clear();
        m_lineKeys.clear();
        m_pendingKeys.clear();
    }

    Result result;

private:
    // The line's values in the edited columns; nothing for a line whose
    // mapped cells are all empty.
    std::optional<ContactStore::Importer::Line> lineOf(const CsvReader::Record &record) const
    {
        ContactStore::Importer::Line line;
        line.values.resize(m_columns.size());
        bool blank = true;
        for (qsizetype c = 0; c < m_columns.size(); ++c) {
            if (m_source[c] < 0)
                continue;
            const QString value = cell(record, m_source[c]);
            blank = blank && value.isEmpty();
            line.values[c] = value.isNull() ? QStringLiteral("") : value;
        }
        if (blank)
            return std::nullopt;
        return line;
    }

    // The line updates the contact with its number, leaving the columns it
    // has no text for as they are.
    void makeUpdate(ContactStore::Importer::Line &line, const QString &key)
    {
        // The contact an earlier line of this chunk adds is known once the
        // chunk is written.
        if (m_pendingKeys.contains(key))
            flush();
        line.update = m_known.value(key);
        if (line.update == 0)
            return;
        for (QVariant &value : line.values) {
            if (value.toString().isEmpty())
                value = QVariant();
        }
    }

    const QStringList &m_columns;
    // For each edited column, the file's column that fills it (-1: none).
    QList<qsizetype> m_source;
    const qsizetype m_mobileColumn;
    const Duplicates m_duplicates;
    QHash<QString, qint64> m_known; // the book's numbers, then also the contacts this file added
    QSet<QString> m_seen;
    ContactStore::Importer m_importer;
    // The chunk not yet written, with each line's number in the file and key.
    QList<ContactStore::Importer::Line> m_lines;
    QList<qint64> m_lineNumbers;
    QStringList m_lineKeys;
    QSet<QString> m_pendingKeys;
};

Result importAll(CsvReader &reader, const Mapping &mapping, Duplicates duplicates, qint64 groupId,
                 const Progress &progress)
{
    Database::Batch batch;
    ImportRun run(mapping, duplicates, groupId);
    reader.rewind();
    CsvReader::Record record;
    qint64 read = 0;
    while (reader.next(record)) {
        ++read;
        run.take(record);
        if (run.chunkFull()) {
            run.flush();
            if (progress && !progress(read)) {
                run.result.cancelled = true;
                return run.result;
            }
        }
    }
    run.flush();
    if (progress && !progress(read)) {
        run.result.cancelled = true;
        return run.result;
    }
    batch.commit();
    // Lines the database refused are known only when their chunk is written.
    std::stable_sort(run.result.refused.begin(), run.result.refused.end(),
                     [](const RefusedLine &a, const RefusedLine &b) { return a.line < b.line; });
    return run.result;
}

} // namespace

Result import(CsvReader &reader, const Mapping &mapping, Duplicates duplicates, qint64 groupId,
              const Progress &progress)
{
    try {
        return importAll(reader, mapping, duplicates, groupId, progress);
    } catch (const AppError &error) {
        if (error.description().endsWith(QStringLiteral("Nothing was stored.")))
            throw;
        throw AppError(error.number(), error.description() + QStringLiteral("\nNothing was stored."), error.source(),
                       error.state());
    }
}

} // namespace CsvImport
