#include "settings/SecretStore.h"

#include <qt6keychain/keychain.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusVariant>
#include <QEventLoop>
#include <QStringList>

namespace {

const QString SecretService = QStringLiteral("org.freedesktop.secrets");
// The Secret Service, and KWallet, which QtKeychain talks to directly on a KDE desktop.
const QStringList KeyringNames{SecretService, QStringLiteral("org.kde.kwalletd6"), QStringLiteral("org.kde.kwalletd5")};

// A Secret Service whose unlock the operator declined answers a read as if
// nothing were kept there; its default collection tells the two apart.
bool defaultCollectionLocked()
{
    const QDBusConnection bus = QDBusConnection::sessionBus();
    QDBusMessage alias =
        QDBusMessage::createMethodCall(SecretService, QStringLiteral("/org/freedesktop/secrets"),
                                       QStringLiteral("org.freedesktop.Secret.Service"), QStringLiteral("ReadAlias"));
    alias << QStringLiteral("default");
    alias.setAutoStartService(false);
    const QDBusReply<QDBusObjectPath> collection = bus.call(alias);
    if (!collection.isValid() || collection.value().path() == QLatin1String("/"))
        return false;
    QDBusMessage get =
        QDBusMessage::createMethodCall(SecretService, collection.value().path(),
                                       QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << QStringLiteral("org.freedesktop.Secret.Collection") << QStringLiteral("Locked");
    get.setAutoStartService(false);
    const QDBusReply<QDBusVariant> locked = bus.call(get);
    return locked.isValid() && locked.value().variant().toBool();
}

// Runs a job for the key when there is a keyring to ask. QtKeychain answers
// through its finished signal only; the job is kept (no auto-delete) so its
// result can still be read once the loop has returned.
SecretStore::Answer run(QKeychain::Job &job, const QString &key)
{
    if (!SecretStore::available())
        return {SecretStore::Status::Unavailable, {}, {}};
    job.setKey(key);
    job.setAutoDelete(false);
    bool finished = false;
    QEventLoop loop;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, [&finished, &loop] {
        finished = true;
        loop.quit();
    });
    job.start();
    if (!finished)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    switch (job.error()) {
    case QKeychain::NoError:
        return {SecretStore::Status::Done, {}, {}};
    case QKeychain::EntryNotFound:
        return {SecretStore::Status::NotFound, {}, {}};
    default:
        return {SecretStore::Status::Failed, {}, job.errorString()};
    }
}

} // namespace

bool SecretStore::available()
{
    const QDBusConnection bus = QDBusConnection::sessionBus();
    const QDBusConnectionInterface *daemon = bus.isConnected() ? bus.interface() : nullptr;
    if (!daemon)
        return false;
    const QStringList startable = daemon->activatableServiceNames().value();
    for (const QString &name : KeyringNames) {
        if (daemon->isServiceRegistered(name).value() || startable.contains(name))
            return true;
    }
    return false;
}

SecretStore::Answer SecretStore::read(const QString &key) const
{
    QKeychain::ReadPasswordJob job(m_service);
    Answer answer = run(job, key);
    if (answer.status == Status::Done)
        answer.secret = job.textData();
    else if (answer.status == Status::NotFound && defaultCollectionLocked())
        answer = {Status::Failed, {}, QStringLiteral("The keyring is locked and was not unlocked")};
    return answer;
}

SecretStore::Answer SecretStore::write(const QString &key, const QString &secret) const
{
    QKeychain::WritePasswordJob job(m_service);
    job.setTextData(secret);
    return run(job, key);
}

SecretStore::Answer SecretStore::remove(const QString &key) const
{
    QKeychain::DeletePasswordJob job(m_service);
    Answer answer = run(job, key);
    if (answer.status == Status::NotFound)
        answer.status = Status::Done;
    return answer;
}
