#include "gateway/GatewayAnswers.h"

#include "data/OperatorTime.h"
#include "data/modFunctions.h"

#include <QDomDocument>
#include <QDomElement>
#include <QRegularExpression>

#include <algorithm>
#include <array>
#include <cmath>

namespace GatewayAnswers {

using modFunctions::DecimalText;
using modFunctions::LeadingNumber;
using modFunctions::StripLineBreaks;
using modFunctions::TrimBlanks;

namespace {

// The first `count` element children of an element, by position; a missing
// position is a null element.
template <std::size_t count>
std::array<QDomElement, count> childrenByPosition(const QDomElement &parent)
{
    std::array<QDomElement, count> children;
    std::size_t position = 0;
    for (QDomElement child = parent.firstChildElement(); !child.isNull() && position < count;
         child = child.nextSiblingElement())
        children[position++] = child;
    return children;
}

// The elements selected by "<root>/<item>" from the document.
template <typename Visit>
bool forEachItem(const QString &answer, const QString &root, const QString &item, Visit visit,
                 bool *rootFound = nullptr)
{
    QDomDocument document;
    if (!document.setContent(answer))
        return false;
    const QDomElement top = document.documentElement();
    if (rootFound)
        *rootFound = top.tagName() == root;
    if (top.tagName() != root)
        return true;
    for (QDomElement element = top.firstChildElement(item); !element.isNull();
         element = element.nextSiblingElement(item))
        visit(element);
    return true;
}

} // namespace

std::optional<double> credits(const QString &answer)
{
    const QString cleaned = TrimBlanks(StripLineBreaks(answer));
    if (cleaned.isEmpty()
        || !(cleaned.front().isDigit() || cleaned.front() == QLatin1Char('.') || cleaned.front() == QLatin1Char('-')))
        return std::nullopt;
    return LeadingNumber(cleaned);
}

SingleSmsAnswer singleSms(const QString &answer)
{
    SingleSmsAnswer result;
    const QString cleaned = StripLineBreaks(answer);
    result.cleaned = TrimBlanks(cleaned);
    if (answer.left(5).toUpper() == QStringLiteral("FALSE")) {
        QStringView rest = QStringView(result.cleaned).mid(5);
        while (!rest.isEmpty() && (rest.front().isSpace() || rest.front().isPunct()))
            rest = rest.mid(1);
        result.reason = rest.toString();
        return result;
    }
    result.accepted = true;
    result.batch = DecimalText(LeadingNumber(cleaned));
    return result;
}

std::optional<qint64> wholeKey(double value)
{
    // 2^63 is exact as a double; every whole double below it fits in 64 bits.
    if (!(value >= 0 && value < 9223372036854775808.0) || value != std::trunc(value))
        return std::nullopt;
    return static_cast<qint64>(value);
}

bool StatusEntry::delivered() const
{
    return flag.toUpper() == QStringLiteral("TRUE");
}

StatusReport statusReport(const QString &answer)
{
    StatusReport report;
    report.wellFormed =
        forEachItem(answer, QStringLiteral("sent"), QStringLiteral("msg"), [&report](const QDomElement &msg) {
            const auto children = childrenByPosition<7>(msg);
            const QDomElement &trn = children[0];
            const QDomElement &flag = children[5];
            const QDomElement &customer = children[6];
            std::optional<StatusEntry> entry;
            if (const auto number = trn.isNull() ? std::nullopt : wholeKey(LeadingNumber(trn.text()))) {
                report.highestTrn = std::max(report.highestTrn, *number);
                const auto customerId = customer.isNull() ? std::nullopt : wholeKey(LeadingNumber(customer.text()));
                if (!flag.isNull() && customerId)
                    entry = StatusEntry{*number, flag.text(), *customerId};
            }
            report.entries.append(entry);
        });
    return report;
}

RepliesList replies(const QString &answer)
{
    RepliesList list;
    list.wellFormed = forEachItem(
        answer, QStringLiteral("replies"), QStringLiteral("reply"),
        [&list](const QDomElement &element) {
            ++list.total;
            const auto children = childrenByPosition<8>(element);
            for (int position : {0, 2, 3, 4, 5, 6, 7}) {
                if (children[std::size_t(position)].isNull())
                    return;
            }
            Reply reply;
            reply.incomingId = children[0].text();
            reply.phoneNumber = children[2].text();
            reply.message = children[3].text();
            reply.received = children[4].text();
            reply.sentMessage = children[5].text();
            reply.sentDateTime = children[6].text();
            // An identifier that names no outbox row (negative, a fraction, past
            // 64 bits) leaves the reply unlinked; its text, a STOP among them,
            // still counts.
            reply.smsSendId = wholeKey(LeadingNumber(children[7].text())).value_or(0);
            list.replies.append(reply);
        },
        &list.listed);
    return list;
}

QString shortWords(const QString &answer)
{
    constexpr qsizetype Longest = 120;
    static const QRegularExpression title(QStringLiteral("<title[^>]*>(.*?)</title>"),
                                          QRegularExpression::CaseInsensitiveOption
                                              | QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression tag(QStringLiteral("<[^>]*>"));
    const QRegularExpressionMatch titled = title.match(answer);
    QString words = titled.hasMatch() ? titled.captured(1) : QString(answer).remove(tag);
    words = words.simplified();
    return words.size() <= Longest ? words : QString();
}

namespace {

QTime timeOf(const QRegularExpressionMatch &match, bool &ok)
{
    ok = true;
    if (match.captured(QStringLiteral("hour")).isEmpty())
        return QTime(0, 0);
    int hour = match.captured(QStringLiteral("hour")).toInt();
    const int minute = match.captured(QStringLiteral("minute")).toInt();
    const int second = match.captured(QStringLiteral("second")).toInt();
    const QString half = match.captured(QStringLiteral("half")).toUpper().remove(QLatin1Char('.'));
    if (!half.isEmpty()) {
        if (hour < 1 || hour > 12) {
            ok = false;
            return {};
        }
        hour = (hour % 12) + (half == QStringLiteral("PM") ? 12 : 0);
    }
    const QTime time(hour, minute, second);
    ok = time.isValid();
    return time;
}

QDateTime withZone(const QDate &date, const QTime &time, const QString &zone)
{
    if (zone.isEmpty())
        return QDateTime(date, time);
    int offset = 0;
    if (zone.toUpper() != QStringLiteral("Z")) {
        QString digits = zone.mid(1);
        digits.remove(QLatin1Char(':'));
        offset = (digits.left(2).toInt() * 60 + digits.mid(2, 2).toInt()) * 60;
        if (zone.startsWith(QLatin1Char('-')))
            offset = -offset;
    }
    return OperatorTime::current().local(QDateTime(date, time, Qt::OffsetFromUTC, offset));
}

} // namespace

std::optional<QDateTime> dateTime(const QString &text)
{
    static const QString timePart =
        QStringLiteral(R"((?:(?:[ T]+)(?<hour>\d{1,2}):(?<minute>\d{2})(?::(?<second>\d{2})(?:[.,]\d+)?)?)"
                       R"((?:\s*(?<half>AM|PM|A\.M\.|P\.M\.))?)?\s*(?<zone>Z|[+-]\d{2}:?\d{2})?)");
    static const QRegularExpression yearFirst(
        QStringLiteral(R"(^(?<year>\d{4})(?<sep>[-/.])(?<first>\d{1,2})\k<sep>(?<second_>\d{1,2}))") + timePart
            + QStringLiteral("$"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression yearLast(
        QStringLiteral(R"(^(?<first>\d{1,2})(?<sep>[-/.])(?<second_>\d{1,2})\k<sep>(?<year>\d{4}))") + timePart
            + QStringLiteral("$"),
        QRegularExpression::CaseInsensitiveOption);

    const QString simplified = text.simplified();
    if (simplified.isEmpty())
        return std::nullopt;

    QRegularExpressionMatch match = yearFirst.match(simplified);
    const bool isYearFirst = match.hasMatch();
    if (!isYearFirst)
        match = yearLast.match(simplified);
    if (!match.hasMatch())
        return std::nullopt;

    const int year = match.captured(QStringLiteral("year")).toInt();
    const int first = match.captured(QStringLiteral("first")).toInt();
    const int second = match.captured(QStringLiteral("second_")).toInt();
    QDate date;
    if (isYearFirst) {
        date = QDate(year, first, second);
    } else {
        date = QDate(year, second, first); // day first
        if (!date.isValid())
            date = QDate(year, first, second); // month first, when day first cannot be
    }
    if (!date.isValid())
        return std::nullopt;

    bool timeOk = false;
    const QTime time = timeOf(match, timeOk);
    if (!timeOk)
        return std::nullopt;
    const QDateTime result = withZone(date, time, match.captured(QStringLiteral("zone")));
    if (!result.isValid())
        return std::nullopt;
    return result;
}

QVariant storedDateTime(const QString &text)
{
    const auto value = dateTime(text);
    if (!value)
        return QVariant(QMetaType::fromType<QString>());
    return value->toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

} // namespace GatewayAnswers
