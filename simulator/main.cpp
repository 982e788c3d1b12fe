// tellwave-gateway: an HTTP SMS gateway speaking the protocol Tellwave talks,
// for tests, benchmarks and trying the program without a paid account.

#include "Gateway.h"
#include "GatewayState.h"
#include "HttpServer.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QHostAddress>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onTerminationSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

bool installSignalHandlers()
{
    if (::pipe(signalPipe) != 0)
        return false;
    ::fcntl(signalPipe[1], F_SETFL, O_NONBLOCK);
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    return true;
}

[[noreturn]] void fail(const QString &message, int code = 2)
{
    std::fprintf(stderr, "tellwave-gateway: %s\n", qPrintable(message));
    std::exit(code);
}

double shareOption(const QCommandLineParser &parser, const QString &name, double fallback)
{
    if (!parser.isSet(name))
        return fallback;
    bool ok = false;
    const double value = parser.value(name).toDouble(&ok);
    if (!ok || value < 0 || value > 1)
        fail(QStringLiteral("--%1 must be a number from 0 to 1").arg(name));
    return value;
}

double secondsOption(const QCommandLineParser &parser, const QString &name)
{
    if (!parser.isSet(name))
        return 0;
    bool ok = false;
    const double value = parser.value(name).toDouble(&ok);
    if (!ok || value < 0 || value > 1e9)
        fail(QStringLiteral("--%1 must be a number of seconds, 0 or more").arg(name));
    return value;
}

const char *const description =
    "An HTTP SMS gateway for Tellwave's tests and benchmarks.\n"
    "\n"
    "Protocol (POST or GET; paths and parameter names in any letter case):\n"
    "  /httppost4.aspx?Type=Credits&Username=U&Password=P\n"
    "  /httppost4.aspx?Type=SingleSMS&Username=U&Password=P&Number=N&Message=M&CustomerID=C\n"
    "  /httppost4.aspx?Type=Sent&Username=U&Password=P&EventID=0&ID=n   (100 entries after n)\n"
    "  /httppost4.aspx?Type=replies&Username=U&Password=P&ID=0\n"
    "  /httppost3.aspx?Type=SentID&Username=U&Password=P&SentID=0       (HTML report page)\n"
    "\n"
    "Fault modes (--fault, /admin/fault): none, error500 (status 500 page), not-xml\n"
    "(status 200, a body that is not XML), truncate (Content-Length larger than the\n"
    "body, then the connection closes), drop (connection closed without an answer),\n"
    "refuse (SingleSMS answers \"FALSE: Service temporarily unavailable\"), hang (never\n"
    "answers). With --fault-share P every request whose count crosses a multiple of\n"
    "1/P is hit (0.25: every fourth). Faulted requests change nothing.\n"
    "\n"
    "Control requests (any method, never delayed or faulted):\n"
    "  /admin/requests                 protocol requests received, as on the wire, with the\n"
    "                                  time received (ms since the epoch) and connection (JSON)\n"
    "  /admin/clear-requests           forget them\n"
    "  /admin/messages[?user=U]        accepted messages (JSON)\n"
    "  /admin/replies[?user=U]         replies (JSON)\n"
    "  /admin/account?user=U&password=P&credits=N   create or change an account\n"
    "  /admin/fault?mode=M&share=P&types=T1,T2      set the fault (mode=none clears)\n"
    "  /admin/fault?mode=M&customers=C1,C2          the fault for those CustomerIDs' messages\n"
    "  /admin/latency?ms=N             answer every protocol request after N ms\n"
    "  /admin/report?user=U&customer=C&flag=F&count=N[&number=&message=&batch=]\n"
    "                                  add report entries; gives their trns (JSON)\n"
    "  /admin/reply?user=U&id=ID&from=N&text=T&received=R&sentmessage=S&sentdatetime=SD\n"
    "               &customer=C&count=N  add replies (ids ID-1..ID-N when N > 1)\n"
    "  /admin/script?type=T&body=B&status=S&count=N  the next N answers to type T\n"
    "  /admin/state                    summary (JSON)\n"
    "\n"
    "When ready it prints \"tellwave-gateway listening on ADDRESS:PORT\". SIGTERM and\n"
    "SIGINT end it after writing the state.";

void addOptions(QCommandLineParser &parser)
{
    parser.setApplicationDescription(QString::fromLatin1(description));
    parser.addHelpOption();
    const QString secondsName = QStringLiteral("seconds");
    const QString shareName = QStringLiteral("share");
    parser.addOptions({
        {QStringLiteral("port"), QStringLiteral("TCP port to listen on (default 8787; 0 = any free port)."),
         QStringLiteral("N"), QStringLiteral("8787")},
        {QStringLiteral("bind"), QStringLiteral("Address to listen on (default 127.0.0.1)."), QStringLiteral("ADDR"),
         QStringLiteral("127.0.0.1")},
        {QStringLiteral("account"),
         QStringLiteral("An account with its credit balance; repeatable. With --state, added only when the state "
                        "does not hold it yet (an existing account keeps its password and balance)."),
         QStringLiteral("user:password:credits")},
        {QStringLiteral("state"),
         QStringLiteral("SQLite file holding accounts, messages, report entries, replies and counters, so that a "
                        "restart resumes where it stopped. Without it the state is kept in memory."),
         QStringLiteral("FILE")},
        {QStringLiteral("delivery-delay"),
         QStringLiteral("Seconds after acceptance at which a message's delivery is decided (default 0; fractions "
                        "allowed)."),
         secondsName},
        {QStringLiteral("failure-share"), QStringLiteral("Share of messages whose delivery fails, 0 to 1 (default 0)."),
         shareName},
        {QStringLiteral("reply-share"),
         QStringLiteral("Share of delivered messages that get a reply, 0 to 1 (default 0)."), shareName},
        {QStringLiteral("reply-delay"), QStringLiteral("Seconds after delivery at which a reply arrives (default 0)."),
         secondsName},
        {QStringLiteral("seed"),
         QStringLiteral("Seed for which messages fail, get replies and which reply texts (default 0)."),
         QStringLiteral("N"), QStringLiteral("0")},
        {QStringLiteral("latency-ms"),
         QStringLiteral("Answer every protocol request after N milliseconds (default 0)."), QStringLiteral("N"),
         QStringLiteral("0")},
        {QStringLiteral("fault"),
         QStringLiteral("Fault mode: none, error500, not-xml, truncate, drop, refuse, hang (default none)."),
         QStringLiteral("MODE"), QStringLiteral("none")},
        {QStringLiteral("fault-share"),
         QStringLiteral("Share of the requests of the fault's types that are hit, 0 to 1 (default 1)."), shareName},
        {QStringLiteral("fault-types"),
         QStringLiteral("Request types the fault hits, comma-separated (default all: "
                        "Credits,SingleSMS,Sent,replies,SentID)."),
         QStringLiteral("TYPES")},
        {QStringLiteral("verbose"), QStringLiteral("Log each request to stderr.")},
    });
}

struct Listening
{
    QHostAddress address;
    quint16 port = 0;
    QString bindText;
};

Listening listeningOption(const QCommandLineParser &parser)
{
    Listening listening;
    bool ok = false;
    const uint port = parser.value(QStringLiteral("port")).toUInt(&ok);
    if (!ok || port > 65535)
        fail(QStringLiteral("--port must be a port number from 0 to 65535"));
    listening.port = quint16(port);
    listening.bindText = parser.value(QStringLiteral("bind")).trimmed();
    if (listening.bindText.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        listening.address = QHostAddress(QHostAddress::LocalHost);
    else if (!listening.address.setAddress(listening.bindText))
        fail(QStringLiteral("--bind %1 is not an IP address").arg(listening.bindText));
    return listening;
}

DeliveryOptions deliveryOptions(const QCommandLineParser &parser)
{
    DeliveryOptions options;
    options.deliveryDelay = secondsOption(parser, QStringLiteral("delivery-delay"));
    options.replyDelay = secondsOption(parser, QStringLiteral("reply-delay"));
    options.failureShare = shareOption(parser, QStringLiteral("failure-share"), 0);
    options.replyShare = shareOption(parser, QStringLiteral("reply-share"), 0);
    bool ok = false;
    options.seed = parser.value(QStringLiteral("seed")).toULongLong(&ok);
    if (!ok)
        fail(QStringLiteral("--seed must be a whole number, 0 or more"));
    return options;
}

int latencyOption(const QCommandLineParser &parser)
{
    bool ok = false;
    const int latency = parser.value(QStringLiteral("latency-ms")).toInt(&ok);
    if (!ok || latency < 0)
        fail(QStringLiteral("--latency-ms must be a whole number, 0 or more"));
    return latency;
}

FaultSettings faultOptions(const QCommandLineParser &parser)
{
    FaultSettings fault;
    if (!parseFaultMode(parser.value(QStringLiteral("fault")), &fault.mode))
        fail(QStringLiteral("unknown --fault mode %1 (see --help)").arg(parser.value(QStringLiteral("fault"))));
    fault.share = shareOption(parser, QStringLiteral("fault-share"), 1);
    const QStringList faultTypes =
        parser.value(QStringLiteral("fault-types")).split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString &type : faultTypes) {
        bool known = false;
        for (const QString &faultable : faultableTypes())
            known = known || faultable.compare(type.trimmed(), Qt::CaseInsensitive) == 0;
        if (!known)
            fail(QStringLiteral("unknown request type %1 in --fault-types").arg(type));
        fault.types.insert(type.trimmed().toLower());
    }
    return fault;
}

struct AccountArgument
{
    QString user, password;
    qint64 credits;
};

QList<AccountArgument> accountOptions(const QCommandLineParser &parser)
{
    QList<AccountArgument> accounts;
    const QStringList accountTexts = parser.values(QStringLiteral("account"));
    for (const QString &text : accountTexts) {
        const qsizetype first = text.indexOf(QLatin1Char(':'));
        const qsizetype last = text.lastIndexOf(QLatin1Char(':'));
        bool ok = false;
        const qint64 credits = first > 0 && last > first ? text.mid(last + 1).toLongLong(&ok) : 0;
        if (first <= 0 || last <= first || !ok || credits < 0)
            fail(QStringLiteral("--account %1 is not user:password:credits").arg(text));
        accounts.append({text.left(first), text.mid(first + 1, last - first - 1), credits});
    }
    return accounts;
}

} // namespace

int main(int argc, char *argv[])
{
    // The plain Unix event dispatcher costs less per wake-up than the GLib one.
    qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tellwave-gateway"));

    QCommandLineParser parser;
    addOptions(parser);
    parser.process(app);
    if (!parser.positionalArguments().isEmpty())
        fail(QStringLiteral("unexpected argument %1 (see --help)").arg(parser.positionalArguments().first()));
    // Every option is checked before the state file is opened or the port taken.
    const Listening listening = listeningOption(parser);
    const DeliveryOptions options = deliveryOptions(parser);
    const int latency = latencyOption(parser);
    const FaultSettings fault = faultOptions(parser);
    const QList<AccountArgument> accounts = accountOptions(parser);

    GatewayState state(options);
    if (parser.isSet(QStringLiteral("state"))) {
        QString error;
        if (!state.open(parser.value(QStringLiteral("state")), &error))
            fail(error, 1);
    }
    for (const AccountArgument &account : std::as_const(accounts))
        state.addAccountIfMissing(account.user, account.password, account.credits);
    state.flush();

    Gateway gateway(state, parser.isSet(QStringLiteral("verbose")));
    gateway.setFault(fault);
    gateway.setLatency(latency);

    HttpServer server([&gateway](const HttpRequest &request) { return gateway.handle(request); });
    if (!server.listen(listening.address, listening.port))
        fail(QStringLiteral("cannot listen on %1:%2: %3")
                 .arg(listening.bindText)
                 .arg(listening.port)
                 .arg(server.errorString()),
             1);

    if (!installSignalHandlers())
        fail(QStringLiteral("cannot set up signal handling"), 1);
    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);

    std::printf("tellwave-gateway listening on %s:%u\n", qPrintable(server.serverAddress().toString()),
                unsigned(server.serverPort()));
    std::fflush(stdout);

    const int result = app.exec();
    state.flush();
    return result;
}
