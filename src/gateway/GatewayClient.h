#pragma once

#include "data/AppError.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QUrl>

#include <optional>

struct HttpTarget;

// A request to the gateway that could not be completed: nothing (or not all)
// came back. mayHaveReached() tells whether the gateway may have received and
// acted on it: certainly not when the connection was refused or the host not
// found; maybe after a time-out, a dropped connection or a truncated answer.
class GatewayError : public AppError
{
public:
    GatewayError(qint64 number, QString description, bool mayHaveReached)
        : AppError(number, std::move(description), QStringLiteral("Gateway")), m_mayHaveReached(mayHaveReached)
    {}

    bool mayHaveReached() const { return m_mayHaveReached; }

private:
    bool m_mayHaveReached;
};

// The one place that builds a gateway request and makes the exchange: POST to
// the gateway script with every parameter in the query string, no body,
// waiting for the whole answer. Host and account are taken from modMain when
// the exchange is made. Unless a success is asked for, the HTTP status is not
// looked at: an error page is an answer like any other.
class GatewayClient
{
public:
    using Parameters = QList<QPair<QString, QString>>;

    // What an answer must be: anything, or a success (HTTP 2xx); any other
    // status is then a GatewayError that quotes the gateway's words.
    enum class Expect { Anything, Success };

    static constexpr int DefaultTimeoutMs = 30000;

    // The gateway's script for messages, credits, status and replies, and
    // the one for the HTML report page.
    static inline const QString MessageScript = QStringLiteral("/httppost4.aspx");
    static inline const QString ReportPageScript = QStringLiteral("/httppost3.aspx");

    GatewayClient();

    // How long a request may go without any data arriving before it is given up.
    int timeout() const { return m_timeoutMs; }
    void setTimeout(int milliseconds) { m_timeoutMs = milliseconds; }

    // The time-out new clients start with (every cycle makes its own client).
    static int defaultTimeout();
    static void setDefaultTimeout(int milliseconds);

    // "http://host/httppost4.aspx?Type=..&Username=..&Password=.." followed by
    // the parameters in order; every value percent-encoded as UTF-8.
    static QUrl requestUrl(const QString &type, const Parameters &parameters = {},
                           const QString &script = MessageScript);
    // The parameters as they follow the others in a request's query:
    // "&Name=value..", percent-encoded.
    static QByteArray queryPairs(const Parameters &parameters);

    struct Request
    {
        QString type;
        Parameters parameters;
        QString script = MessageScript;
        Expect expect = Expect::Anything;
    };
    // A request's answer text, or why there is none.
    struct Answer
    {
        QString text;
        std::optional<GatewayError> error;
        // The text; throws the error.
        QString take() const;
    };

    // One exchange; the answer text. Throws GatewayError when the request
    // could not be completed.
    QString exchange(const QString &type, const Parameters &parameters = {}, const QString &script = MessageScript,
                     Expect expect = Expect::Anything);
    // Several exchanges made at once, each on a connection of its own, so
    // that asking them together costs one answer's wait; their answers in
    // the requests' order.
    QList<Answer> exchangeTogether(const QList<Request> &requests);

    static Request creditsRequest();
    static Request repliesRequest(Expect expect = Expect::Anything);

    QString credits();
    QString singleSms(const QString &number, const QString &message, const QString &customerId);
    QString sent(const QString &highestTrn);
    QString replies(Expect expect = Expect::Anything);
    // The HTML report page of the messages sent.
    QString reportPage(Expect expect = Expect::Anything);

    // Where the request goes and what is written there. Throws GatewayError
    // when the gateway host is no address, or asks for TLS that is missing.
    static HttpTarget targetOf(const Request &request);

private:
    int m_timeoutMs;
};
