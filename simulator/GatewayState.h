#pragma once

#include <QObject>
#include <QSqlDatabase>
#include <QString>
#include <QTimer>

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <utility>
#include <vector>

class QSqlQuery;

// One entry of an account's delivery report; trn is its position + 1.
struct ReportEntry
{
    qint64 trn = 0;
    QString number;
    QString message;
    QString dateTime;
    QString batch;
    QString flag;
    QString customerId;
};

// One reply of an account; seq is its position + 1.
struct Reply
{
    qint64 seq = 0;
    QString id;
    QString from;
    QString text;
    QString received;
    QString sentMessage;
    QString sentDateTime;
    QString customerId;
};

enum class MessageState { Pending = 0, Delivered = 1, Failed = 2 };

struct Message
{
    qint64 batch = 0;
    QString user;
    QString number;
    QString text;
    QString customerId;
    qint64 acceptedMs = 0;
    qint64 dueMs = 0;
    MessageState state = MessageState::Pending;
    qint64 trn = 0;
};

struct Account
{
    QString user;
    QString password;
    qint64 credits = 0;
    std::vector<ReportEntry> report;
    std::vector<Reply> replies;
    std::vector<qint64> batches; // the account's messages, in acceptance order
};

struct DeliveryOptions
{
    double deliveryDelay = 0; // seconds
    double failureShare = 0;
    double replyShare = 0;
    double replyDelay = 0; // seconds
    quint64 seed = 0;
};

// True for the k-th item (k >= 1) of a run when a share of the items is to be
// picked: spreads the picks evenly, exactly share * n of n items (rounded).
bool pickedByShare(quint64 k, double share, double offset = 0);

// Text form of a point in time, as the gateway writes it ("yyyy-MM-dd HH:mm:ss").
QString gatewayTime(qint64 msecsSinceEpoch);

// Accounts, messages, report entries and replies, held in memory and mirrored
// to an SQLite file when one is given. Writes are gathered into a transaction
// that is committed shortly after (and on flush()), so a busy gateway does not
// pay one commit per request.
class GatewayState : public QObject
{
    Q_OBJECT
public:
    static constexpr qint64 FirstBatch = 5000001;

    explicit GatewayState(const DeliveryOptions &options, QObject *parent = nullptr);
    ~GatewayState() override;

    // Opens (creating when needed) and loads a state file. Without it the
    // state lives in memory only.
    bool open(const QString &fileName, QString *error);
    void flush();

    const std::map<QString, Account> &accounts() const { return m_accounts; }
    Account *account(const QString &user);
    // Adds the account when it does not exist yet; an existing one is left alone.
    void addAccountIfMissing(const QString &user, const QString &password, qint64 credits);
    // Creates the account or changes the given fields of an existing one.
    void setAccount(const QString &user, const std::optional<QString> &password, const std::optional<qint64> &credits);

    // Charges one credit and records the message; gives its batch number.
    qint64 acceptMessage(Account &account, const QString &number, const QString &text, const QString &customerId,
                         qint64 nowMs);

    // Decides every delivery that is due and makes every reply that is due.
    void settle(qint64 nowMs);

    qint64 addReportEntry(Account &account, ReportEntry entry);
    qint64 addReply(Account &account, Reply reply);

    const std::vector<Message> &messages() const { return m_messages; }
    const Message *message(qint64 batch) const;
    qint64 pendingDeliveries() const { return qint64(m_pendingDeliveries.size()); }
    qint64 pendingReplies() const { return qint64(m_pendingReplies.size()); }

    static QStringList replyTexts();

private:
    struct PendingReply
    {
        int textIndex = 0;
    };

    void changed();
    void commit();
    void saveAccount(const Account &account);
    void saveMessage(const Message &message);
    void saveReportEntry(const QString &user, const ReportEntry &entry);
    void saveReply(const QString &user, const Reply &reply);
    void saveCounter(const QString &name, qint64 value);
    void savePendingReply(qint64 batch, qint64 dueMs, int textIndex);
    void deletePendingReply(qint64 batch);
    bool load(QString *error);
    // What one row of each stored table adds to the state; an error text when
    // the row does not fit what was read before it.
    QString readAccount(const QSqlQuery &row);
    QString readMessage(const QSqlQuery &row);
    QString readReportEntry(const QSqlQuery &row);
    QString readReply(const QSqlQuery &row);
    QString readPendingReply(const QSqlQuery &row);
    QString readCounter(const QSqlQuery &row);
    bool exec(QSqlQuery &query);

    DeliveryOptions m_options;
    double m_failureOffset = 0;
    double m_replyOffset = 0;

    std::map<QString, Account> m_accounts;
    std::vector<Message> m_messages;                                    // index = batch - FirstBatch
    std::set<std::pair<qint64, qint64>> m_pendingDeliveries;            // (due, batch)
    std::map<std::pair<qint64, qint64>, PendingReply> m_pendingReplies; // (due, batch)
    qint64 m_decided = 0;
    qint64 m_delivered = 0;
    qint64 m_nextReplyId = 1;

    QString m_connectionName;
    bool m_persistent = false;
    bool m_inTransaction = false;
    QTimer m_commitTimer;
    struct Statements;
    std::unique_ptr<Statements> m_sql;
};
