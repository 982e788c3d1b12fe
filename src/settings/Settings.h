#pragma once

#include <QObject>
#include <QString>

#include <array>
#include <type_traits>

// The program's own settings in the settings store (cRegistry, under
// SettingsKey): one table names each key's stored name, type, default and
// range, and every read and write goes through here. A value that is stored
// but cannot be read throws AppError (never passes for the default); every
// write is told through changed().
class Settings : public QObject
{
    Q_OBJECT

public:
    enum class Key {
        Database,
        // The PostgreSQL server's password when Database holds a server
        // address, kept here only on a desktop without a keyring.
        DatabasePassword,
        GatewayHost,
        AlternateGatewayHost,
        // Messages a send run keeps in flight, and the most it sends a second
        // (0: no limit).
        GatewayConnections,
        GatewayMessagesPerSecond,
        // The one message that confirms an opt-out by reply; empty: none.
        OptOutConfirmation,
        // The office's time zone by its name; empty: South African time.
        OperatorTimeZone,
        // Where the next file dialog opens; empty: the home folder.
        LastFileFolder,
        // Whether messages a stopped run left in doubt, which the gateway says
        // it never received, are queued again by themselves (1) or left
        // failed for the operator (0).
        RequeueUnreceived,
        // Daily copies of the database file kept, and older than those the
        // weekly ones.
        DailyBackupsKept,
        WeeklyBackupsKept,
    };
    Q_ENUM(Key)

    // Text is kept with the blanks around it removed, empty when not stored;
    // a number is stored as text (or a number) and must lie in its range.
    enum class Type { Text, Number };
    struct Entry
    {
        Key key;
        const char *name;
        Type type;
        // Numbers only: used when not stored, and the range.
        int fallback;
        int least;
        int most;
    };
    static constexpr std::array<Entry, 12> Table{{
        {Key::Database, "Database", Type::Text, 0, 0, 0},
        {Key::DatabasePassword, "DatabasePassword", Type::Text, 0, 0, 0},
        {Key::GatewayHost, "GatewayHost", Type::Text, 0, 0, 0},
        {Key::AlternateGatewayHost, "AlternateGatewayHost", Type::Text, 0, 0, 0},
        {Key::GatewayConnections, "GatewayConnections", Type::Number, 4, 1, 64},
        {Key::GatewayMessagesPerSecond, "GatewayMessagesPerSecond", Type::Number, 0, 0, 100000},
        {Key::OptOutConfirmation, "OptOutConfirmation", Type::Text, 0, 0, 0},
        {Key::OperatorTimeZone, "OperatorTimeZone", Type::Text, 0, 0, 0},
        {Key::LastFileFolder, "LastFileFolder", Type::Text, 0, 0, 0},
        {Key::RequeueUnreceived, "RequeueUnreceived", Type::Number, 1, 0, 1},
        {Key::DailyBackupsKept, "DailyBackupsKept", Type::Number, 7, 1, 366},
        {Key::WeeklyBackupsKept, "WeeklyBackupsKept", Type::Number, 4, 0, 520},
    }};
    static constexpr const Entry &entry(Key key) { return Table[std::size_t(key)]; }
    static constexpr bool inKeyOrder()
    {
        for (std::size_t i = 0; i < Table.size(); ++i)
            if (std::size_t(Table[i].key) != i)
                return false;
        return true;
    }
    template <Key K>
    using ValueType = std::conditional_t<entry(K).type == Type::Number, int, QString>;

    // Where they live in the settings store.
    static const QString SettingsKey;

    static QString name(Key key);

    template <Key K>
    static ValueType<K> value()
    {
        if constexpr (entry(K).type == Type::Number)
            return number(K);
        else
            return text(K);
    }
    template <Key K>
    static void setValue(const ValueType<K> &value)
    {
        if constexpr (entry(K).type == Type::Number)
            setNumber(K, value);
        else
            setText(K, value);
    }

    // The same by a key known only at run time; a key of the other type
    // throws AppError.
    static QString text(Key key);
    static int number(Key key);
    static void setText(Key key, const QString &text);
    // AppError for a number out of the key's range (nothing is written).
    static void setNumber(Key key, int number);
    // The text as stored, unchecked and untrimmed, to put back exactly what
    // was there; written as it is.
    static QString stored(Key key);
    static void store(Key key, const QString &stored);

    // Settings kept one for each member of a family, the member named at run
    // time (a CSV heading row's column mapping, by the row's hash). Stored as
    // "<family>-<member>", read and written as text settings are.
    enum class Family { CsvColumns };
    Q_ENUM(Family)
    static QString text(Family family, const QString &member);
    static void setText(Family family, const QString &member, const QString &text);

    // The settings file cannot be read: AppError with its problem.
    static void requireReadable();

    // The one instance that tells of writes.
    static Settings &notifier();

signals:
    void changed(Settings::Key key);
    void memberChanged(Settings::Family family, const QString &member);

private:
    Settings() = default;
    static QString readText(const QString &name);
    static void writeText(const QString &name, const QString &text);
};

static_assert(Settings::inKeyOrder(), "entry() finds each key at its own place in the table");
