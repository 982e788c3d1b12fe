#pragma once

#include <QApplication>
#include <QByteArray>
#include <QList>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>

class QTcpSocket;

// What the benchmark programs share: output in the "figure: value unit" form,
// a private home with database files, the real tellwave-gateway on loopback,
// message boxes answered without blocking, and data generated from a seed.
namespace Bench {

// Before the application object exists: offscreen windows unless a platform
// was chosen, and settings kept out of the user's folders (under `home`).
void prepareEnvironment(const QString &home);

// "name: value unit", flushed at once so a slow step shows where it is.
void figure(const QString &name, double value, const QString &unit = {}, int decimals = 0);
void figure(const QString &name, const QString &text);
// A line on stderr; the benchmark goes on.
void note(const QString &text);
// A message on stderr and exit code 1.
[[noreturn]] void fail(const QString &text);

// TELLWAVE_BENCH_TINY=1 (read once): every benchmark runs on a few dozen rows
// and one round, to show in seconds that it still runs to its last line.
// Its figures then measure nothing.
bool tiny();
// The size of a data set: `normal`, or `small` in a tiny run.
int sized(int normal, int small);
// The number of alternating rounds: TELLWAVE_BENCH_ROUNDS (at least 1), else
// one in a tiny run, else `standard`.
int rounds(int standard);
// The number of queued messages for a send benchmark: TELLWAVE_BENCH_MESSAGES
// when set (a shorter run, for profiling), else `standard`.
int messageCount(int standard);

// Runs the baseline and our run for the given number of rounds, taking turns
// at going first (the baseline first in odd rounds), so that one disturbed
// moment does not decide the comparison; appends each run's seconds.
void alternate(int rounds, const std::function<double()> &baseline, const std::function<double()> &ours,
               QList<double> &baselineSeconds, QList<double> &ourSeconds);
// The smallest of the values.
double fastest(const QList<double> &seconds);

// "0.512, 0.498, 0.530": the seconds of every round, for the output.
QString listed(const QList<double> &seconds);

// The program's resident memory in megabytes.
double residentMb();

// CPU seconds (user and system) this process has used so far.
double cpuSeconds();

// The p-th percentile (0..100) by the nearest-rank method; 0 for no values.
double percentile(QList<double> values, double p);

// A folder of its own for one benchmark run, removed at the end.
class Home
{
public:
    Home();
    ~Home();
    Home(const Home &) = delete;
    Home &operator=(const Home &) = delete;
    QString path() const { return m_dir.path(); }
    QString file(const QString &name) const;

    // Creates a new database file and points the program (modMain) at it.
    QString freshDatabase();
    // Points the program at an existing database file (the connection is
    // opened again on the next statement).
    static void useDatabase(const QString &path);
    // A copy of a closed database file, pointed at.
    QString copyOf(const QString &templatePath);

private:
    QTemporaryDir m_dir;
    int m_serial = 0;
};

// The real tellwave-gateway on a free loopback port, for as long as it lives.
// Found through TELLWAVE_GATEWAY (bench/run sets it), else on the PATH.
class Gateway
{
public:
    explicit Gateway(const QStringList &arguments);
    ~Gateway();
    Gateway(const Gateway &) = delete;
    Gateway &operator=(const Gateway &) = delete;

    quint16 port() const { return m_port; }
    QString host() const;
    // Points the program's gateway host and account at this gateway.
    void use(const QString &username, const QString &password) const;
    // A control request ("/admin/..."), on a kept-alive connection of its
    // own; gives the answer body and fails the benchmark on any error.
    QByteArray admin(const QString &pathAndQuery);
    // How many protocol requests the gateway took since the last clear.
    int requestCount();
    // The same requests counted by their Type, in lower case ("singlesms").
    QMap<QString, int> requestTypes();
    void clearRequests();

private:
    std::unique_ptr<QProcess> m_process;
    std::unique_ptr<QTcpSocket> m_control;
    quint16 m_port = 0;
};

// Every request of a send run that posts `messages` messages, by request
// Type: the replies (fetched first so that a STOP already received is
// honoured), the credit balance, and one SingleSMS request per message.
QMap<QString, int> sendRunRequests(int messages);
// The number of those requests.
int sendRunRequestCount(int messages);
// Fails the benchmark unless the gateway took exactly the requests of such a
// send run since the last clear.
void checkSendRunRequests(Gateway &gateway, int messages);

// Installs a message-box responder for its lifetime: every box is counted,
// its text kept, and answered Yes (or OK), so no run ever waits on a box.
class QuietBoxes
{
public:
    QuietBoxes();
    ~QuietBoxes();
    int count() const { return m_texts.size(); }
    QString all() const { return m_texts.join(QStringLiteral(" | ")); }

private:
    QStringList m_texts;
};

// What every benchmark program starts with: its private home (settings and
// data kept out of the user's folders, windows offscreen) and the application
// object, in that order.
class Program
{
public:
    Program(int &argc, char **argv);
    Home home;

private:
    bool m_prepared;
    QApplication m_application;
};

// A reproducible stream of test data.
class Data
{
public:
    explicit Data(quint32 seed);
    int between(int low, int high); // inclusive
    // A South African mobile number in one of the forms operators type:
    // "0821234567", "082 123 4567", "+27 82 123 4567", "27821234567".
    QString mobileNumber();
    // A message of plain words, at most `maxLength` characters.
    QString message(int maxLength = 160);
    QString word();

private:
    quint64 next();
    quint64 m_state;
};

// One queued outbox row.
struct QueuedMessage
{
    QString number;
    QString message;
};
QList<QueuedMessage> queuedMessages(int count, quint32 seed);
// Inserts the rows into SMSSend as queued (one transaction); gives their keys.
QList<qint64> queue(const QList<QueuedMessage> &messages);

// Runs the sqlite3 shell on a database with the script on its standard input;
// gives the seconds it took, process start included. Fails the benchmark when
// the shell is missing or reports an error.
double sqliteShell(const QString &databasePath, const QByteArray &script);
// A text as an SQL literal for such a script.
QByteArray sqlText(const QString &text);
// Every outbox row's number, text and number key, sorted: what two ways of
// queueing the same rows must agree on.
QStringList outboxRows();

} // namespace Bench
