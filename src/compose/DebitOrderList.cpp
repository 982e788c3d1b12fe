#include "compose/DebitOrderList.h"

#include "campaigns/MessageFill.h"
#include "data/Database.h"
#include "data/TextFiles.h"
#include "data/modFunctions.h"

namespace DebitOrderList {

namespace {
struct Reason
{
    int code;
    const char *text;
};

constexpr Reason Reasons[] = {
    {2, "Insufficient funds"},     {3, "Debit not allowed"},      {4, "Payment stopped"},
    {6, "Account frozen"},         {8, "Debit not allowed"},      {10, "Debit not allowed"},
    {12, "Account closed"},        {14, "Account transfered"},    {16, "Account transfered"},
    {18, "Debit not allowed"},     {22, "Debit not cleared"},     {26, "No such account"},
    {28, "Recall/Withdrawel"},     {30, "No Authority"},          {32, "Debit not allowed"},
    {34, "Debit not allowed"},     {36, "Previously stopped"},    {63, "Homing Branch Failed"},
    {73, "Homing Account Failed"}, {82506, "Invalid Homing Acc"},
};

constexpr int ShortLinesNamed = 10;

// The closing row's message to the operator's own number.
const QString Finished = QStringLiteral("Finished Sending.");

bool lineInvalid(const Row &row)
{
    return modFunctions::TrimBlanks(row.id).isEmpty() || modFunctions::TrimBlanks(row.cellphone).isEmpty()
           || modFunctions::TrimBlanks(row.message).isEmpty();
}

bool cellTooShort(const Row &row)
{
    return !row.cellphone.isEmpty() && row.cellphone.size() < CellTooShortBelow;
}
} // namespace

Style styleOf(const Row &row)
{
    Style style = Style::None;
    if (lineInvalid(row))
        style = Style::LineInvalid;
    if (row.message.size() >= MessageTooLongAt)
        style = Style::MessageTooLong;
    if (cellTooShort(row))
        style = Style::CellTooShort;
    return style;
}

bool markedOut(const Row &row)
{
    return lineInvalid(row) || cellTooShort(row);
}

QString reasonText(const QString &field)
{
    const double value = modFunctions::LeadingNumber(field);
    for (const Reason &reason : Reasons)
        if (value == double(reason.code))
            return QString::fromLatin1(reason.text);
    return field;
}

Loaded parse(const QStringList &lines, const QString &message, bool readReason)
{
    Loaded loaded;
    loaded.fieldsRequired = readReason ? 3 : 2;
    const QString text = modFunctions::TrimBlanks(message);
    for (const QString &line : lines) {
        ++loaded.linesRead;
        if (modFunctions::TrimBlanks(line).isEmpty())
            continue;
        const QStringList fields = line.split(QLatin1Char(','));
        // Only an account line can be short; a heading or any other line is
        // not one and is left out.
        const QString id = modFunctions::TrimBlanks(fields.at(0));
        if (!(modFunctions::LeadingNumber(id) > 0))
            continue;
        if (fields.size() < loaded.fieldsRequired) {
            loaded.shortLines.append(loaded.linesRead);
            continue;
        }
        const QString reason = readReason ? reasonText(modFunctions::TrimBlanks(fields.at(2))) : QString();
        loaded.rows.append(Row{id, modFunctions::TrimBlanks(fields.at(1)), text + modFunctions::TrimBlanks(reason)});
    }
    return loaded;
}

Loaded load(const QString &path, const QString &message, bool readReason)
{
    return parse(TextFiles::readLines(path), message, readReason);
}

QString shortLinesNotice(const Loaded &loaded)
{
    const qsizetype count = loaded.shortLines.size();
    if (count == 0)
        return {};
    QStringList numbers;
    for (qsizetype i = 0; i < count && i < ShortLinesNamed; ++i)
        numbers << QString::number(loaded.shortLines.at(i));
    QString list = numbers.join(QStringLiteral(", "));
    list += count > ShortLinesNamed ? QStringLiteral(", ...") : QStringLiteral(".");
    const QString fields = QString::number(loaded.fieldsRequired);
    if (count == 1)
        return QStringLiteral("1 line was not loaded because it has fewer than %1 fields: line %2").arg(fields, list);
    return QStringLiteral("%1 lines were not loaded because they have fewer than %2 fields: lines %3")
        .arg(QString::number(count), fields, list);
}

Plan screen(const QList<Row> &rows, const QString &ownNumber)
{
    Plan plan;
    NumberScreen screen(QStringLiteral("file"));
    for (const Row &row : rows) {
        if (markedOut(row))
            ++plan.markedOut;
        else if (screen.admit(row.cellphone, {}, modFunctions::TrimBlanks(row.message)))
            plan.rows.append(row);
    }
    const QString own = modFunctions::TrimBlanks(ownNumber);
    if (!own.isEmpty() && screen.admit(own, {}, Finished))
        plan.ownNumber = own;
    plan.skipped = screen.skipped();
    return plan;
}

Imported import(const QList<Row> &rows, const QString &ownNumber, QueueCampaign *campaign)
{
    Imported imported;
    writeInBatch(
        [&](OutboxWriter &writer) {
            for (const Row &row : rows) {
                writer.queueMessage(modFunctions::TrimBlanks(row.cellphone), modFunctions::TrimBlanks(row.message));
                ++imported.rows;
            }
            const QString own = modFunctions::TrimBlanks(ownNumber);
            if (!own.isEmpty()) {
                writer.queueMessage(own, Finished);
                imported.toSelf = true;
            }
        },
        campaign, MessageFill::forCampaign(campaign));
    return imported;
}

QString importedText(const Imported &imported)
{
    QString text = QStringLiteral("Done Importing ") + QString::number(imported.rows) + QStringLiteral(" records")
                   + (imported.toSelf ? QStringLiteral(" and 1 to yourself") : QString());
    if (imported.markedOut == 1)
        text += QStringLiteral("\n1 marked row was left out.");
    else if (imported.markedOut > 1)
        text += QStringLiteral("\n%1 marked rows were left out.").arg(imported.markedOut);
    return text;
}

} // namespace DebitOrderList
