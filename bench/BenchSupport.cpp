#include "BenchSupport.h"

#include "app/modMain.h"
#include "data/Database.h"
#include "ui/MessageBoxes.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QTcpSocket>
#include <QUrl>
#include <QUrlQuery>

#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include "settings/RunningSetup.h"
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numeric>

namespace Bench {

namespace {
// Removed by fail() too, which ends the program without unwinding.
QTemporaryDir *s_homeDir = nullptr;
} // namespace

void prepareEnvironment(const QString &home)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QDir().mkpath(home);
    qputenv("XDG_CONFIG_HOME", QDir(home).filePath(QStringLiteral("config")).toUtf8());
    qputenv("XDG_DATA_HOME", QDir(home).filePath(QStringLiteral("data")).toUtf8());
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const QString runtime = QDir(home).filePath(QStringLiteral("runtime"));
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", runtime.toUtf8());
    }
}

void figure(const QString &name, double value, const QString &unit, int decimals)
{
    QString text = QString::number(value, 'f', decimals);
    if (!unit.isEmpty())
        text += QLatin1Char(' ') + unit;
    figure(name, text);
}

void figure(const QString &name, const QString &text)
{
    std::printf("%s: %s\n", qPrintable(name), qPrintable(text));
    std::fflush(stdout);
}

void note(const QString &text)
{
    std::fprintf(stderr, "%s\n", qPrintable(text));
    std::fflush(stderr);
}

void fail(const QString &text)
{
    std::fflush(stdout);
    std::fprintf(stderr, "benchmark failed: %s\n", qPrintable(text));
    Database::close();
    if (s_homeDir)
        s_homeDir->remove();
    std::exit(1);
}

bool tiny()
{
    static const bool small = qEnvironmentVariableIntValue("TELLWAVE_BENCH_TINY") != 0;
    return small;
}

int sized(int normal, int small)
{
    return tiny() ? small : normal;
}

int rounds(int standard)
{
    bool ok = false;
    const int wanted = qEnvironmentVariableIntValue("TELLWAVE_BENCH_ROUNDS", &ok);
    if (ok && wanted > 0)
        return wanted;
    return tiny() ? 1 : standard;
}

int messageCount(int standard)
{
    bool ok = false;
    const int wanted = qEnvironmentVariableIntValue("TELLWAVE_BENCH_MESSAGES", &ok);
    return ok && wanted > 0 ? wanted : standard;
}

Program::Program(int &argc, char **argv)
    : m_prepared((prepareEnvironment(home.file(QStringLiteral("home"))), true)), m_application(argc, argv)
{
    QCoreApplication::setApplicationName(QStringLiteral("Tellwave"));
}

void alternate(int rounds, const std::function<double()> &baseline, const std::function<double()> &ours,
               QList<double> &baselineSeconds, QList<double> &ourSeconds)
{
    for (int round = 0; round < rounds; ++round) {
        if (round % 2 == 0) {
            baselineSeconds.append(baseline());
            ourSeconds.append(ours());
        } else {
            ourSeconds.append(ours());
            baselineSeconds.append(baseline());
        }
    }
}

double fastest(const QList<double> &seconds)
{
    return seconds.isEmpty() ? 0.0 : *std::min_element(seconds.begin(), seconds.end());
}

QString listed(const QList<double> &seconds)
{
    QStringList texts;
    for (double value : seconds)
        texts << QString::number(value, 'f', 3);
    return texts.join(QStringLiteral(", "));
}

double residentMb()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        fail(QStringLiteral("/proc/self/statm cannot be read"));
    const qint64 pages = statm.readAll().split(' ').value(1).toLongLong();
    return double(pages) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
           + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double percentile(QList<double> values, double p)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const qsizetype rank = qsizetype(std::ceil(p / 100.0 * double(values.size())));
    return values.at(std::clamp<qsizetype>(rank - 1, 0, values.size() - 1));
}

// Home

Home::Home() : m_dir(QDir::temp().filePath(QStringLiteral("tellwave-bench-XXXXXX")))
{
    if (!m_dir.isValid())
        fail(QStringLiteral("no temporary folder: %1").arg(m_dir.errorString()));
    s_homeDir = &m_dir;
}

Home::~Home()
{
    Database::close();
    s_homeDir = nullptr;
}

QString Home::file(const QString &name) const
{
    return QDir(m_dir.path()).filePath(name);
}

QString Home::freshDatabase()
{
    Database::close();
    const QString path = file(QStringLiteral("db/SMSData-%1.db").arg(++m_serial));
    try {
        Database::create(path);
    } catch (const AppError &error) {
        fail(QStringLiteral("creating %1: %2").arg(path, error.description()));
    }
    useDatabase(path);
    return path;
}

void Home::useDatabase(const QString &path)
{
    Database::close();
    Database::use(path);
}

QString Home::copyOf(const QString &templatePath)
{
    Database::close();
    const QString path = file(QStringLiteral("db/SMSData-%1.db").arg(++m_serial));
    // A closed WAL database is whole in its main file; a left-over WAL goes along.
    for (const QString &suffix : {QString(), QStringLiteral("-wal")}) {
        if (QFile::exists(templatePath + suffix) && !QFile::copy(templatePath + suffix, path + suffix))
            fail(QStringLiteral("copying %1 to %2").arg(templatePath + suffix, path + suffix));
    }
    useDatabase(path);
    return path;
}

// Gateway

Gateway::Gateway(const QStringList &arguments) : m_process(std::make_unique<QProcess>())
{
    QString program = qEnvironmentVariable("TELLWAVE_GATEWAY");
    if (program.isEmpty())
        program = QStringLiteral("tellwave-gateway");
    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // The gateway ends with the benchmark, also when it fails or crashes.
    m_process->setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
    m_process->start(program, QStringList{QStringLiteral("--port"), QStringLiteral("0")} + arguments);
    if (!m_process->waitForStarted(10000))
        fail(QStringLiteral("could not start %1: %2").arg(program, m_process->errorString()));
    static const QRegularExpression listening(QStringLiteral("listening on [0-9.]+:(\\d+)"));
    QString output;
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 15000 && m_process->state() == QProcess::Running) {
        m_process->waitForReadyRead(200);
        output += QString::fromUtf8(m_process->readAllStandardOutput());
        const auto match = listening.match(output);
        if (match.hasMatch()) {
            m_port = match.captured(1).toUShort();
            return;
        }
    }
    fail(QStringLiteral("%1 did not start listening: %2").arg(program, output));
}

Gateway::~Gateway()
{
    m_control.reset();
    if (m_process->state() != QProcess::NotRunning) {
        m_process->terminate();
        if (!m_process->waitForFinished(5000)) {
            m_process->kill();
            m_process->waitForFinished(5000);
        }
    }
}

QString Gateway::host() const
{
    return QStringLiteral("127.0.0.1:%1").arg(m_port);
}

void Gateway::use(const QString &username, const QString &password) const
{
    RunningSetup::useGatewayHost(host());
    RunningSetup::useGatewayAccount(username, password);
}

QByteArray Gateway::admin(const QString &pathAndQuery)
{
    constexpr int TimeoutMs = 30000;
    for (int round = 0; round < 2; ++round) {
        if (!m_control || m_control->state() != QAbstractSocket::ConnectedState) {
            m_control = std::make_unique<QTcpSocket>();
            m_control->connectToHost(QHostAddress::LocalHost, m_port);
            if (!m_control->waitForConnected(TimeoutMs))
                fail(QStringLiteral("control connection to the gateway: %1").arg(m_control->errorString()));
            m_control->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        }
        m_control->write("POST " + pathAndQuery.toUtf8()
                         + " HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                           "Content-Length: 0\r\n\r\n");
        QByteArray data;
        qsizetype headerEnd = -1;
        qint64 length = -1;
        bool closed = false;
        while (true) {
            if (headerEnd < 0) {
                headerEnd = data.indexOf("\r\n\r\n");
                if (headerEnd >= 0) {
                    static const QRegularExpression contentLength(
                        QStringLiteral("(?i)\\r\\ncontent-length:\\s*(\\d+)"));
                    const auto match = contentLength.match(QString::fromLatin1(data.left(headerEnd + 2)));
                    if (!match.hasMatch())
                        fail(QStringLiteral("control answer without Content-Length: %1").arg(pathAndQuery));
                    length = match.captured(1).toLongLong();
                }
            }
            if (headerEnd >= 0 && data.size() >= headerEnd + 4 + length)
                break;
            if (m_control->bytesAvailable() == 0 && !m_control->waitForReadyRead(TimeoutMs)) {
                closed = true;
                break;
            }
            data += m_control->readAll();
        }
        if (closed) {
            m_control.reset();
            if (data.isEmpty() && round == 0)
                continue; // the kept-alive connection had been closed
            fail(QStringLiteral("control request %1 broke off").arg(pathAndQuery));
        }
        const QByteArray statusLine = data.left(data.indexOf("\r\n"));
        const QByteArray body = data.mid(headerEnd + 4, length);
        if (!statusLine.contains(" 200 "))
            fail(QStringLiteral("control request %1: %2 %3")
                     .arg(pathAndQuery, QString::fromLatin1(statusLine), QString::fromUtf8(body)));
        return body;
    }
    fail(QStringLiteral("control request %1 failed").arg(pathAndQuery));
}

int Gateway::requestCount()
{
    const QJsonDocument requests = QJsonDocument::fromJson(admin(QStringLiteral("/admin/requests")));
    if (!requests.isArray())
        fail(QStringLiteral("/admin/requests did not give a JSON array"));
    return int(requests.array().size());
}

QMap<QString, int> Gateway::requestTypes()
{
    const QJsonDocument requests = QJsonDocument::fromJson(admin(QStringLiteral("/admin/requests")));
    if (!requests.isArray())
        fail(QStringLiteral("/admin/requests did not give a JSON array"));
    QMap<QString, int> types;
    for (const QJsonValue &request : requests.array()) {
        QString type;
        const QUrlQuery query(QUrl(request[QStringLiteral("target")].toString()));
        for (const auto &[key, value] : query.queryItems(QUrl::FullyDecoded)) {
            if (key.compare(QLatin1String("type"), Qt::CaseInsensitive) == 0)
                type = value.toLower();
        }
        ++types[type];
    }
    return types;
}

void Gateway::clearRequests()
{
    admin(QStringLiteral("/admin/clear-requests"));
}

QMap<QString, int> sendRunRequests(int messages)
{
    QMap<QString, int> requests{{QStringLiteral("replies"), 1}, {QStringLiteral("credits"), 1}};
    if (messages > 0)
        requests.insert(QStringLiteral("singlesms"), messages);
    return requests;
}

int sendRunRequestCount(int messages)
{
    const QMap<QString, int> requests = sendRunRequests(messages);
    return std::accumulate(requests.cbegin(), requests.cend(), 0);
}

void checkSendRunRequests(Gateway &gateway, int messages)
{
    const auto text = [](const QMap<QString, int> &requests) {
        QStringList parts;
        for (auto it = requests.cbegin(); it != requests.cend(); ++it)
            parts << QStringLiteral("%1 %2")
                         .arg(it.value())
                         .arg(it.key().isEmpty() ? QStringLiteral("(no type)") : it.key());
        return parts.join(QStringLiteral(", "));
    };
    const QMap<QString, int> made = gateway.requestTypes();
    const QMap<QString, int> expected = sendRunRequests(messages);
    if (made != expected)
        fail(QStringLiteral("the send run of %1 messages made %2 requests, not %3")
                 .arg(messages)
                 .arg(text(made), text(expected)));
}

// QuietBoxes

QuietBoxes::QuietBoxes()
{
    MessageBoxes::setResponder([this](const MessageBoxes::Shown &shown) {
        m_texts << shown.title + QStringLiteral(": ") + shown.text;
        return shown.buttons.testFlag(QMessageBox::Yes) ? QMessageBox::Yes : QMessageBox::Ok;
    });
}

QuietBoxes::~QuietBoxes()
{
    MessageBoxes::setResponder({});
}

// Data

namespace {

const char *const Words[] = {
    "your",    "order",    "is",      "ready",   "for",     "collection", "at",      "the",    "branch",
    "please",  "call",     "us",      "on",      "monday",  "account",    "payment", "due",    "reminder",
    "thank",   "you",      "meeting", "tonight", "church",  "hall",       "bring",   "a",      "friend",
    "debit",   "order",    "will",    "run",     "friday",  "balance",    "of",      "R",      "statement",
    "new",     "stock",    "arrived", "visit",   "store",   "today",      "special", "offer",  "ends",
    "welcome", "member",   "policy",  "renewal", "contact", "office",     "hours",   "closed", "public",
    "holiday", "delivery", "driver",  "will",    "arrive",  "between",    "and",     "pm",     "am",
};
constexpr int WordCount = int(sizeof(Words) / sizeof(Words[0]));

} // namespace

Data::Data(quint32 seed) : m_state(0x9E3779B97F4A7C15ull ^ seed) {}

quint64 Data::next()
{
    // splitmix64: the same stream on every platform and Qt version.
    quint64 z = (m_state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

int Data::between(int low, int high)
{
    return low + int(next() % quint64(high - low + 1));
}

QString Data::mobileNumber()
{
    static const char *const Prefixes[] = {"82", "83", "84", "72", "73", "74", "76", "79", "81", "61"};
    const QString prefix = QString::fromLatin1(Prefixes[between(0, 9)]);
    const QString middle = QStringLiteral("%1").arg(between(0, 999), 3, 10, QLatin1Char('0'));
    const QString last = QStringLiteral("%1").arg(between(0, 9999), 4, 10, QLatin1Char('0'));
    switch (between(0, 3)) {
    case 0:
        return QLatin1Char('0') + prefix + middle + last;
    case 1:
        return QLatin1Char('0') + prefix + QLatin1Char(' ') + middle + QLatin1Char(' ') + last;
    case 2:
        return QStringLiteral("+27 ") + prefix + QLatin1Char(' ') + middle + QLatin1Char(' ') + last;
    default:
        return QStringLiteral("27") + prefix + middle + last;
    }
}

QString Data::word()
{
    return QString::fromLatin1(Words[between(0, WordCount - 1)]);
}

QString Data::message(int maxLength)
{
    const int target = between(20, maxLength);
    QString text;
    for (;;) {
        const QString next = word();
        if (text.size() + 1 + next.size() > target)
            break;
        if (!text.isEmpty())
            text += QLatin1Char(' ');
        text += next;
    }
    if (!text.isEmpty())
        text[0] = text[0].toUpper();
    return text + QLatin1Char('.');
}

QList<QueuedMessage> queuedMessages(int count, quint32 seed)
{
    Data data(seed);
    QList<QueuedMessage> messages;
    messages.reserve(count);
    for (int i = 0; i < count; ++i)
        messages.append({data.mobileNumber(), data.message(159)});
    return messages;
}

QList<qint64> queue(const QList<QueuedMessage> &messages)
{
    QList<qint64> keys;
    keys.reserve(messages.size());
    try {
        Database::Batch batch;
        for (const QueuedMessage &message : messages)
            keys.append(Database::insert(QStringLiteral("INSERT INTO SMSSend (Number, Message, SendDate, SendTime) "
                                                        "VALUES (?, ?, '2026-06-01', '08:30')"),
                                         {message.number, message.message}));
        batch.commit();
    } catch (const AppError &error) {
        fail(QStringLiteral("queueing messages: %1").arg(error.description()));
    }
    return keys;
}

namespace {

double runShell(const QString &databasePath, const QByteArray &script);

} // namespace

double sqliteShell(const QString &databasePath, const QByteArray &script)
{
    // The shell does not know the program's name collation, and an index in
    // it stops the shell writing its table. For the shell's run each such
    // index is built in the shell's own case-blind collation (the same work
    // per row), and put back as it was afterwards; neither is timed.
    const QString connection = QStringLiteral("bench-shell-indexes");
    QList<std::pair<QString, QString>> named;
    {
        QSqlDatabase db = Database::openNamed(connection, databasePath);
        QSqlQuery query(db);
        if (!query.exec(QStringLiteral("SELECT name, sql FROM sqlite_master WHERE type = 'index' "
                                       "AND sql LIKE '%COLLATE Names%'")))
            fail(QStringLiteral("reading the indexes: %1").arg(query.lastError().text()));
        while (query.next())
            named.append({query.value(0).toString(), query.value(1).toString()});
    }
    Database::closeNamed(connection);
    QByteArray before;
    for (const auto &[name, sql] : named)
        before += "DROP INDEX " + name.toUtf8() + ";\n"
                  + QString(sql).replace(QStringLiteral("COLLATE Names"), QStringLiteral("COLLATE NOCASE")).toUtf8()
                  + ";\n";
    if (!before.isEmpty())
        runShell(databasePath, before);
    const double seconds = runShell(databasePath, script);
    if (!named.isEmpty()) {
        QSqlDatabase db = Database::openNamed(connection, databasePath);
        QSqlQuery query(db);
        for (const auto &[name, sql] : named)
            if (!query.exec(QStringLiteral("DROP INDEX ") + name) || !query.exec(sql))
                fail(QStringLiteral("putting the index %1 back: %2").arg(name, query.lastError().text()));
    }
    Database::closeNamed(connection);
    return seconds;
}

namespace {

double runShell(const QString &databasePath, const QByteArray &script)
{
    Database::close();
    QProcess shell;
    shell.setProcessChannelMode(QProcess::SeparateChannels);
    QElapsedTimer clock;
    clock.start();
    shell.start(QStringLiteral("sqlite3"), {QStringLiteral("-bail"), databasePath});
    if (!shell.waitForStarted(10000))
        fail(QStringLiteral("could not start the sqlite3 shell: %1").arg(shell.errorString()));
    shell.write(script);
    shell.closeWriteChannel();
    if (!shell.waitForFinished(600000))
        fail(QStringLiteral("the sqlite3 shell did not finish"));
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    const QByteArray errors = shell.readAllStandardError();
    if (shell.exitStatus() != QProcess::NormalExit || shell.exitCode() != 0 || !errors.trimmed().isEmpty())
        fail(QStringLiteral("the sqlite3 shell failed: %1").arg(QString::fromUtf8(errors)));
    return seconds;
}

} // namespace

QByteArray sqlText(const QString &text)
{
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QStringLiteral("''"));
    return '\'' + quoted.toUtf8() + '\'';
}

QStringList outboxRows()
{
    QStringList rows;
    QSqlQuery query = Database::run(QStringLiteral("SELECT Number, Message, NumberKey FROM SMSSend"));
    while (query.next())
        rows << query.value(0).toString() + u'|' + query.value(1).toString() + u'|' + query.value(2).toString();
    rows.sort();
    return rows;
}

} // namespace Bench
