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

// QtKeychain answers through its finished signal only; the job is kept (no
// auto-delete) so its result can still be read once the loop has returned.
SecretStore::Answer finish(QKeychain::Job &job)
{
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
    if (!available())
        return {Status::Unavailable, {}, {}};
    QKeychain::ReadPasswordJob job(m_service);
    job.setKey(key);
    Answer answer = finish(job);
    if (answer.status == Status::Done)
        answer.secret = job.textData();
    else if (answer.status == Status::NotFound && defaultCollectionLocked())
        answer = {Status::Failed, {}, QStringLiteral("The keyring is locked")};
    return answer;
}

SecretStore::Answer SecretStore::write(const QString &key, const QString &secret) const
{
    if (!available())
        return {Status::Unavailable, {}, {}};
    QKeychain::WritePasswordJob job(m_service);
    job.setKey(key);
    job.setTextData(secret);
    return finish(job);
}

SecretStore::Answer SecretStore::remove(const QString &key) const
{
    if (!available())
        return {Status::Unavailable, {}, {}};
    QKeychain::DeletePasswordJob job(m_service);
    job.setKey(key);
    Answer answer = finish(job);
    if (answer.status == Status::NotFound)
        answer.status = Status::Done;
    return answer;
}
