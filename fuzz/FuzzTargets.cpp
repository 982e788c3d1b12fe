#include "FuzzTargets.h"

#include "compose/DebitOrderList.h"
#include "contacts/CsvImport.h"
#include "contacts/CustomerImport.h"
#include "data/CsvReader.h"
#include "data/TextFiles.h"
#include "data/modFunctions.h"
#include "gateway/GatewayAnswers.h"
#include "gateway/HttpAnswerParser.h"
#include "gateway/SendReportPage.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdlib>
#include <cstring>

namespace {

// Files arrive as bytes in any encoding; answers as text.
QString text(const uint8_t *data, size_t size)
{
    return TextFiles::decode(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
}

void debitOrder(const QString &input)
{
    const QStringList lines = input.split(QLatin1Char('\n'));
    for (const bool reason : {false, true}) {
        const DebitOrderList::Loaded loaded = DebitOrderList::parse(lines, QStringLiteral("Pay now"), reason);
        for (const DebitOrderList::Row &row : loaded.rows)
            DebitOrderList::styleOf(row);
        DebitOrderList::shortLinesNotice(loaded);
    }
    for (const QString &field : input.split(QLatin1Char(',')))
        DebitOrderList::reasonText(field);
}

void customerFile(const QString &input)
{
    for (const QString &line : input.split(QLatin1Char('\n')))
        CustomerImport::refusedText(CustomerImport::parseLine(line));
}

// Any bytes as a delimited file: read through twice, the second time with
// the heading row taken the other way, and mapped as the import window maps it.
void csvFile(const uint8_t *data, size_t size)
{
    CsvReader reader(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)),
                     [](const QString &cell) { return !CsvImport::fieldForHeading(cell).isEmpty(); });
    CsvReader::Record record;
    QStringList first;
    for (const bool heading : {reader.hasHeading(), !reader.hasHeading()}) {
        reader.setHasHeading(heading);
        qint64 line = 0;
        while (reader.next(record)) {
            // Rows come in file order, each from a line of its own.
            if (record.line <= line)
                std::abort();
            line = record.line;
            if (first.isEmpty())
                first = record.cells;
        }
        CsvImport::automaticMapping(reader.heading(), first);
    }
}

void answers(const QString &input)
{
    GatewayAnswers::credits(input);
    GatewayAnswers::singleSms(input);
    GatewayAnswers::wholeKey(modFunctions::LeadingNumber(input));
    GatewayAnswers::statusReport(input);
    GatewayAnswers::replies(input);
    GatewayAnswers::dateTime(input);
    GatewayAnswers::storedDateTime(input);
}

void reportPage(const QString &input)
{
    for (const QString &row : SendReportPage::rowTexts(input))
        SendReportPage::readRow(row);
    SendReportPage::readRow(input);
}

// The answer fed in pieces whose sizes come from the first byte, then closed.
void httpAnswer(const uint8_t *data, size_t size)
{
    const size_t piece = size > 0 ? 1 + data[0] % 64 : 1;
    HttpAnswerParser parser;
    for (size_t at = size > 0 ? 1 : 0; at < size; at += piece) {
        const size_t length = std::min(piece, size - at);
        if (parser.feed(QByteArrayView(reinterpret_cast<const char *>(data + at), qsizetype(length)))
            != HttpAnswerParser::State::Incomplete)
            break;
    }
    parser.closed();
    parser.keepAlive();
}

void textRoutines(const QString &input)
{
    modFunctions::ProperCase(input);
    modFunctions::LowerCaseWords(input, {QStringLiteral("van"), QStringLiteral("de"), QStringLiteral("der")});
    modFunctions::CleanString(input);
    modFunctions::StripLineBreaks(input);
    modFunctions::DecimalText(modFunctions::LeadingNumber(input));
    modFunctions::TrimBlanks(input);
}

} // namespace

const char *const FuzzTargetNames[] = {"debit-order",   "customer-file", "gateway-answers",
                                       "report-page",   "http-answer",   "leading-number",
                                       "text-routines", "csv-file",      nullptr};

int fuzzTarget(const char *name, const uint8_t *data, size_t size)
{
    if (std::strcmp(name, "http-answer") == 0) {
        httpAnswer(data, size);
        return 0;
    }
    if (std::strcmp(name, "csv-file") == 0) {
        csvFile(data, size);
        return 0;
    }
    const QString input = text(data, size);
    if (std::strcmp(name, "debit-order") == 0)
        debitOrder(input);
    else if (std::strcmp(name, "customer-file") == 0)
        customerFile(input);
    else if (std::strcmp(name, "gateway-answers") == 0)
        answers(input);
    else if (std::strcmp(name, "report-page") == 0)
        reportPage(input);
    else if (std::strcmp(name, "leading-number") == 0)
        modFunctions::DecimalText(modFunctions::LeadingNumber(input));
    else if (std::strcmp(name, "text-routines") == 0)
        textRoutines(input);
    else
        return -1;
    return 0;
}
