#pragma once

#include "data/AppError.h"
#include "data/Database.h"
#include "gateway/CycleHost.h"

#include "OutboxRows.h"
#include "QueryRows.h"
#include "TestSupport.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QQueue>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUrl>

#include <functional>

inline QString encodedForAdmin(const QString &value)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(value));
}

inline QJsonArray adminArray(const GatewayProcess &gateway, const QString &pathAndQuery)
{
    return QJsonDocument::fromJson(gateway.admin(pathAndQuery)).array();
}

// The requests the gateway received, as "METHOD target" exactly as on the wire; clears the list.
inline QStringList takeRequests(const GatewayProcess &gateway)
{
    QStringList requests;
    for (const QJsonValue &request : adminArray(gateway, QStringLiteral("/admin/requests")))
        requests.append(request["method"].toString() + ' ' + request["target"].toString());
    gateway.admin(QStringLiteral("/admin/clear-requests"));
    return requests;
}

// The next `count` answers to a request type are exactly `body` with `status`.
inline void scriptAnswer(const GatewayProcess &gateway, const QString &type, const QString &body, int status = 200,
                         int count = 1)
{
    gateway.admin(QStringLiteral("/admin/script?type=%1&status=%2&count=%3&body=").arg(type).arg(status).arg(count)
                  + encodedForAdmin(body));
}

// One parameter's decoded value from each request line.
inline QStringList requestParameters(const QStringList &requests, const QString &name);

// The CustomerIDs of the messages posted since the requests were last taken, in the order they
// came; takes the requests.
inline QStringList postedCustomers(const GatewayProcess &gateway)
{
    QStringList posted;
    for (const QString &request : takeRequests(gateway))
        if (request.contains(QStringLiteral("Type=SingleSMS&")))
            posted << request;
    return requestParameters(posted, QStringLiteral("CustomerID"));
}

inline QStringList requestParameters(const QStringList &requests, const QString &name)
{
    QStringList values;
    for (const QString &request : requests) {
        values.append(QStringLiteral("<missing>"));
        for (const QString &pair : request.section('?', 1).split('&')) {
            if (pair.section('=', 0, 0) == name)
                values.last() = QUrl::fromPercentEncoding(pair.section('=', 1).toLatin1());
        }
    }
    return values;
}

// The CustomerID of every message the gateway accepted, as often as it accepted it.
inline QStringList acceptedCustomers(const GatewayProcess &gateway)
{
    QStringList keys;
    for (const QJsonValue &message : adminArray(gateway, QStringLiteral("/admin/messages")))
        keys << message[QStringLiteral("customerId")].toVariant().toString();
    return keys;
}

// The batch number the gateway gave each message it accepted, by CustomerID.
inline QHash<QString, QString> acceptedBatches(const GatewayProcess &gateway)
{
    QHash<QString, QString> byCustomer;
    for (const QJsonValue &message : adminArray(gateway, QStringLiteral("/admin/messages")))
        byCustomer.insert(message[QStringLiteral("customerId")].toVariant().toString(),
                          QString::number(qint64(message[QStringLiteral("batch")].toDouble())));
    return byCustomer;
}

// An outbox row already sent; its key.
inline qint64 sentRow()
{
    return OutboxRows::add({.number = QStringLiteral("0821234567"), .message = QStringLiteral("hi"), .send = true});
}

// Per outbox row in key order: "delivered/<SentID>" or "not delivered/".
inline QStringList deliveries()
{
    return queryValues(QStringLiteral("SELECT CASE Delivered WHEN 1 THEN 'delivered/' ELSE 'not delivered/' END "
                                      "|| coalesce(SentID, '') FROM SMSSend ORDER BY SMSSendID"));
}

// A window stand-in: records what a cycle shows and answers its questions from `answers` (No when empty).
class ScriptedCycleHost : public CycleHost
{
public:
    QStringList statuses, titles, texts; // of the boxes shown, in order
    QString credits = QStringLiteral("0");
    QList<QPair<int, int>> progress;
    int busyDepth = 0;
    int yields = 0;
    QQueue<bool> answers;
    std::function<void()> onYield = [] {};
    std::function<void(const QString &)> onStatus = [](const QString &) {};

    void setStatus(const QString &text) override
    {
        statuses << text;
        onStatus(text);
    }
    QString creditsText() const override { return credits; }
    void setCreditsText(const QString &text) override { credits = text; }
    void setBusy(bool busy) override { busyDepth += busy ? 1 : -1; }
    void inform(const QString &title, const QString &text) override
    {
        titles << title;
        texts << text;
    }
    bool ask(const QString &title, const QString &text) override
    {
        titles << title + '?';
        texts << text;
        return !answers.isEmpty() && answers.dequeue();
    }
    void showError(const AppError &error) override
    {
        titles << "ERROR";
        texts << error.text();
    }
    void setProgress(int done, int total) override { progress.append({done, total}); }
    void yieldToEvents() override
    {
        ++yields;
        onYield();
    }
    void outboxChanged() override {}
    void inboxChanged() override {}
    QString lastStatus() const { return statuses.value(statuses.size() - 1); }
};

// A private home with a running gateway in use (the test program stops without one) and a scripted window
// showing `shown` credits.
struct GatewaySetup
{
    TestHome home;
    GatewayProcess gateway;
    ScriptedCycleHost host;
    explicit GatewaySetup(int accountCredits = 1000, const QString &shown = QStringLiteral("10"))
        : gateway({QStringLiteral("--account"), QStringLiteral("demo:demo:%1").arg(accountCredits)})
    {
        // Every test stands on it: without it nothing a test checks would mean anything.
        if (!gateway.isRunning())
            qFatal("tellwave-gateway did not start: %s", qPrintable(gateway.output()));
        gateway.use();
        host.credits = shown;
    }
};
