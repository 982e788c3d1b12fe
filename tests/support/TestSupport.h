#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// A private home for one test: its own config and data folders (so the
// settings store and default paths never touch the user's), and a fresh
// database file that Database::connectionString() points at.
class TestHome
{
public:
    TestHome();
    ~TestHome();
    TestHome(const TestHome &) = delete;
    TestHome &operator=(const TestHome &) = delete;

    bool isValid() const { return m_dir.isValid(); }
    QString path() const { return m_dir.path(); }
    QString databasePath() const { return m_databasePath; }

    // Throws the current database away and starts on a new, empty one.
    void freshDatabase();
    // Writes a file of these bytes in the home; gives its path.
    QString file(const QString &name, const QByteArray &bytes) const;

private:
    QTemporaryDir m_dir;
    QString m_databasePath;
    QByteArray m_oldConfig;
    QByteArray m_oldData;
    int m_oldConnections;
};

// The real tellwave-gateway on a free loopback port, for as long as it lives.
class GatewayProcess
{
public:
    // Accounts and options as on the command line; "--port 0" is added.
    explicit GatewayProcess(const QStringList &arguments = {QStringLiteral("--account"),
                                                            QStringLiteral("demo:demo:1000")});
    ~GatewayProcess();
    GatewayProcess(const GatewayProcess &) = delete;
    GatewayProcess &operator=(const GatewayProcess &) = delete;

    bool isRunning() const;
    QString host() const; // "127.0.0.1:<port>"
    quint16 port() const { return m_port; }
    QString output() const { return m_output; }

    // Sets modMain's gateway host and account to this gateway.
    void use(const QString &username = QStringLiteral("demo"), const QString &password = QStringLiteral("demo")) const;

    // A control request to the gateway ("/admin/..."); gives the answer body.
    QByteArray admin(const QString &pathAndQuery) const;

    void stop();

    static QString executable();

private:
    std::unique_ptr<QProcess> m_process;
    quint16 m_port = 0;
    QString m_output;
};

// Runs "GET/POST <pathAndQuery>" against 127.0.0.1:port with a plain socket and
// gives the whole answer (status line, headers, body) as received.
QByteArray rawHttp(quint16 port, const QByteArray &method, const QByteArray &pathAndQuery, int timeoutMs = 10000);
// The body of such an answer.
QByteArray httpBody(const QByteArray &answer);

// True when this run tests PostgreSQL (TELLWAVE_TEST_ENGINE=postgres).
bool testingServer();
// Runs statements on a server database with psql, as another program would.
// Gives what they print (unaligned, rows only), or "psql failed: ..." with its error.
QString psql(const QString &address, const QString &statements);
// For a test about the SQLite file itself (a second connection to the file,
// its pragmas or triggers): said and skipped when the run tests PostgreSQL.
#define SQLITE_FILE_ONLY(what)                                                                                         \
    do {                                                                                                               \
        if (testingServer())                                                                                           \
            QSKIP("SQLite file only: " what);                                                                          \
    } while (false)
