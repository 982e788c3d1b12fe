#pragma once

#include "data/AppError.h"
#include "gateway/CycleHost.h"

#include "TestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QQueue>
#include <QStringList>
#include <QUrl>

#include <functional>

// A control answer of the gateway read as a JSON array.
inline QJsonArray adminArray(const GatewayProcess &gateway, const QString &pathAndQuery)
{
    return QJsonDocument::fromJson(gateway.admin(pathAndQuery)).array();
}

// The protocol requests the gateway received, each as "METHOD target" with the
// target exactly as it was on the wire; the list is cleared.
inline QStringList takeRequests(const GatewayProcess &gateway)
{
    QStringList requests;
    const QJsonArray all = adminArray(gateway, QStringLiteral("/admin/requests"));
    for (const QJsonValue &request : all)
        requests.append(request[QStringLiteral("method")].toString() + QLatin1Char(' ')
                        + request[QStringLiteral("target")].toString());
    gateway.admin(QStringLiteral("/admin/clear-requests"));
    return requests;
}

// Makes the next `count` answers to a request type exactly `body` with `status`.
inline void scriptAnswer(const GatewayProcess &gateway, const QString &type, const QString &body, int status = 200,
                         int count = 1)
{
    // concatenated: the encoded body holds "%3C" and the like, which arg() would take for markers
    gateway.admin(QStringLiteral("/admin/script?type=") + type + QStringLiteral("&status=")
                  + QString::number(status) + QStringLiteral("&count=") + QString::number(count)
                  + QStringLiteral("&body=") + QString::fromLatin1(QUrl::toPercentEncoding(body)));
}

// The type of each request, in order ("Credits", "SingleSMS", ...).
inline QStringList requestTypes(const QStringList &requests)
{
    QStringList types;
    for (const QString &request : requests) {
        const qsizetype at = request.indexOf(QStringLiteral("?Type="));
        types.append(request.mid(at + 6).section(QLatin1Char('&'), 0, 0));
    }
    return types;
}

// One parameter's value of a request as it was on the wire, decoded.
inline QString requestParameter(const QString &request, const QString &name)
{
    const QString query = request.section(QLatin1Char('?'), 1);
    for (const QString &pair : query.split(QLatin1Char('&'))) {
        if (pair.section(QLatin1Char('='), 0, 0) == name)
            return QUrl::fromPercentEncoding(pair.section(QLatin1Char('='), 1).toLatin1());
    }
    return QStringLiteral("<missing>");
}

inline QString encodedForAdmin(const QString &value)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(value));
}

// A window stand-in for the gateway cycles: records everything a cycle shows
// and answers its questions with the answers a test queued (No when none).
class ScriptedCycleHost : public CycleHost
{
public:
    struct Box
    {
        QString kind; // "inform", "ask" or "error"
        QString title;
        QString text;
        bool answer = false;
    };

    QStringList statuses;
    QString credits = QStringLiteral("0");
    QList<Box> boxes;
    QList<AppError> errors;
    QList<QPair<int, int>> progress;
    int busyDepth = 0;
    int busyChanges = 0;
    int yields = 0;
    int outboxRefreshes = 0;
    int inboxRefreshes = 0;
    QQueue<bool> answers;
    std::function<void()> onYield; // runs inside yieldToEvents, e.g. to start a second cycle
    std::function<void(const QString &)> onStatus;

    void setStatus(const QString &text) override
    {
        statuses.append(text);
        if (onStatus)
            onStatus(text);
    }
    QString creditsText() const override { return credits; }
    void setCreditsText(const QString &text) override { credits = text; }
    void setBusy(bool busy) override
    {
        busyDepth += busy ? 1 : -1;
        ++busyChanges;
    }
    void inform(const QString &title, const QString &text) override
    {
        boxes.append({QStringLiteral("inform"), title, text, true});
    }
    bool ask(const QString &title, const QString &text) override
    {
        const bool answer = answers.isEmpty() ? false : answers.dequeue();
        boxes.append({QStringLiteral("ask"), title, text, answer});
        return answer;
    }
    void showError(const AppError &error) override
    {
        errors.append(error);
        boxes.append({QStringLiteral("error"), QStringLiteral("ERROR"), error.text(), true});
    }
    void setProgress(int done, int total) override { progress.append({done, total}); }
    void yieldToEvents() override
    {
        ++yields;
        if (onYield)
            onYield();
    }
    void outboxChanged() override { ++outboxRefreshes; }
    void inboxChanged() override { ++inboxRefreshes; }

    QString lastStatus() const { return statuses.isEmpty() ? QString() : statuses.last(); }
    QStringList titles() const
    {
        QStringList result;
        for (const Box &box : boxes)
            result.append(box.title);
        return result;
    }
};
