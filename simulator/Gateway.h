#pragma once

#include "GatewayState.h"
#include "HttpServer.h"

#include <QHash>
#include <QList>
#include <QPair>
#include <QSet>
#include <QString>

#include <deque>
#include <vector>

// Decoded query parameters; names match without regard to case, the first
// occurrence of a name wins.
class QueryParameters
{
public:
    explicit QueryParameters(QByteArrayView query);

    bool contains(QStringView name) const;
    QString value(QStringView name, const QString &fallback = {}) const;

    // Percent-decoding as an ASP.NET form reads it: "+" is a blank, %XX a byte,
    // the bytes taken as UTF-8.
    static QString decode(QByteArrayView text);

private:
    QList<QPair<QString, QString>> m_items;
};

enum class FaultMode { None, Error500, NotXml, Truncate, Drop, Refuse, Hang };

struct FaultSettings
{
    FaultMode mode = FaultMode::None;
    double share = 1;
    QSet<QString> types; // lower-case request type names; empty = all
    // When not empty: the fault hits only the SingleSMS requests with these
    // CustomerIDs, every time, beside any other fault.
    QSet<QString> customers;
};

// Parses a fault mode name ("error500", "not-xml", ...); false when unknown.
bool parseFaultMode(const QString &name, FaultMode *mode);
QString faultModeName(FaultMode mode);
// The request types a fault may hit, in their canonical spelling.
QStringList faultableTypes();

// The gateway's answers to the protocol requests and the /admin/ control
// requests.
class Gateway
{
public:
    Gateway(GatewayState &state, bool verbose);

    HttpAnswer handle(const HttpRequest &request);

    void setFault(const FaultSettings &fault);
    void setLatency(int ms) { m_latencyMs = ms; }

private:
    struct Script
    {
        QString type; // lower case
        QByteArray body;
        int status = 200;
        qint64 remaining = 1;
    };

    HttpAnswer handleProtocol(const HttpRequest &request, QByteArrayView path, const QueryParameters &query,
                              qint64 now);
    HttpAnswer answerProtocol(bool page, const QString &type, const QueryParameters &query, qint64 now);
    HttpAnswer faulted(const QString &type, const QueryParameters &query);
    bool takeFault(const QString &type);

    HttpAnswer credits(Account &account) const;
    HttpAnswer singleSms(Account &account, const QueryParameters &query, qint64 now);
    HttpAnswer sentReport(const Account &account, const QueryParameters &query) const;
    HttpAnswer replies(const Account &account, const QueryParameters &query) const;
    HttpAnswer reportPage(const Account &account) const;

    // An /admin/ control request, by its command name (any case).
    HttpAnswer handleAdmin(QByteArrayView command, const QueryParameters &query, qint64 now);
    HttpAnswer adminRequests(const QueryParameters &query, qint64 now);
    HttpAnswer adminClearRequests(const QueryParameters &query, qint64 now);
    HttpAnswer adminMessages(const QueryParameters &query, qint64 now);
    HttpAnswer adminReplies(const QueryParameters &query, qint64 now);
    HttpAnswer adminAccount(const QueryParameters &query, qint64 now);
    HttpAnswer adminFault(const QueryParameters &query, qint64 now);
    HttpAnswer adminLatency(const QueryParameters &query, qint64 now);
    HttpAnswer adminReport(const QueryParameters &query, qint64 now);
    HttpAnswer adminReply(const QueryParameters &query, qint64 now);
    HttpAnswer adminScript(const QueryParameters &query, qint64 now);
    HttpAnswer adminState(const QueryParameters &query, qint64 now);

    GatewayState &m_state;
    bool m_verbose;
    int m_latencyMs = 0;
    FaultSettings m_fault;
    quint64 m_faultCounter = 0;
    std::deque<Script> m_scripts;
    struct Received
    {
        QByteArray method;
        QByteArray target;
        qint64 at = 0; // milliseconds since the epoch
        quint64 connection = 0;
    };
    std::vector<Received> m_requests;
    QHash<QString, FaultMode> m_customerFaults; // CustomerID -> fault
};
