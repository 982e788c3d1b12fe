#include "settings/Settings.h"

#include "data/AppError.h"
#include "data/modFunctions.h"
#include "settings/cRegistry.h"

#include <QMetaEnum>

const QString Settings::SettingsKey = QStringLiteral("Software\\Corvane\\Tellwave\\Settings");

namespace {

constexpr qint64 ErrorSetting = cRegistry::ErrorKey;
const QString Source = QStringLiteral("SetupStore");

cRegistry settingAt(const QString &name)
{
    cRegistry registry;
    registry.setClassKey(cRegistry::HKEY_LOCAL_MACHINE);
    registry.setSectionKey(Settings::SettingsKey);
    registry.setValueType(cRegistry::REG_SZ);
    registry.setValueKey(name);
    return registry;
}

[[noreturn]] void notANumber(const Settings::Entry &entry)
{
    throw AppError(ErrorSetting,
                   QStringLiteral("The setting \"%1\" under %2 is not a whole number from %3 to %4.")
                       .arg(QLatin1StringView(entry.name), Settings::SettingsKey)
                       .arg(entry.least)
                       .arg(entry.most),
                   Source);
}

const Settings::Entry &ofType(Settings::Key key, Settings::Type type)
{
    const Settings::Entry &entry = Settings::entry(key);
    if (entry.type != type)
        throw AppError(
            ErrorSetting,
            QStringLiteral("The setting \"%1\" is used as the wrong type.").arg(QLatin1StringView(entry.name)), Source);
    return entry;
}

} // namespace

QString Settings::name(Key key)
{
    return QLatin1StringView(entry(key).name);
}

void Settings::requireReadable()
{
    const QString problem = cRegistry::hiveProblem();
    if (!problem.isEmpty())
        throw AppError(ErrorSetting, QStringLiteral("The program's settings cannot be read: %1.").arg(problem), Source);
}

QString Settings::readText(const QString &name)
{
    requireReadable();
    cRegistry registry = settingAt(name);
    const QVariant value = registry.Value();
    if (!value.isValid())
        return {};
    if (registry.ValueType() != cRegistry::REG_SZ && registry.ValueType() != cRegistry::REG_EXPAND_SZ)
        throw AppError(ErrorSetting,
                       QStringLiteral("The setting \"%1\" under %2 is not a text (its type is %3).")
                           .arg(name, SettingsKey)
                           .arg(registry.ValueType()),
                       Source);
    return modFunctions::TrimBlanks(value.toString());
}

void Settings::writeText(const QString &name, const QString &text)
{
    settingAt(name).setPlainText(text);
}

QString Settings::text(Key key)
{
    return readText(name(ofType(key, Type::Text).key));
}

int Settings::number(Key key)
{
    const Entry &entry = ofType(key, Type::Number);
    requireReadable();
    cRegistry registry = settingAt(name(key));
    const QVariant value = registry.Value();
    if (!value.isValid())
        return entry.fallback;
    const qint32 type = registry.ValueType();
    bool ok = false;
    qint64 number = 0;
    if (type == cRegistry::REG_DWORD || type == cRegistry::REG_DWORD_BIG_ENDIAN)
        number = value.toLongLong(&ok);
    else if (type == cRegistry::REG_SZ || type == cRegistry::REG_EXPAND_SZ)
        number = modFunctions::TrimBlanks(value.toString()).toLongLong(&ok);
    if (!ok || number < entry.least || number > entry.most)
        notANumber(entry);
    return int(number);
}

void Settings::setText(Key key, const QString &text)
{
    store(ofType(key, Type::Text).key, text);
}

void Settings::setNumber(Key key, int number)
{
    const Entry &entry = ofType(key, Type::Number);
    if (number < entry.least || number > entry.most)
        notANumber(entry);
    store(key, QString::number(number));
}

QString Settings::stored(Key key)
{
    requireReadable();
    return settingAt(name(key)).Value().toString();
}

void Settings::store(Key key, const QString &stored)
{
    writeText(name(key), stored);
    emit notifier().changed(key);
}

namespace {
// "CsvColumns-<member>": the family's name is the enumerator's.
QString memberName(Settings::Family family, const QString &member)
{
    return QLatin1StringView(QMetaEnum::fromType<Settings::Family>().valueToKey(int(family))) + QLatin1Char('-')
           + member;
}
} // namespace

QString Settings::text(Family family, const QString &member)
{
    return readText(memberName(family, member));
}

void Settings::setText(Family family, const QString &member, const QString &text)
{
    writeText(memberName(family, member), text);
    emit notifier().memberChanged(family, member);
}

Settings &Settings::notifier()
{
    static Settings instance;
    return instance;
}
