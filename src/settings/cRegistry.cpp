#include "settings/cRegistry.h"

#include "data/AppError.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QLockFile>
#include <QSaveFile>
#include <QStandardPaths>
#include <QtEndian>

#include <cmath>
#include <limits>
#include <map>
#include <optional>
#include <vector>

// The hive is one JSON document:
//   { "HKEY_LOCAL_MACHINE": { "keys": [ <key>... ], "values": [ <value>... ] }, ... }
//   <key>   = { "name": "Software", "keys": [...], "values": [...] }
//   <value> = { "name": "Database", "type": 1, "data": ... }
// Lists keep the order and the case names were created with; lookups ignore
// case. Data by type: 1 and 2 a string, 4 and 5 a number, 7 a list of strings,
// anything else base64 bytes. Top-level members that are not roots are kept.

namespace {

struct HiveValue
{
    QString name;
    qint32 type = 0;
    QJsonValue data;
};

struct HiveKey
{
    QString name;
    std::vector<HiveKey> keys;
    std::vector<HiveValue> values;
};

struct Hive
{
    QJsonObject document;
    std::map<qint32, HiveKey> roots;
};

constexpr int LockWaitMs = 10000;

QString rootName(qint32 root)
{
    switch (root) {
    case cRegistry::HKEY_CLASSES_ROOT:
        return QStringLiteral("HKEY_CLASSES_ROOT");
    case cRegistry::HKEY_CURRENT_USER:
        return QStringLiteral("HKEY_CURRENT_USER");
    case cRegistry::HKEY_LOCAL_MACHINE:
        return QStringLiteral("HKEY_LOCAL_MACHINE");
    case cRegistry::HKEY_USERS:
        return QStringLiteral("HKEY_USERS");
    case cRegistry::HKEY_CURRENT_CONFIG:
        return QStringLiteral("HKEY_CURRENT_CONFIG");
    default:
        return {};
    }
}

const qint32 AllRoots[] = {cRegistry::HKEY_CLASSES_ROOT, cRegistry::HKEY_CURRENT_USER, cRegistry::HKEY_LOCAL_MACHINE,
                           cRegistry::HKEY_USERS, cRegistry::HKEY_CURRENT_CONFIG};

QStringList pathComponents(const QString &path)
{
    return path.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
}

bool sameName(const QString &a, const QString &b)
{
    return QString::compare(a, b, Qt::CaseInsensitive) == 0;
}

template <typename List>
auto findNamed(List &list, const QString &name) -> decltype(&*list.begin())
{
    for (auto &item : list) {
        if (sameName(item.name, name))
            return &item;
    }
    return nullptr;
}

// ---- reading and writing the file ----------------------------------------

std::optional<qint32> integerOf(const QJsonValue &value)
{
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    if (number != std::floor(number) || number < -2147483648.0 || number > 4294967295.0)
        return std::nullopt;
    return qint32(quint32(qint64(number)));
}

bool parseKey(const QJsonObject &object, HiveKey &key, const QString &where, QString &problem)
{
    const QJsonValue keys = object.value(QStringLiteral("keys"));
    const QJsonValue values = object.value(QStringLiteral("values"));
    if (!keys.isUndefined() && !keys.isArray()) {
        problem = QStringLiteral("\"keys\" of %1 is not a list").arg(where);
        return false;
    }
    if (!values.isUndefined() && !values.isArray()) {
        problem = QStringLiteral("\"values\" of %1 is not a list").arg(where);
        return false;
    }
    const QJsonArray keyList = keys.toArray();
    for (const QJsonValue &entry : keyList) {
        const QJsonValue name = entry.toObject().value(QStringLiteral("name"));
        if (!entry.isObject() || !name.isString()) {
            problem = QStringLiteral("a key of %1 has no name").arg(where);
            return false;
        }
        HiveKey child;
        child.name = name.toString();
        if (!parseKey(entry.toObject(), child, where + QLatin1Char('\\') + child.name, problem))
            return false;
        key.keys.push_back(std::move(child));
    }
    const QJsonArray valueList = values.toArray();
    for (const QJsonValue &entry : valueList) {
        const QJsonObject fields = entry.toObject();
        const QJsonValue name = fields.value(QStringLiteral("name"));
        const std::optional<qint32> type = integerOf(fields.value(QStringLiteral("type")));
        if (!entry.isObject() || !name.isString() || !type) {
            problem = QStringLiteral("a value of %1 has no name or no type").arg(where);
            return false;
        }
        key.values.push_back(HiveValue{name.toString(), *type, fields.value(QStringLiteral("data"))});
    }
    return true;
}

QJsonObject keyObject(const HiveKey &key, bool withName)
{
    QJsonObject object;
    if (withName)
        object.insert(QStringLiteral("name"), key.name);
    QJsonArray keys;
    for (const HiveKey &child : key.keys)
        keys.append(keyObject(child, true));
    QJsonArray values;
    for (const HiveValue &value : key.values) {
        QJsonObject entry{{QStringLiteral("name"), value.name}, {QStringLiteral("type"), value.type}};
        if (!value.data.isUndefined())
            entry.insert(QStringLiteral("data"), value.data);
        values.append(entry);
    }
    object.insert(QStringLiteral("keys"), keys);
    object.insert(QStringLiteral("values"), values);
    return object;
}

// Loads the hive; a missing file is an empty hive. On failure `problem` says
// what is wrong with the file, naming it.
bool loadHive(Hive &hive, QString &problem)
{
    const QString path = cRegistry::hivePath();
    QFile file(path);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly)) {
        problem = QStringLiteral("the settings file %1 cannot be read (%2)").arg(path, file.errorString());
        return false;
    }
    const QByteArray content = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        problem = QStringLiteral("the settings file %1 cannot be read (%2)").arg(path, file.errorString());
        return false;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(content, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        problem = QStringLiteral("the settings file %1 is not valid JSON (%2 at offset %3) and was left as it is")
                      .arg(path, parseError.errorString())
                      .arg(parseError.offset);
        return false;
    }
    if (!document.isObject()) {
        problem = QStringLiteral("the settings file %1 is not a settings hive (it holds no JSON object) "
                                 "and was left as it is")
                      .arg(path);
        return false;
    }
    hive.document = document.object();
    for (qint32 root : AllRoots) {
        const QString name = rootName(root);
        const QJsonValue node = hive.document.value(name);
        if (node.isUndefined())
            continue;
        QString structure;
        if (!node.isObject())
            structure = QStringLiteral("%1 is not a key").arg(name);
        else
            parseKey(node.toObject(), hive.roots[root], name, structure);
        if (!structure.isEmpty()) {
            problem = QStringLiteral("the settings file %1 is not a settings hive (%2) and was left as it is")
                          .arg(path, structure);
            return false;
        }
    }
    return true;
}

bool saveHive(Hive &hive, QString &problem)
{
    for (const auto &[root, key] : hive.roots)
        hive.document.insert(rootName(root), keyObject(key, false));
    const QString path = cRegistry::hivePath();
    QSaveFile file(path);
    const QFileDevice::Permissions ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    if (!file.open(QIODevice::WriteOnly) || !file.setPermissions(ownerOnly)
        || file.write(QJsonDocument(hive.document).toJson(QJsonDocument::Indented)) < 0 || !file.commit()) {
        problem = QStringLiteral("the settings file %1 cannot be written (%2)").arg(path, file.errorString());
        return false;
    }
    return true;
}

// Read-modify-write of the hive under a lock beside it, so writers in other
// instances and processes never lose each other's changes.
class HiveTransaction
{
public:
    HiveTransaction() : m_lock(cRegistry::hivePath() + QStringLiteral(".lock")) {}

    bool begin(QString &problem)
    {
        const QString folder = QFileInfo(cRegistry::hivePath()).absolutePath();
        if (!QDir().mkpath(folder)) {
            problem = QStringLiteral("the settings folder %1 cannot be created").arg(folder);
            return false;
        }
        if (!m_lock.tryLock(LockWaitMs)) {
            problem =
                m_lock.error() == QLockFile::LockFailedError
                    ? QStringLiteral("the settings file %1 is locked by another program").arg(cRegistry::hivePath())
                    : QStringLiteral("the lock file %1 cannot be created").arg(m_lock.fileName());
            return false;
        }
        return loadHive(hive, problem);
    }

    bool commit(QString &problem) { return saveHive(hive, problem); }

    Hive hive;

private:
    QLockFile m_lock;
};

// ---- keys --------------------------------------------------------------------

template <typename Key>
Key *walk(Key *key, const QString &path)
{
    const QStringList components = pathComponents(path);
    for (const QString &component : components) {
        key = findNamed(key->keys, component);
        if (!key)
            return nullptr;
    }
    return key;
}

const HiveKey *findKey(const Hive &hive, qint32 root, const QString &path)
{
    static const HiveKey emptyRoot;
    if (rootName(root).isEmpty())
        return nullptr;
    const auto rootEntry = hive.roots.find(root);
    return walk(rootEntry == hive.roots.end() ? &emptyRoot : &rootEntry->second, path);
}

HiveKey *findKey(Hive &hive, qint32 root, const QString &path)
{
    if (rootName(root).isEmpty())
        return nullptr;
    return walk(&hive.roots[root], path);
}

// Opens the key, creating every missing component with the case given.
// `created` tells whether anything was added.
HiveKey *createKey(Hive &hive, qint32 root, const QString &path, bool &created)
{
    created = false;
    if (rootName(root).isEmpty())
        return nullptr;
    HiveKey *key = &hive.roots[root];
    const QStringList components = pathComponents(path);
    for (const QString &component : components) {
        HiveKey *child = findNamed(key->keys, component);
        if (!child) {
            key->keys.push_back(HiveKey{component, {}, {}});
            child = &key->keys.back();
            created = true;
        }
        key = child;
    }
    return key;
}

// ---- values ------------------------------------------------------------------

QString expandEnvironment(const QString &text)
{
    QString result;
    qsizetype from = 0;
    while (from < text.size()) {
        const qsizetype open = text.indexOf(QLatin1Char('%'), from);
        const qsizetype close = open < 0 ? -1 : text.indexOf(QLatin1Char('%'), open + 1);
        if (close < 0) {
            result += text.mid(from);
            break;
        }
        result += text.mid(from, open - from);
        const QString name = text.mid(open + 1, close - open - 1);
        const QByteArray variable = name.toLocal8Bit();
        if (!name.isEmpty() && qEnvironmentVariableIsSet(variable.constData()))
            result += qEnvironmentVariable(variable.constData());
        else
            result += text.mid(open, close - open + 1);
        from = close + 1;
    }
    return result;
}

// The stored data as the read yields it; nullopt when it does not fit its type.
std::optional<QVariant> readData(const HiveValue &value)
{
    const QJsonValue &data = value.data;
    switch (value.type) {
    case cRegistry::REG_SZ:
    case cRegistry::REG_EXPAND_SZ: {
        if (!data.isUndefined() && !data.isString())
            return std::nullopt;
        const QString text = data.toString();
        return QVariant(value.type == cRegistry::REG_EXPAND_SZ ? expandEnvironment(text) : text);
    }
    case cRegistry::REG_DWORD:
    case cRegistry::REG_DWORD_BIG_ENDIAN: {
        const std::optional<qint32> number = integerOf(data);
        if (!number)
            return std::nullopt;
        if (value.type == cRegistry::REG_DWORD)
            return QVariant(*number);
        return QVariant(qint32(qbswap(quint32(*number))));
    }
    case cRegistry::REG_MULTI_SZ: {
        if (!data.isUndefined() && !data.isArray())
            return std::nullopt;
        QStringList items;
        const QJsonArray list = data.toArray();
        for (const QJsonValue &item : list) {
            if (!item.isString())
                return std::nullopt;
            items << item.toString();
        }
        return QVariant(items.join(QChar(0)));
    }
    default: {
        if (!data.isUndefined() && !data.isString())
            return std::nullopt;
        const auto bytes =
            QByteArray::fromBase64Encoding(data.toString().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
        if (!bytes)
            return std::nullopt;
        return QVariant(*bytes);
    }
    }
}

bool isIntegerVariant(const QVariant &value, qint32 &number)
{
    switch (value.typeId()) {
    case QMetaType::SChar:
    case QMetaType::Short:
    case QMetaType::Int:
    case QMetaType::Long:
    case QMetaType::LongLong: {
        const qint64 n = value.toLongLong();
        if (n < std::numeric_limits<qint32>::min() || n > qint64(std::numeric_limits<quint32>::max()))
            return false;
        number = qint32(quint32(n));
        return true;
    }
    case QMetaType::UChar:
    case QMetaType::UShort:
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::ULongLong: {
        const quint64 n = value.toULongLong();
        if (n > std::numeric_limits<quint32>::max())
            return false;
        number = qint32(quint32(n));
        return true;
    }
    default:
        return false;
    }
}

// A text holding a % and a further % at least two places behind it names an
// environment reference.
bool holdsReference(const QString &text)
{
    const qsizetype first = text.indexOf(QLatin1Char('%'));
    return first >= 0 && text.indexOf(QLatin1Char('%'), first + 2) >= 0;
}

// ---- errors ------------------------------------------------------------------

QString errorSource()
{
    const QString program = QCoreApplication::instance() ? QFileInfo(QCoreApplication::applicationFilePath()).fileName()
                                                         : QStringLiteral("tellwave");
    return program + QStringLiteral(".cRegistry");
}

[[noreturn]] void raise(qint64 number, const QString &description, const QString &problem = {})
{
    throw AppError(number, problem.isEmpty() ? description : description + QStringLiteral(": ") + problem,
                   errorSource());
}

} // namespace

cRegistry::cRegistry() = default;

QString cRegistry::hivePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
           + QStringLiteral("/Tellwave/registry.json");
}

QString cRegistry::hiveProblem()
{
    Hive hive;
    QString problem;
    return loadHive(hive, problem) ? QString() : problem;
}

QString cRegistry::Machine() const
{
    return m_machine;
}

void cRegistry::setMachine(const QString &name)
{
    if (name.size() < 3)
        m_machine.clear();
    else if (name.startsWith(QStringLiteral("\\\\")))
        m_machine = name;
    else
        m_machine = QStringLiteral("\\\\") + name;
}

bool cRegistry::KeyExists() const
{
    if (!m_machine.isEmpty())
        return false;
    Hive hive;
    QString problem;
    return loadHive(hive, problem) && findKey(std::as_const(hive), m_classKey, m_sectionKey);
}

bool cRegistry::CreateKey()
{
    const QString description = QStringLiteral("Failed to create registry Key: '") + m_sectionKey;
    if (!m_machine.isEmpty() || rootName(m_classKey).isEmpty())
        raise(ErrorKey, description);
    HiveTransaction transaction;
    QString problem;
    if (!transaction.begin(problem))
        raise(ErrorKey, description, problem);
    bool created = false;
    createKey(transaction.hive, m_classKey, m_sectionKey, created);
    if (created && !transaction.commit(problem))
        raise(ErrorKey, description, problem);
    return true;
}

bool cRegistry::DeleteKey()
{
    const QString description = QStringLiteral("Failed to delete registry Key: '") + QString::number(m_classKey)
                                + QStringLiteral("',Section: '") + m_sectionKey;
    if (!m_machine.isEmpty())
        raise(ErrorKey, description);
    HiveTransaction transaction;
    QString problem;
    if (!transaction.begin(problem))
        raise(ErrorKey, description, problem);
    QStringList components = pathComponents(m_sectionKey);
    if (components.isEmpty())
        raise(ErrorKey, description); // a root cannot be deleted
    const QString last = components.takeLast();
    HiveKey *parent = findKey(transaction.hive, m_classKey, components.join(QLatin1Char('\\')));
    HiveKey *key = parent ? findNamed(parent->keys, last) : nullptr;
    // As the registry does, a key that still has sub-keys is not deleted.
    if (!key || !key->keys.empty())
        raise(ErrorKey, description);
    parent->keys.erase(parent->keys.begin() + (key - parent->keys.data()));
    if (!transaction.commit(problem))
        raise(ErrorKey, description, problem);
    return true;
}

bool cRegistry::DeleteValue()
{
    const QString section = QString::number(m_classKey) + QStringLiteral("',Section: '") + m_sectionKey;
    const QString openDescription =
        QStringLiteral("Failed to open key '") + section + QStringLiteral("' for delete access");
    const QString deleteDescription =
        QStringLiteral("Failed to delete registry Key: '") + section + QStringLiteral("',Key: '") + m_valueKey;
    if (!m_machine.isEmpty())
        raise(ErrorKey, openDescription);
    HiveTransaction transaction;
    QString problem;
    if (!transaction.begin(problem))
        raise(ErrorKey, openDescription, problem);
    HiveKey *key = findKey(transaction.hive, m_classKey, m_sectionKey);
    if (!key)
        raise(ErrorKey, openDescription);
    const HiveValue *value = findNamed(key->values, m_valueKey);
    if (!value)
        raise(ErrorKey, deleteDescription);
    key->values.erase(key->values.begin() + (value - key->values.data()));
    if (!transaction.commit(problem))
        raise(ErrorKey, deleteDescription, problem);
    return true;
}

QVariant cRegistry::Value()
{
    if (!m_machine.isEmpty())
        return m_default;
    Hive hive;
    QString problem;
    if (!loadHive(hive, problem))
        return m_default;
    const HiveKey *key = findKey(std::as_const(hive), m_classKey, m_sectionKey);
    const HiveValue *value = key ? findNamed(key->values, m_valueKey) : nullptr;
    if (!value)
        return m_default;
    const std::optional<QVariant> data = readData(*value);
    if (!data)
        return m_default;
    m_valueType = value->type;
    return *data;
}

void cRegistry::setValue(const QVariant &value)
{
    write(value, false);
}

void cRegistry::setPlainText(const QString &text)
{
    const qint32 type = m_valueType;
    m_valueType = REG_SZ;
    try {
        write(text, true);
    } catch (...) {
        m_valueType = type;
        throw;
    }
    m_valueType = type;
}

void cRegistry::write(const QVariant &value, bool plainText)
{
    const QString description = QStringLiteral("Failed to set registry value Key: '") + QString::number(m_classKey)
                                + QStringLiteral("',Section: '") + m_sectionKey + QStringLiteral("',Key: '")
                                + m_valueKey + QStringLiteral("' to value: '") + value.toString() + QStringLiteral("'");
    if (!m_machine.isEmpty() || rootName(m_classKey).isEmpty())
        raise(ErrorKey, description);
    HiveTransaction transaction;
    QString problem;
    if (!transaction.begin(problem))
        raise(ErrorKey, description, problem);
    bool created = false;
    HiveKey *key = createKey(transaction.hive, m_classKey, m_sectionKey, created);

    HiveValue stored{m_valueKey, m_valueType, {}};
    switch (m_valueType) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
        const QString text = value.toString();
        stored.type = holdsReference(text) && !plainText ? REG_EXPAND_SZ : REG_SZ;
        stored.data = text;
        break;
    }
    case REG_BINARY:
        if (value.typeId() != QMetaType::QByteArray)
            raise(ErrorKey, description);
        stored.data = QString::fromLatin1(value.toByteArray().toBase64());
        break;
    case REG_DWORD:
    case REG_DWORD_BIG_ENDIAN: {
        // Written as a plain 32-bit number; no byte swap on writing.
        qint32 number = 0;
        if (!isIntegerVariant(value, number))
            raise(ErrorValueWrite, description); // not an integer, or out of 32 bits
        stored.type = REG_DWORD;
        stored.data = number;
        break;
    }
    default:
        raise(ErrorValueWrite, description);
    }

    if (HiveValue *existing = findNamed(key->values, m_valueKey)) {
        existing->type = stored.type;
        existing->data = stored.data;
    } else {
        key->values.push_back(std::move(stored));
    }
    if (!transaction.commit(problem))
        raise(ErrorValueWrite, description, problem);
}

namespace {
// Names from index 1 on (index 0 an unused empty entry), the count set to how
// many; a missing key or an unreadable hive gives none.
template <typename Children>
bool listNames(const HiveKey *key, Children HiveKey::*children, QStringList &names, int &count)
{
    names.clear();
    count = 0;
    if (!key || (key->*children).empty())
        return true;
    names << QString();
    for (const auto &child : key->*children)
        names << child.name;
    count = int((key->*children).size());
    return true;
}

// The key to list: none on a remote machine or when the hive cannot be read.
const HiveKey *keyToList(Hive &hive, const QString &machine, qint32 root, const QString &path)
{
    QString problem;
    if (!machine.isEmpty() || !loadHive(hive, problem))
        return nullptr;
    return findKey(std::as_const(hive), root, path);
}
} // namespace

bool cRegistry::EnumerateValues(QStringList &names, int &count) const
{
    Hive hive;
    return listNames(keyToList(hive, m_machine, m_classKey, m_sectionKey), &HiveKey::values, names, count);
}

bool cRegistry::EnumerateSections(QStringList &names, int &count) const
{
    Hive hive;
    return listNames(keyToList(hive, m_machine, m_classKey, m_sectionKey), &HiveKey::keys, names, count);
}

void cRegistry::setClassValue(const QString &keyPath, const QString &text) const
{
    cRegistry registry;
    registry.m_machine = m_machine;
    registry.setValueType(REG_SZ);
    registry.setValueKey(QString());
    registry.setClassKey(HKEY_CLASSES_ROOT);
    registry.setSectionKey(keyPath);
    registry.setValue(text);
    registry.setClassKey(HKEY_LOCAL_MACHINE);
    registry.setSectionKey(QStringLiteral("SOFTWARE\\Classes\\") + keyPath);
    registry.setValue(text);
}

void cRegistry::CreateEXEAssociation(const QString &exePath, const QString &className, const QString &classDescription,
                                     const QString &fileExtension, const QString &openMenuText, bool supportPrint,
                                     const QString &printMenuText, bool supportNew, const QString &newMenuText,
                                     bool supportInstall, const QString &installMenuText, qint32 defaultIconIndex)
{
    QString program = exePath.trimmed();
    if (program.size() >= 2 && program.startsWith(QLatin1Char('"')) && program.endsWith(QLatin1Char('"')))
        program = program.mid(1, program.size() - 2);
    const QString quoted = QLatin1Char('"') + program + QLatin1Char('"');
    const QString document = QStringLiteral("\"%1\"");
    auto command = [&](const QString &option) {
        return option.isEmpty() ? quoted + QLatin1Char(' ') + document
                                : quoted + QLatin1Char(' ') + option + QLatin1Char(' ') + document;
    };
    auto orDefault = [](const QString &text, const QString &fallback) { return text.isEmpty() ? fallback : text; };
    // An extension given with its full stop does not get a second one.
    QString extension = fileExtension;
    if (extension.startsWith(QLatin1Char('.')))
        extension.remove(0, 1);

    setClassValue(QLatin1Char('.') + extension, className);
    setClassValue(className, classDescription);
    setClassValue(className + QStringLiteral("\\shell\\open"), orDefault(openMenuText, QStringLiteral("&Open")));
    setClassValue(className + QStringLiteral("\\shell\\open\\command"), command(QString()));
    if (supportPrint) {
        setClassValue(className + QStringLiteral("\\shell\\print"), orDefault(printMenuText, QStringLiteral("&Print")));
        setClassValue(className + QStringLiteral("\\shell\\print\\command"), command(QStringLiteral("/p")));
    }
    if (supportInstall) {
        setClassValue(className + QStringLiteral("\\shell\\add"),
                      QStringLiteral("&Install ") + orDefault(installMenuText, classDescription));
        setClassValue(className + QStringLiteral("\\shell\\add\\command"), command(QStringLiteral("/a")));
    }
    if (supportNew) {
        setClassValue(className + QStringLiteral("\\shell\\new"), orDefault(newMenuText, QStringLiteral("&New")));
        setClassValue(className + QStringLiteral("\\shell\\new\\command"), command(QStringLiteral("/n")));
    }
    if (defaultIconIndex >= 0)
        setClassValue(className + QStringLiteral("\\DefaultIcon"),
                      program + QLatin1Char(',') + QString::number(defaultIconIndex));
}

void cRegistry::CreateAdditionalEXEAssociations(const QString &className, const QStringList &items)
{
    if (items.size() % 3 != 0)
        raise(ErrorAssociationList, QStringLiteral("Invalid parameter list passed to "
                                                   "CreateAdditionalEXEAssociations - expected Name/Text/Command"));
    cRegistry classes;
    classes.m_machine = m_machine;
    classes.setClassKey(HKEY_CLASSES_ROOT);
    classes.setSectionKey(className);
    if (!classes.KeyExists())
        raise(ErrorAssociationClass,
              QStringLiteral("Error - attempt to create additional associations before class defined."));
    for (qsizetype i = 0; i < items.size(); i += 3) {
        const QString entry = className + QStringLiteral("\\shell\\") + items.at(i);
        setClassValue(entry, items.at(i + 1));
        setClassValue(entry + QStringLiteral("\\command"), items.at(i + 2));
    }
}

qint32 cRegistry::ValueType() const
{
    return m_valueType;
}

void cRegistry::setValueType(qint32 type)
{
    m_valueType = type;
}

qint32 cRegistry::ClassKey() const
{
    return m_classKey;
}

void cRegistry::setClassKey(qint32 root)
{
    m_classKey = root;
}

QString cRegistry::SectionKey() const
{
    return m_sectionKey;
}

void cRegistry::setSectionKey(const QString &path)
{
    m_sectionKey = path;
}

QString cRegistry::ValueKey() const
{
    return m_valueKey;
}

void cRegistry::setValueKey(const QString &name)
{
    m_valueKey = name;
}

QVariant cRegistry::ValueEx(qint32 classKey, const QString &sectionKey, const QString &valueKey, qint32 valueType,
                            const QVariant &defaultValue)
{
    m_classKey = classKey;
    m_sectionKey = sectionKey;
    m_valueKey = valueKey;
    m_valueType = valueType;
    m_default = defaultValue;
    return Value();
}

void cRegistry::setValueEx(qint32 classKey, const QString &sectionKey, const QString &valueKey, qint32 valueType,
                           const QVariant &defaultValue, const QVariant &value)
{
    m_classKey = classKey;
    m_sectionKey = sectionKey;
    m_valueKey = valueKey;
    m_valueType = valueType;
    m_default = defaultValue;
    if (m_valueType == REG_SZ && value.toString().isEmpty())
        setValue(m_default);
    else
        setValue(value);
}

QVariant cRegistry::Default() const
{
    return m_default;
}

void cRegistry::setDefault(const QVariant &value)
{
    m_default = value;
}
