#pragma once

#include <QString>

// Secrets kept in the desktop's keyring (the Secret Service of GNOME Keyring
// or KeePassXC, or KWallet), under one service name with a key per secret.
// Each call waits for the keyring's answer; while it waits, the keyring's own
// events are served but no input reaches the windows.
class SecretStore
{
public:
    inline static const QString ProgramService = QStringLiteral("Tellwave");

    enum class Status {
        Done,        // read: found; write and remove: done
        NotFound,    // read: nothing is kept under the key
        Unavailable, // this desktop has no keyring: no session bus, or no keyring on it
        Failed,      // a keyring is there but refused or failed; `problem` gives its words
    };

    struct Answer
    {
        Status status = Status::Failed;
        QString secret; // what a read found
        QString problem;
    };

    explicit SecretStore(QString service = ProgramService) : m_service(std::move(service)) {}

    // Whether a keyring runs on the session bus or can be started there.
    static bool available();

    Answer read(const QString &key) const;
    Answer write(const QString &key, const QString &secret) const;
    // Removing what is not there is done as well.
    Answer remove(const QString &key) const;

private:
    QString m_service;
};
