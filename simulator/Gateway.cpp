#include "Gateway.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <optional>
#include <utility>

namespace {

constexpr qsizetype ReportPageSize = 100;

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool sameText(QByteArrayView a, QByteArrayView b)
{
    return a.size() == b.size() && a.compare(b, Qt::CaseInsensitive) == 0;
}

// The canonical spelling of a request type that the script serves, or empty.
QString canonicalType(const QString &type, bool page)
{
    if (page)
        return type.compare(QLatin1String("SentID"), Qt::CaseInsensitive) == 0 ? QStringLiteral("SentID") : QString();
    static const QStringList types{QStringLiteral("Credits"), QStringLiteral("SingleSMS"), QStringLiteral("Sent"),
                                   QStringLiteral("replies")};
    for (const QString &known : types) {
        if (type.compare(known, Qt::CaseInsensitive) == 0)
            return known;
    }
    return {};
}

// The leading whole number of a text, 0 when there is none or it is negative.
qint64 leadingCount(const QString &text)
{
    qint64 value = 0;
    for (const QChar c : text.trimmed()) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            break;
        if (value > (std::numeric_limits<qint64>::max() - 9) / 10)
            return std::numeric_limits<qint64>::max();
        value = value * 10 + (c.unicode() - '0');
    }
    return value;
}

// XML 1.0 cannot carry most control characters at all, so they are left out;
// a carriage return is written as a reference so that it survives parsing.
void appendXmlText(QString &out, const QString &text)
{
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '&':
            out += QLatin1String("&amp;");
            break;
        case '<':
            out += QLatin1String("&lt;");
            break;
        case '>':
            out += QLatin1String("&gt;");
            break;
        case '"':
            out += QLatin1String("&quot;");
            break;
        case '\'':
            out += QLatin1String("&apos;");
            break;
        case '\r':
            out += QLatin1String("&#13;");
            break;
        case '\t':
        case '\n':
            out += c;
            break;
        case 0xFFFE:
        case 0xFFFF:
            break;
        default:
            if (c.unicode() >= 0x20)
                out += c;
        }
    }
}

void appendXmlElement(QString &out, QLatin1String name, const QString &text)
{
    out += QLatin1String("    <");
    out += name;
    out += QLatin1Char('>');
    appendXmlText(out, text);
    out += QLatin1String("</");
    out += name;
    out += QLatin1String(">\r\n");
}

void appendHtmlText(QString &out, const QString &text)
{
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '&':
            out += QLatin1String("&amp;");
            break;
        case '<':
            out += QLatin1String("&lt;");
            break;
        case '>':
            out += QLatin1String("&gt;");
            break;
        case '"':
            out += QLatin1String("&quot;");
            break;
        case '\'':
            out += QLatin1String("&#39;");
            break;
        default:
            out += c;
        }
    }
}

HttpAnswer textAnswer(const QByteArray &body, int status = 200)
{
    HttpAnswer answer;
    answer.status = status;
    answer.contentType = "text/plain; charset=utf-8";
    answer.body = body;
    return answer;
}

HttpAnswer htmlAnswer(int status, const QByteArray &body)
{
    HttpAnswer answer;
    answer.status = status;
    answer.contentType = "text/html; charset=utf-8";
    answer.body = body;
    return answer;
}

HttpAnswer jsonAnswer(const QJsonArray &array)
{
    HttpAnswer answer;
    answer.contentType = "application/json";
    answer.body = QJsonDocument(array).toJson(QJsonDocument::Compact);
    return answer;
}

HttpAnswer jsonAnswer(const QJsonObject &object)
{
    HttpAnswer answer;
    answer.contentType = "application/json";
    answer.body = QJsonDocument(object).toJson(QJsonDocument::Compact);
    return answer;
}

HttpAnswer adminError(const QString &reason)
{
    return textAnswer("ERROR: " + reason.toUtf8(), 400);
}

QByteArray contentTypeFor(const QString &canonical)
{
    if (canonical == QLatin1String("Sent") || canonical == QLatin1String("replies"))
        return "text/xml; charset=utf-8";
    if (canonical == QLatin1String("SentID"))
        return "text/html; charset=utf-8";
    return "text/plain; charset=utf-8";
}

const QByteArray InvalidLogin = "FALSE: Invalid username or password";

QString messageStateName(MessageState state)
{
    switch (state) {
    case MessageState::Delivered:
        return QStringLiteral("delivered");
    case MessageState::Failed:
        return QStringLiteral("failed");
    case MessageState::Pending:
        break;
    }
    return QStringLiteral("pending");
}

// Reads an optional whole number parameter; false when it is present but not a number.
bool numberParameter(const QueryParameters &query, QStringView name, qint64 *value)
{
    if (!query.contains(name))
        return true;
    bool ok = false;
    const qint64 parsed = query.value(name).trimmed().toLongLong(&ok);
    if (ok)
        *value = parsed;
    return ok;
}

} // namespace

QueryParameters::QueryParameters(QByteArrayView query)
{
    qsizetype start = 0;
    while (start <= query.size()) {
        qsizetype end = query.indexOf('&', start);
        if (end < 0)
            end = query.size();
        const QByteArrayView item = query.sliced(start, end - start);
        if (!item.isEmpty()) {
            const qsizetype equals = item.indexOf('=');
            if (equals < 0)
                m_items.append({decode(item), QString()});
            else
                m_items.append({decode(item.first(equals)), decode(item.sliced(equals + 1))});
        }
        start = end + 1;
    }
}

QString QueryParameters::decode(QByteArrayView text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text.at(i);
        if (c == '+') {
            bytes += ' ';
        } else if (c == '%' && i + 2 < text.size() && hexValue(text.at(i + 1)) >= 0 && hexValue(text.at(i + 2)) >= 0) {
            bytes += char(hexValue(text.at(i + 1)) * 16 + hexValue(text.at(i + 2)));
            i += 2;
        } else {
            bytes += c;
        }
    }
    return QString::fromUtf8(bytes);
}

bool QueryParameters::contains(QStringView name) const
{
    for (const auto &item : m_items) {
        if (item.first.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QString QueryParameters::value(QStringView name, const QString &fallback) const
{
    for (const auto &item : m_items) {
        if (item.first.compare(name, Qt::CaseInsensitive) == 0)
            return item.second;
    }
    return fallback;
}

bool parseFaultMode(const QString &name, FaultMode *mode)
{
    static const QList<QPair<QString, FaultMode>> modes{
        {QStringLiteral("none"), FaultMode::None},      {QStringLiteral("error500"), FaultMode::Error500},
        {QStringLiteral("not-xml"), FaultMode::NotXml}, {QStringLiteral("truncate"), FaultMode::Truncate},
        {QStringLiteral("drop"), FaultMode::Drop},      {QStringLiteral("refuse"), FaultMode::Refuse},
        {QStringLiteral("hang"), FaultMode::Hang},
    };
    for (const auto &[text, value] : modes) {
        if (name.trimmed().compare(text, Qt::CaseInsensitive) == 0) {
            *mode = value;
            return true;
        }
    }
    return false;
}

QString faultModeName(FaultMode mode)
{
    switch (mode) {
    case FaultMode::Error500:
        return QStringLiteral("error500");
    case FaultMode::NotXml:
        return QStringLiteral("not-xml");
    case FaultMode::Truncate:
        return QStringLiteral("truncate");
    case FaultMode::Drop:
        return QStringLiteral("drop");
    case FaultMode::Refuse:
        return QStringLiteral("refuse");
    case FaultMode::Hang:
        return QStringLiteral("hang");
    case FaultMode::None:
        break;
    }
    return QStringLiteral("none");
}

QStringList faultableTypes()
{
    return {QStringLiteral("Credits"), QStringLiteral("SingleSMS"), QStringLiteral("Sent"), QStringLiteral("replies"),
            QStringLiteral("SentID")};
}

Gateway::Gateway(GatewayState &state, bool verbose) : m_state(state), m_verbose(verbose) {}

void Gateway::setFault(const FaultSettings &fault)
{
    m_fault = fault;
    m_faultCounter = 0;
}

HttpAnswer Gateway::handle(const HttpRequest &request)
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    QByteArrayView target(request.target);
    // An absolute URL names the path after its host.
    if (target.size() > 7 && (sameText(target.first(7), "http://") || sameText(target.first(8), "https://"))) {
        const qsizetype slash = target.indexOf('/', target.indexOf("//") + 2);
        target = slash < 0 ? QByteArrayView("/") : target.sliced(slash);
    }
    const qsizetype question = target.indexOf('?');
    const QByteArrayView path = question < 0 ? target : target.first(question);
    const QueryParameters query(question < 0 ? QByteArrayView() : target.sliced(question + 1));

    static constexpr QByteArrayView adminPrefix("/admin/");
    HttpAnswer answer;
    if (path.size() >= adminPrefix.size() && sameText(path.first(adminPrefix.size()), adminPrefix))
        answer = handleAdmin(path.sliced(adminPrefix.size()), query, now);
    else
        answer = handleProtocol(request, path, query, now);

    if (m_verbose) {
        std::fprintf(stderr, "%s %s -> %d%s\n", request.method.constData(), request.target.constData(), answer.status,
                     answer.delivery == HttpAnswer::Delivery::Normal     ? ""
                     : answer.delivery == HttpAnswer::Delivery::Truncate ? " (truncated)"
                     : answer.delivery == HttpAnswer::Delivery::Drop     ? " (dropped)"
                                                                         : " (hung)");
        std::fflush(stderr);
    }
    return answer;
}

HttpAnswer Gateway::handleProtocol(const HttpRequest &request, QByteArrayView path, const QueryParameters &query,
                                   qint64 now)
{
    m_requests.push_back({request.method, request.target, now, request.connection});
    m_state.settle(now);

    HttpAnswer answer;
    const bool page = sameText(path, "/httppost3.aspx");
    if (!page && !sameText(path, "/httppost4.aspx")) {
        answer = htmlAnswer(404, "<html><head><title>404 Not Found</title></head><body><h1>Not Found</h1>"
                                 "<p>The resource cannot be found.</p></body></html>");
    } else if (request.method != "POST" && request.method != "GET") {
        answer = htmlAnswer(405, "<html><head><title>405 Method Not Allowed</title></head><body>"
                                 "<h1>Method Not Allowed</h1><p>Use POST or GET.</p></body></html>");
    } else {
        const QString type = query.value(u"Type");
        const QString canonical = canonicalType(type, page);
        const QString lowerType = type.toLower();
        const auto script =
            std::find_if(m_scripts.begin(), m_scripts.end(), [&](const Script &s) { return s.type == lowerType; });
        if (script != m_scripts.end()) {
            answer.status = script->status;
            answer.contentType = contentTypeFor(canonical);
            answer.body = script->body;
            if (--script->remaining <= 0)
                m_scripts.erase(script);
        } else if (const auto hit = canonical == QLatin1String("SingleSMS")
                                        ? m_customerFaults.constFind(query.value(u"CustomerID").trimmed())
                                        : m_customerFaults.constEnd();
                   hit != m_customerFaults.constEnd()) {
            const FaultSettings global = std::exchange(m_fault, FaultSettings{hit.value(), 1, {}, {}});
            answer = faulted(canonical, query);
            m_fault = global;
        } else if (!canonical.isEmpty() && takeFault(canonical)) {
            answer = faulted(canonical, query);
        } else {
            answer = answerProtocol(page, canonical, query, now);
        }
    }
    answer.delayMs = m_latencyMs;
    return answer;
}

bool Gateway::takeFault(const QString &type)
{
    if (m_fault.mode == FaultMode::None)
        return false;
    if (m_fault.mode == FaultMode::Refuse && type != QLatin1String("SingleSMS"))
        return false;
    if (!m_fault.types.isEmpty() && !m_fault.types.contains(type.toLower()))
        return false;
    return pickedByShare(++m_faultCounter, m_fault.share);
}

// A faulted request changes nothing: no message is taken and nothing charged.
HttpAnswer Gateway::faulted(const QString &type, const QueryParameters &query)
{
    switch (m_fault.mode) {
    case FaultMode::Error500:
        return htmlAnswer(500, "<html><head><title>Runtime Error</title></head><body>"
                               "<h1>Server Error in '/' Application.</h1><h2>Runtime Error</h2>"
                               "<p>An application error occurred on the server.</p></body></html>");
    case FaultMode::NotXml:
        return htmlAnswer(200, "<html><body>Service Unavailable");
    case FaultMode::Refuse:
        return textAnswer("FALSE: Service temporarily unavailable");
    case FaultMode::Truncate: {
        HttpAnswer answer;
        if (type == QLatin1String("SingleSMS"))
            answer = textAnswer("FALSE: Service temporarily unavailable");
        else
            answer = answerProtocol(type == QLatin1String("SentID"), type, query, QDateTime::currentMSecsSinceEpoch());
        answer.delivery = HttpAnswer::Delivery::Truncate;
        return answer;
    }
    case FaultMode::Drop: {
        HttpAnswer answer;
        answer.delivery = HttpAnswer::Delivery::Drop;
        return answer;
    }
    case FaultMode::Hang: {
        HttpAnswer answer;
        answer.delivery = HttpAnswer::Delivery::Hang;
        return answer;
    }
    case FaultMode::None:
        break;
    }
    return textAnswer("FALSE: Unknown request type");
}

HttpAnswer Gateway::answerProtocol(bool page, const QString &type, const QueryParameters &query, qint64 now)
{
    if (type.isEmpty())
        return textAnswer("FALSE: Unknown request type");
    Account *account = m_state.account(query.value(u"Username"));
    if (!account || account->password != query.value(u"Password"))
        return textAnswer(InvalidLogin);
    if (page)
        return reportPage(*account);
    if (type == QLatin1String("Credits"))
        return credits(*account);
    if (type == QLatin1String("SingleSMS"))
        return singleSms(*account, query, now);
    if (type == QLatin1String("Sent"))
        return sentReport(*account, query);
    return replies(*account, query);
}

HttpAnswer Gateway::credits(Account &account) const
{
    return textAnswer(QByteArray::number(account.credits));
}

HttpAnswer Gateway::singleSms(Account &account, const QueryParameters &query, qint64 now)
{
    const QString number = query.value(u"Number").trimmed();
    if (number.isEmpty())
        return textAnswer("FALSE: No number given");
    if (account.credits <= 0)
        return textAnswer("FALSE: Not enough credits");
    const qint64 batch =
        m_state.acceptMessage(account, number, query.value(u"Message"), query.value(u"CustomerID"), now);
    m_state.settle(now);
    return textAnswer(QByteArray::number(batch));
}

HttpAnswer Gateway::sentReport(const Account &account, const QueryParameters &query) const
{
    const qsizetype size = qsizetype(account.report.size());
    const qsizetype first = qsizetype(qMin<qint64>(leadingCount(query.value(u"ID")), size));
    const qsizetype last = qMin(size, first + ReportPageSize);
    QString xml;
    xml.reserve(64 + (last - first) * 260);
    xml += QLatin1String("<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<sent>\r\n");
    for (qsizetype i = first; i < last; ++i) {
        const ReportEntry &entry = account.report[size_t(i)];
        xml += QLatin1String("  <msg>\r\n");
        appendXmlElement(xml, QLatin1String("trn"), QString::number(entry.trn));
        appendXmlElement(xml, QLatin1String("number"), entry.number);
        appendXmlElement(xml, QLatin1String("message"), entry.message);
        appendXmlElement(xml, QLatin1String("datetime"), entry.dateTime);
        appendXmlElement(xml, QLatin1String("batch"), entry.batch);
        appendXmlElement(xml, QLatin1String("delivered"), entry.flag);
        appendXmlElement(xml, QLatin1String("customerid"), entry.customerId);
        xml += QLatin1String("  </msg>\r\n");
    }
    xml += QLatin1String("</sent>\r\n");
    HttpAnswer answer;
    answer.contentType = "text/xml; charset=utf-8";
    answer.body = xml.toUtf8();
    return answer;
}

HttpAnswer Gateway::replies(const Account &account, const QueryParameters &query) const
{
    const qsizetype size = qsizetype(account.replies.size());
    const qsizetype first = qsizetype(qMin<qint64>(leadingCount(query.value(u"ID")), size));
    QString xml;
    xml.reserve(64 + (size - first) * 300);
    xml += QLatin1String("<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<replies>\r\n");
    for (qsizetype i = first; i < size; ++i) {
        const Reply &reply = account.replies[size_t(i)];
        xml += QLatin1String("  <reply>\r\n");
        appendXmlElement(xml, QLatin1String("id"), reply.id);
        appendXmlElement(xml, QLatin1String("seq"), QString::number(reply.seq));
        appendXmlElement(xml, QLatin1String("from"), reply.from);
        appendXmlElement(xml, QLatin1String("text"), reply.text);
        appendXmlElement(xml, QLatin1String("received"), reply.received);
        appendXmlElement(xml, QLatin1String("sentmessage"), reply.sentMessage);
        appendXmlElement(xml, QLatin1String("sentdatetime"), reply.sentDateTime);
        appendXmlElement(xml, QLatin1String("customerid"), reply.customerId);
        xml += QLatin1String("  </reply>\r\n");
    }
    xml += QLatin1String("</replies>\r\n");
    HttpAnswer answer;
    answer.contentType = "text/xml; charset=utf-8";
    answer.body = xml.toUtf8();
    return answer;
}

HttpAnswer Gateway::reportPage(const Account &account) const
{
    QString html;
    html.reserve(400 + qsizetype(account.batches.size()) * 200);
    html += QLatin1String("<html>\r\n<head><title>Sent messages</title></head>\r\n<body>\r\n"
                          "<table id=DataGrid>\r\n"
                          "<tr><td>SentID</td><td>PhoneNumber</td><td>Data</td><td>DateTime</td>"
                          "<td>CustomerID</td><td>SentStatus</td></tr>\r\n");
    for (const qint64 batch : account.batches) {
        const Message *message = m_state.message(batch);
        if (!message)
            continue;
        html += QLatin1String("<tr><td>");
        html += QString::number(message->batch);
        html += QLatin1String("</td><td>");
        appendHtmlText(html, message->number);
        html += QLatin1String("</td><td>");
        appendHtmlText(html, message->text);
        html += QLatin1String("</td><td>");
        html += gatewayTime(message->acceptedMs);
        html += QLatin1String("</td><td>");
        appendHtmlText(html, message->customerId);
        html += QLatin1String("</td><td>");
        html += message->state == MessageState::Delivered ? QLatin1String("Sent")
                : message->state == MessageState::Failed  ? QLatin1String("Failed")
                                                          : QLatin1String("Pending");
        html += QLatin1String("</td></tr>\r\n");
    }
    html += QLatin1String("</table>\r\n</body>\r\n</html>\r\n");
    HttpAnswer answer;
    answer.contentType = "text/html; charset=utf-8";
    answer.body = html.toUtf8();
    return answer;
}

namespace {
// The account ("user") an admin request adds entries to, and how many
// ("count", 1 unless given); the answer to refuse it with when either is wrong.
std::optional<HttpAnswer> entriesFor(GatewayState &state, const QueryParameters &query, Account **account,
                                     qint64 *count)
{
    *account = state.account(query.value(u"user"));
    if (!*account)
        return adminError(QStringLiteral("unknown user"));
    if (!numberParameter(query, u"count", count) || *count < 0 || *count > 10000000)
        return adminError(QStringLiteral("count must be a whole number"));
    return std::nullopt;
}
} // namespace

HttpAnswer Gateway::handleAdmin(QByteArrayView command, const QueryParameters &query, qint64 now)
{
    using Handler = HttpAnswer (Gateway::*)(const QueryParameters &query, qint64 now);
    static const std::pair<const char *, Handler> handlers[] = {
        {"requests", &Gateway::adminRequests}, {"clear-requests", &Gateway::adminClearRequests},
        {"messages", &Gateway::adminMessages}, {"replies", &Gateway::adminReplies},
        {"account", &Gateway::adminAccount},   {"fault", &Gateway::adminFault},
        {"latency", &Gateway::adminLatency},   {"report", &Gateway::adminReport},
        {"reply", &Gateway::adminReply},       {"script", &Gateway::adminScript},
        {"state", &Gateway::adminState},
    };

    m_state.settle(now);
    for (const auto &[name, handler] : handlers) {
        if (sameText(command, name))
            return (this->*handler)(query, now);
    }
    return textAnswer("ERROR: unknown control request", 404);
}

HttpAnswer Gateway::adminRequests(const QueryParameters &, qint64)
{
    QJsonArray list;
    for (const Received &received : m_requests)
        list.append(QJsonObject{{QStringLiteral("method"), QString::fromUtf8(received.method)},
                                {QStringLiteral("target"), QString::fromUtf8(received.target)},
                                {QStringLiteral("received"), received.at},
                                {QStringLiteral("connection"), qint64(received.connection)}});
    return jsonAnswer(list);
}

HttpAnswer Gateway::adminClearRequests(const QueryParameters &, qint64)
{
    m_requests.clear();
    return textAnswer("OK");
}

HttpAnswer Gateway::adminMessages(const QueryParameters &query, qint64)
{
    const QString user = query.value(u"user");
    QJsonArray list;
    for (const Message &message : m_state.messages()) {
        if (query.contains(u"user") && message.user != user)
            continue;
        list.append(QJsonObject{{QStringLiteral("user"), message.user},
                                {QStringLiteral("number"), message.number},
                                {QStringLiteral("message"), message.text},
                                {QStringLiteral("customerId"), message.customerId},
                                {QStringLiteral("batch"), message.batch},
                                {QStringLiteral("accepted"), gatewayTime(message.acceptedMs)},
                                {QStringLiteral("state"), messageStateName(message.state)},
                                {QStringLiteral("trn"), message.trn}});
    }
    return jsonAnswer(list);
}

HttpAnswer Gateway::adminReplies(const QueryParameters &query, qint64)
{
    const QString user = query.value(u"user");
    QJsonArray list;
    for (const auto &[name, account] : m_state.accounts()) {
        if (query.contains(u"user") && name != user)
            continue;
        for (const Reply &reply : account.replies) {
            list.append(QJsonObject{{QStringLiteral("user"), name},
                                    {QStringLiteral("id"), reply.id},
                                    {QStringLiteral("seq"), reply.seq},
                                    {QStringLiteral("from"), reply.from},
                                    {QStringLiteral("text"), reply.text},
                                    {QStringLiteral("received"), reply.received},
                                    {QStringLiteral("sentMessage"), reply.sentMessage},
                                    {QStringLiteral("sentDateTime"), reply.sentDateTime},
                                    {QStringLiteral("customerId"), reply.customerId}});
        }
    }
    return jsonAnswer(list);
}

HttpAnswer Gateway::adminAccount(const QueryParameters &query, qint64)
{
    const QString user = query.value(u"user");
    if (user.isEmpty())
        return adminError(QStringLiteral("user is missing"));
    qint64 credits = 0;
    if (!numberParameter(query, u"credits", &credits))
        return adminError(QStringLiteral("credits is not a whole number"));
    std::optional<QString> password;
    if (query.contains(u"password"))
        password = query.value(u"password");
    std::optional<qint64> newCredits;
    if (query.contains(u"credits"))
        newCredits = credits;
    m_state.setAccount(user, password, newCredits);
    return textAnswer("OK");
}

HttpAnswer Gateway::adminFault(const QueryParameters &query, qint64)
{
    FaultSettings fault;
    if (!parseFaultMode(query.value(u"mode"), &fault.mode))
        return adminError(QStringLiteral("unknown fault mode"));
    if (query.contains(u"share")) {
        bool ok = false;
        fault.share = query.value(u"share").trimmed().toDouble(&ok);
        if (!ok || fault.share < 0 || fault.share > 1)
            return adminError(QStringLiteral("share must be between 0 and 1"));
    }
    const QStringList types = query.value(u"types").split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString &type : types) {
        const QString name = type.trimmed().toLower();
        bool known = false;
        for (const QString &faultable : faultableTypes())
            known = known || faultable.toLower() == name;
        if (!known)
            return adminError(QStringLiteral("unknown request type %1").arg(type));
        fault.types.insert(name);
    }
    for (const QString &customer : query.value(u"customers").split(QLatin1Char(','), Qt::SkipEmptyParts))
        fault.customers.insert(customer.trimmed());
    if (fault.customers.isEmpty()) {
        setFault(fault);
        if (fault.mode == FaultMode::None)
            m_customerFaults.clear();
    } else {
        for (const QString &customer : std::as_const(fault.customers))
            m_customerFaults.insert(customer, fault.mode);
    }
    return textAnswer("OK");
}

HttpAnswer Gateway::adminLatency(const QueryParameters &query, qint64)
{
    qint64 ms = 0;
    if (!numberParameter(query, u"ms", &ms) || ms < 0 || ms > 3600000)
        return adminError(QStringLiteral("ms must be a whole number of milliseconds"));
    m_latencyMs = int(ms);
    return textAnswer("OK");
}

HttpAnswer Gateway::adminReport(const QueryParameters &query, qint64 now)
{
    Account *account = nullptr;
    qint64 count = 1;
    if (std::optional<HttpAnswer> refused = entriesFor(m_state, query, &account, &count))
        return *refused;
    ReportEntry entry;
    entry.number = query.value(u"number");
    entry.message = query.value(u"message");
    entry.dateTime = gatewayTime(now);
    entry.batch = query.value(u"batch", QStringLiteral("0"));
    entry.flag = query.value(u"flag", QStringLiteral("TRUE"));
    entry.customerId = query.value(u"customer");
    QJsonArray trns;
    for (qint64 i = 0; i < count; ++i)
        trns.append(m_state.addReportEntry(*account, entry));
    return jsonAnswer(trns);
}

HttpAnswer Gateway::adminReply(const QueryParameters &query, qint64 now)
{
    Account *account = nullptr;
    qint64 count = 1;
    if (std::optional<HttpAnswer> refused = entriesFor(m_state, query, &account, &count))
        return *refused;
    Reply reply;
    reply.from = query.value(u"from");
    reply.text = query.value(u"text");
    reply.received = query.value(u"received", gatewayTime(now));
    reply.sentMessage = query.value(u"sentmessage");
    reply.sentDateTime = query.value(u"sentdatetime");
    reply.customerId = query.value(u"customer");
    const QString id = query.value(u"id");
    QJsonArray seqs;
    for (qint64 i = 1; i <= count; ++i) {
        reply.id = count > 1 ? id + QLatin1Char('-') + QString::number(i) : id;
        seqs.append(m_state.addReply(*account, reply));
    }
    return jsonAnswer(seqs);
}

HttpAnswer Gateway::adminScript(const QueryParameters &query, qint64)
{
    Script script;
    script.type = query.value(u"type").trimmed().toLower();
    if (script.type.isEmpty())
        return adminError(QStringLiteral("type is missing"));
    script.body = query.value(u"body").toUtf8();
    // A large answer without a large control request: the body repeated, between a prefix and a suffix.
    qint64 repeat = 1;
    if (!numberParameter(query, u"repeat", &repeat) || repeat < 0 || repeat > 10000000)
        return adminError(QStringLiteral("repeat must be a whole number"));
    script.body = query.value(u"prefix").toUtf8() + script.body.repeated(repeat) + query.value(u"suffix").toUtf8();
    qint64 status = 200;
    if (!numberParameter(query, u"status", &status) || status < 100 || status > 599)
        return adminError(QStringLiteral("status must be an HTTP status code"));
    script.status = int(status);
    if (!numberParameter(query, u"count", &script.remaining) || script.remaining < 0)
        return adminError(QStringLiteral("count must be a whole number"));
    if (script.remaining > 0)
        m_scripts.push_back(script);
    return textAnswer("OK");
}

HttpAnswer Gateway::adminState(const QueryParameters &, qint64)
{
    QJsonArray accounts;
    for (const auto &[name, account] : m_state.accounts()) {
        accounts.append(QJsonObject{{QStringLiteral("user"), name},
                                    {QStringLiteral("credits"), account.credits},
                                    {QStringLiteral("messages"), qint64(account.batches.size())},
                                    {QStringLiteral("reportEntries"), qint64(account.report.size())},
                                    {QStringLiteral("replies"), qint64(account.replies.size())}});
    }
    QJsonArray faultTypes;
    for (const QString &type : m_fault.types)
        faultTypes.append(type);
    return jsonAnswer(QJsonObject{
        {QStringLiteral("accounts"), accounts},
        {QStringLiteral("messages"), qint64(m_state.messages().size())},
        {QStringLiteral("pendingDeliveries"), m_state.pendingDeliveries()},
        {QStringLiteral("pendingReplies"), m_state.pendingReplies()},
        {QStringLiteral("requests"), qint64(m_requests.size())},
        {QStringLiteral("latencyMs"), m_latencyMs},
        {QStringLiteral("fault"), QJsonObject{{QStringLiteral("mode"), faultModeName(m_fault.mode)},
                                              {QStringLiteral("share"), m_fault.share},
                                              {QStringLiteral("types"), faultTypes}}},
    });
}
