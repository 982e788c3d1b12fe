#include "GatewayState.h"

#include <QDateTime>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <cmath>
#include <limits>

namespace {

quint64 splitMix(quint64 x)
{
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

double unitFraction(quint64 x)
{
    return double(splitMix(x) >> 11) * (1.0 / 9007199254740992.0);
}

// A null QString binds as SQL NULL; the columns hold texts, empty ones included.
QString nonNull(const QString &text)
{
    return text.isNull() ? QStringLiteral("") : text;
}

qint64 secondsToMs(double seconds)
{
    return seconds > 0 ? qint64(std::llround(seconds * 1000.0)) : 0;
}

const char *const schema[] = {
    "PRAGMA journal_mode=WAL",
    "PRAGMA synchronous=NORMAL",
    "CREATE TABLE IF NOT EXISTS accounts (username TEXT PRIMARY KEY, password TEXT NOT NULL,"
    " credits INTEGER NOT NULL)",
    "CREATE TABLE IF NOT EXISTS messages (batch INTEGER PRIMARY KEY, username TEXT NOT NULL,"
    " number TEXT NOT NULL, message TEXT NOT NULL, customer_id TEXT NOT NULL,"
    " accepted_ms INTEGER NOT NULL, due_ms INTEGER NOT NULL, state INTEGER NOT NULL,"
    " trn INTEGER NOT NULL)",
    "CREATE TABLE IF NOT EXISTS report (username TEXT NOT NULL, trn INTEGER NOT NULL,"
    " number TEXT NOT NULL, message TEXT NOT NULL, datetime TEXT NOT NULL, batch TEXT NOT NULL,"
    " flag TEXT NOT NULL, customer_id TEXT NOT NULL, PRIMARY KEY (username, trn))",
    "CREATE TABLE IF NOT EXISTS replies (username TEXT NOT NULL, seq INTEGER NOT NULL,"
    " id TEXT NOT NULL, from_number TEXT NOT NULL, text TEXT NOT NULL, received TEXT NOT NULL,"
    " sent_message TEXT NOT NULL, sent_datetime TEXT NOT NULL, customer_id TEXT NOT NULL,"
    " PRIMARY KEY (username, seq))",
    "CREATE TABLE IF NOT EXISTS pending_replies (batch INTEGER PRIMARY KEY,"
    " due_ms INTEGER NOT NULL, text_index INTEGER NOT NULL)",
    "CREATE TABLE IF NOT EXISTS counters (name TEXT PRIMARY KEY, value INTEGER NOT NULL)",
};

} // namespace

bool pickedByShare(quint64 k, double share, double offset)
{
    if (share <= 0 || k == 0)
        return false;
    if (share >= 1)
        return true;
    constexpr double nudge = 1e-9; // keeps 0.1 * 10 from landing just below 1
    return std::floor(double(k) * share + offset + nudge) > std::floor(double(k - 1) * share + offset + nudge);
}

QString gatewayTime(qint64 msecsSinceEpoch)
{
    // Local-time conversion consults the time zone files each time; a busy
    // gateway formats the same second over and over.
    static qint64 cachedSecond = std::numeric_limits<qint64>::min();
    static QString cachedText;
    const qint64 second = msecsSinceEpoch >= 0 ? msecsSinceEpoch / 1000 : (msecsSinceEpoch - 999) / 1000;
    if (second != cachedSecond) {
        cachedText = QDateTime::fromSecsSinceEpoch(second).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        cachedSecond = second;
    }
    return cachedText;
}

struct GatewayState::Statements
{
    explicit Statements(const QSqlDatabase &db)
        : account(db), message(db), report(db), reply(db), counter(db), pendingReply(db), deletePendingReply(db)
    {
        account.prepare(QStringLiteral("INSERT OR REPLACE INTO accounts (username, password, credits)"
                                       " VALUES (?, ?, ?)"));
        message.prepare(QStringLiteral("INSERT OR REPLACE INTO messages (batch, username, number, message,"
                                       " customer_id, accepted_ms, due_ms, state, trn)"
                                       " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"));
        report.prepare(QStringLiteral("INSERT OR REPLACE INTO report (username, trn, number, message, datetime,"
                                      " batch, flag, customer_id) VALUES (?, ?, ?, ?, ?, ?, ?, ?)"));
        reply.prepare(QStringLiteral("INSERT OR REPLACE INTO replies (username, seq, id, from_number, text,"
                                     " received, sent_message, sent_datetime, customer_id)"
                                     " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"));
        counter.prepare(QStringLiteral("INSERT OR REPLACE INTO counters (name, value) VALUES (?, ?)"));
        pendingReply.prepare(QStringLiteral("INSERT OR REPLACE INTO pending_replies (batch, due_ms, text_index)"
                                            " VALUES (?, ?, ?)"));
        deletePendingReply.prepare(QStringLiteral("DELETE FROM pending_replies WHERE batch = ?"));
    }

    QSqlQuery account;
    QSqlQuery message;
    QSqlQuery report;
    QSqlQuery reply;
    QSqlQuery counter;
    QSqlQuery pendingReply;
    QSqlQuery deletePendingReply;
};

GatewayState::GatewayState(const DeliveryOptions &options, QObject *parent) : QObject(parent), m_options(options)
{
    m_failureOffset = unitFraction(options.seed * 2 + 1);
    m_replyOffset = unitFraction(options.seed * 2 + 2);
    m_commitTimer.setSingleShot(true);
    m_commitTimer.setInterval(50);
    connect(&m_commitTimer, &QTimer::timeout, this, &GatewayState::commit);
}

GatewayState::~GatewayState()
{
    flush();
    m_sql.reset();
    if (m_persistent) {
        QSqlDatabase::database(m_connectionName, false).close();
        QSqlDatabase::removeDatabase(m_connectionName);
    }
}

QStringList GatewayState::replyTexts()
{
    return {QStringLiteral("Thank you"), QStringLiteral("Received, thanks"), QStringLiteral("Please call me"),
            QStringLiteral("STOP"), QStringLiteral("Yes")};
}

bool GatewayState::open(const QString &fileName, QString *error)
{
    m_connectionName = QStringLiteral("tellwave-gateway-state");
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
    db.setDatabaseName(fileName);
    if (!db.open()) {
        *error = QStringLiteral("cannot open state file %1: %2").arg(fileName, db.lastError().text());
        return false;
    }
    m_persistent = true;
    for (const char *statement : schema) {
        QSqlQuery query(db);
        if (!query.exec(QString::fromLatin1(statement))) {
            *error = QStringLiteral("cannot prepare state file %1: %2").arg(fileName, query.lastError().text());
            return false;
        }
    }
    m_sql = std::make_unique<Statements>(db);
    if (!load(error)) {
        *error = QStringLiteral("cannot load state file %1: %2").arg(fileName, *error);
        return false;
    }
    return true;
}

bool GatewayState::load(QString *error)
{
    // Each table of the state file, with the statement that reads it in the
    // order the state is rebuilt and what one row adds; a row that does not
    // fit the state read so far is named in the error.
    struct StoredTable
    {
        const char *select;
        QString (GatewayState::*readRow)(const QSqlQuery &row);
    };
    static const StoredTable storedTables[] = {
        {"SELECT username, password, credits FROM accounts", &GatewayState::readAccount},
        {"SELECT batch, username, number, message, customer_id, accepted_ms, due_ms, state, trn"
         " FROM messages ORDER BY batch",
         &GatewayState::readMessage},
        {"SELECT username, trn, number, message, datetime, batch, flag, customer_id"
         " FROM report ORDER BY username, trn",
         &GatewayState::readReportEntry},
        {"SELECT username, seq, id, from_number, text, received, sent_message, sent_datetime,"
         " customer_id FROM replies ORDER BY username, seq",
         &GatewayState::readReply},
        {"SELECT batch, due_ms, text_index FROM pending_replies", &GatewayState::readPendingReply},
        {"SELECT name, value FROM counters", &GatewayState::readCounter},
    };

    const QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    QSqlQuery query(db);
    for (const StoredTable &table : storedTables) {
        if (!query.exec(QString::fromLatin1(table.select))) {
            *error = query.lastError().text();
            return false;
        }
        while (query.next()) {
            if (QString problem = (this->*table.readRow)(query); !problem.isEmpty()) {
                *error = std::move(problem);
                return false;
            }
        }
    }
    return true;
}

QString GatewayState::readAccount(const QSqlQuery &row)
{
    Account account;
    account.user = row.value(0).toString();
    account.password = row.value(1).toString();
    account.credits = row.value(2).toLongLong();
    m_accounts[account.user] = std::move(account);
    return {};
}

QString GatewayState::readMessage(const QSqlQuery &row)
{
    Message message;
    message.batch = row.value(0).toLongLong();
    message.user = row.value(1).toString();
    message.number = row.value(2).toString();
    message.text = row.value(3).toString();
    message.customerId = row.value(4).toString();
    message.acceptedMs = row.value(5).toLongLong();
    message.dueMs = row.value(6).toLongLong();
    message.state = MessageState(row.value(7).toInt());
    message.trn = row.value(8).toLongLong();
    Account *owner = account(message.user);
    if (message.batch != FirstBatch + qint64(m_messages.size()) || !owner)
        return QStringLiteral("message %1 does not fit the state").arg(message.batch);
    owner->batches.push_back(message.batch);
    if (message.state == MessageState::Pending)
        m_pendingDeliveries.insert({message.dueMs, message.batch});
    else
        ++m_decided;
    if (message.state == MessageState::Delivered)
        ++m_delivered;
    m_messages.push_back(std::move(message));
    return {};
}

QString GatewayState::readReportEntry(const QSqlQuery &row)
{
    Account *owner = account(row.value(0).toString());
    ReportEntry entry;
    entry.trn = row.value(1).toLongLong();
    entry.number = row.value(2).toString();
    entry.message = row.value(3).toString();
    entry.dateTime = row.value(4).toString();
    entry.batch = row.value(5).toString();
    entry.flag = row.value(6).toString();
    entry.customerId = row.value(7).toString();
    if (!owner || entry.trn != qint64(owner->report.size()) + 1)
        return QStringLiteral("report entry %1 does not fit the state").arg(entry.trn);
    owner->report.push_back(std::move(entry));
    return {};
}

QString GatewayState::readReply(const QSqlQuery &row)
{
    Account *owner = account(row.value(0).toString());
    Reply reply;
    reply.seq = row.value(1).toLongLong();
    reply.id = row.value(2).toString();
    reply.from = row.value(3).toString();
    reply.text = row.value(4).toString();
    reply.received = row.value(5).toString();
    reply.sentMessage = row.value(6).toString();
    reply.sentDateTime = row.value(7).toString();
    reply.customerId = row.value(8).toString();
    if (!owner || reply.seq != qint64(owner->replies.size()) + 1)
        return QStringLiteral("reply %1 does not fit the state").arg(reply.seq);
    owner->replies.push_back(std::move(reply));
    return {};
}

QString GatewayState::readPendingReply(const QSqlQuery &row)
{
    const qint64 batch = row.value(0).toLongLong();
    if (!message(batch))
        return QStringLiteral("pending reply to %1 does not fit the state").arg(batch);
    m_pendingReplies[{row.value(1).toLongLong(), batch}] = PendingReply{row.value(2).toInt()};
    return {};
}

QString GatewayState::readCounter(const QSqlQuery &row)
{
    if (row.value(0).toString() == QLatin1String("next_reply_id"))
        m_nextReplyId = row.value(1).toLongLong();
    return {};
}

void GatewayState::flush()
{
    m_commitTimer.stop();
    commit();
}

void GatewayState::changed()
{
    if (!m_persistent || m_inTransaction)
        return;
    m_inTransaction = QSqlDatabase::database(m_connectionName, false).transaction();
    m_commitTimer.start();
}

void GatewayState::commit()
{
    if (!m_inTransaction)
        return;
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    if (!db.commit())
        qWarning("tellwave-gateway: cannot write the state file: %s", qPrintable(db.lastError().text()));
    m_inTransaction = false;
}

bool GatewayState::exec(QSqlQuery &query)
{
    if (query.exec())
        return true;
    qWarning("tellwave-gateway: cannot write the state file: %s", qPrintable(query.lastError().text()));
    return false;
}

void GatewayState::saveAccount(const Account &account)
{
    if (!m_persistent)
        return;
    changed();
    QSqlQuery &q = m_sql->account;
    q.bindValue(0, nonNull(account.user));
    q.bindValue(1, nonNull(account.password));
    q.bindValue(2, account.credits);
    exec(q);
}

void GatewayState::saveMessage(const Message &message)
{
    if (!m_persistent)
        return;
    changed();
    QSqlQuery &q = m_sql->message;
    q.bindValue(0, message.batch);
    q.bindValue(1, nonNull(message.user));
    q.bindValue(2, nonNull(message.number));
    q.bindValue(3, nonNull(message.text));
    q.bindValue(4, nonNull(message.customerId));
    q.bindValue(5, message.acceptedMs);
    q.bindValue(6, message.dueMs);
    q.bindValue(7, int(message.state));
    q.bindValue(8, message.trn);
    exec(q);
}

void GatewayState::saveReportEntry(const QString &user, const ReportEntry &entry)
{
    if (!m_persistent)
        return;
    changed();
    QSqlQuery &q = m_sql->report;
    q.bindValue(0, nonNull(user));
    q.bindValue(1, entry.trn);
    q.bindValue(2, nonNull(entry.number));
    q.bindValue(3, nonNull(entry.message));
    q.bindValue(4, nonNull(entry.dateTime));
    q.bindValue(5, nonNull(entry.batch));
    q.bindValue(6, nonNull(entry.flag));
    q.bindValue(7, nonNull(entry.customerId));
    exec(q);
}

void GatewayState::saveReply(const QString &user, const Reply &reply)
{
    if (!m_persistent)
        return;
    changed();
    QSqlQuery &q = m_sql->reply;
    q.bindValue(0, nonNull(user));
    q.bindValue(1, reply.seq);
    q.bindValue(2, nonNull(reply.id));
    q.bindValue(3, nonNull(reply.from));
    q.bindValue(4, nonNull(reply.text));
    q.bindValue(5, nonNull(reply.received));
    q.bindValue(6, nonNull(reply.sentMessage));
    q.bindValue(7, nonNull(reply.sentDateTime));
    q.bindValue(8, nonNull(reply.customerId));
    exec(q);
}

void GatewayState::saveCounter(const QString &name, qint64 value)
{
    if (!m_persistent)
        return;
    changed();
    QSqlQuery &q = m_sql->counter;
    q.bindValue(0, nonNull(name));
    q.bindValue(1, value);
    exec(q);
}

void GatewayState::savePendingReply(qint64 batch, qint64 dueMs, int textIndex)
{
    if (!m_persistent)
        return;
    changed();
    QSqlQuery &q = m_sql->pendingReply;
    q.bindValue(0, batch);
    q.bindValue(1, dueMs);
    q.bindValue(2, textIndex);
    exec(q);
}

void GatewayState::deletePendingReply(qint64 batch)
{
    if (!m_persistent)
        return;
    changed();
    QSqlQuery &q = m_sql->deletePendingReply;
    q.bindValue(0, batch);
    exec(q);
}

Account *GatewayState::account(const QString &user)
{
    const auto it = m_accounts.find(user);
    return it == m_accounts.end() ? nullptr : &it->second;
}

const Message *GatewayState::message(qint64 batch) const
{
    const qint64 index = batch - FirstBatch;
    if (index < 0 || index >= qint64(m_messages.size()))
        return nullptr;
    return &m_messages[size_t(index)];
}

void GatewayState::addAccountIfMissing(const QString &user, const QString &password, qint64 credits)
{
    if (account(user))
        return;
    setAccount(user, password, credits);
}

void GatewayState::setAccount(const QString &user, const std::optional<QString> &password,
                              const std::optional<qint64> &credits)
{
    Account &account = m_accounts[user];
    account.user = user;
    if (password)
        account.password = *password;
    if (credits)
        account.credits = *credits;
    saveAccount(account);
}

qint64 GatewayState::acceptMessage(Account &account, const QString &number, const QString &text,
                                   const QString &customerId, qint64 nowMs)
{
    Message message;
    message.batch = FirstBatch + qint64(m_messages.size());
    message.user = account.user;
    message.number = number;
    message.text = text;
    message.customerId = customerId;
    message.acceptedMs = nowMs;
    message.dueMs = nowMs + secondsToMs(m_options.deliveryDelay);
    --account.credits;
    account.batches.push_back(message.batch);
    m_pendingDeliveries.insert({message.dueMs, message.batch});
    saveAccount(account);
    saveMessage(message);
    m_messages.push_back(std::move(message));
    return m_messages.back().batch;
}

void GatewayState::settle(qint64 nowMs)
{
    while (!m_pendingDeliveries.empty() && m_pendingDeliveries.begin()->first <= nowMs) {
        const qint64 batch = m_pendingDeliveries.begin()->second;
        m_pendingDeliveries.erase(m_pendingDeliveries.begin());
        Message &message = m_messages[size_t(batch - FirstBatch)];
        Account *owner = account(message.user);
        if (!owner)
            continue;
        ++m_decided;
        const bool failed = pickedByShare(quint64(m_decided), m_options.failureShare, m_failureOffset);
        message.state = failed ? MessageState::Failed : MessageState::Delivered;

        ReportEntry entry;
        entry.number = message.number;
        entry.message = message.text;
        entry.dateTime = gatewayTime(message.dueMs);
        entry.batch = QString::number(message.batch);
        entry.flag = failed ? QStringLiteral("FALSE") : QStringLiteral("TRUE");
        entry.customerId = message.customerId;
        message.trn = addReportEntry(*owner, std::move(entry));
        saveMessage(message);

        if (!failed) {
            ++m_delivered;
            if (pickedByShare(quint64(m_delivered), m_options.replyShare, m_replyOffset)) {
                const int textIndex = int(splitMix(m_options.seed ^ (quint64(batch) * 0x9E3779B97F4A7C15ULL))
                                          % quint64(replyTexts().size()));
                const qint64 due = message.dueMs + secondsToMs(m_options.replyDelay);
                m_pendingReplies[{due, batch}] = PendingReply{textIndex};
                savePendingReply(batch, due, textIndex);
            }
        }
    }

    while (!m_pendingReplies.empty() && m_pendingReplies.begin()->first.first <= nowMs) {
        const auto [key, pending] = *m_pendingReplies.begin();
        m_pendingReplies.erase(m_pendingReplies.begin());
        deletePendingReply(key.second);
        const Message &message = m_messages[size_t(key.second - FirstBatch)];
        Account *owner = account(message.user);
        if (!owner)
            continue;
        Reply reply;
        reply.id = QStringLiteral("R%1").arg(m_nextReplyId++, 7, 10, QLatin1Char('0'));
        saveCounter(QStringLiteral("next_reply_id"), m_nextReplyId);
        reply.from = message.number;
        reply.text = replyTexts().value(pending.textIndex);
        reply.received = gatewayTime(key.first);
        reply.sentMessage = message.text;
        reply.sentDateTime = gatewayTime(message.acceptedMs);
        reply.customerId = message.customerId;
        addReply(*owner, std::move(reply));
    }
}

qint64 GatewayState::addReportEntry(Account &account, ReportEntry entry)
{
    entry.trn = qint64(account.report.size()) + 1;
    saveReportEntry(account.user, entry);
    account.report.push_back(std::move(entry));
    return account.report.back().trn;
}

qint64 GatewayState::addReply(Account &account, Reply reply)
{
    reply.seq = qint64(account.replies.size()) + 1;
    saveReply(account.user, reply);
    account.replies.push_back(std::move(reply));
    return account.replies.back().seq;
}
