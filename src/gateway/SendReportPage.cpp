#include "gateway/SendReportPage.h"

#include "data/modFunctions.h"
#include "gateway/GatewayAnswers.h"

using modFunctions::StripLineBreaks;
using modFunctions::TrimBlanks;

namespace SendReportPage {

namespace {

const QString ColumnNames[] = {QStringLiteral("SENTID"),   QStringLiteral("PHONENUMBER"), QStringLiteral("DATA"),
                               QStringLiteral("DATETIME"), QStringLiteral("CUSTOMERID"),  QStringLiteral("SENTSTATUS")};

QString cleanCell(const QString &cell, int position)
{
    QString text = StripLineBreaks(cell);
    text.remove(QStringLiteral("<TR>"));
    if (position == 0) {
        text.remove(QStringLiteral("TR>"));
        text.remove(QStringLiteral("<TD>"));
        text.remove(QLatin1Char('>'));
    } else {
        text.remove(QStringLiteral("<TD>"));
    }
    return TrimBlanks(text);
}

} // namespace

bool holdsReport(const QString &page)
{
    return page.contains(QStringLiteral("DATAGRID"), Qt::CaseInsensitive);
}

QStringList rowTexts(const QString &page)
{
    const QString marker = QStringLiteral("DATAGRID");
    // Upper-cased once: a letter whose upper case is longer ("ß") must not
    // shift the positions found in it.
    const QString upper = page.toUpper();
    const qsizetype at = upper.indexOf(marker);
    // Past the word and the one character after it (the ">" of a plain table tag).
    const qsizetype from = at < 0 ? marker.size() : at + marker.size() + 1;
    QString rest = upper.mid(from);
    const qsizetype end = rest.indexOf(QStringLiteral("</TABLE>"));
    if (end >= 0)
        rest.truncate(end);
    return rest.split(QStringLiteral("</TR>"));
}

std::optional<qint64> Row::outboxKey() const
{
    const QString id = TrimBlanks(customerId);
    if (id.isEmpty() || id.toUpper() == QStringLiteral("NONE"))
        return std::nullopt;
    return GatewayAnswers::wholeKey(modFunctions::LeadingNumber(id));
}

bool Row::delivered() const
{
    return TrimBlanks(status).toUpper() == QStringLiteral("SENT");
}

Row readRow(const QString &rowText)
{
    const QStringList cells = rowText.split(QStringLiteral("</TD>"));
    QString values[6];
    for (int position = 0; position < 6 && position < cells.size(); ++position) {
        const QString text = cleanCell(cells.at(position), position);
        if (text != ColumnNames[position])
            values[position] = text;
    }
    return {values[0], values[1], values[2], values[3], values[4], values[5]};
}

std::optional<QHash<qint64, QString>> received(const QString &page)
{
    if (!holdsReport(page) || !page.contains(QStringLiteral("</TABLE>"), Qt::CaseInsensitive))
        return std::nullopt;
    const QStringList rows = rowTexts(page);
    const QStringList heading = rows.first().split(QStringLiteral("</TD>"));
    for (int position = 0; position < 6; ++position)
        if (heading.size() <= position || cleanCell(heading.at(position), position) != ColumnNames[position])
            return std::nullopt;
    QHash<qint64, QString> listed;
    for (qsizetype number = 1; number < rows.size(); ++number) {
        const Row row = readRow(rows.at(number));
        if (const std::optional<qint64> key = row.outboxKey())
            listed.insert(*key, row.sentId);
    }
    return listed;
}

} // namespace SendReportPage
