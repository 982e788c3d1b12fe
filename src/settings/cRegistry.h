#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>

// The settings store, on the model of a registry: a value is addressed by a
// root (ClassKey), a key path below it (SectionKey, components separated by
// backslashes) and a value name (ValueKey), and carries a type (ValueType) and
// typed data. Every read and write goes to the store itself, so a second
// instance sees a value the moment another one wrote it.
//
// The store is a per-user file hive (JSON, see hivePath()); every root lives
// there. Each read reads the file; each write rewrites it whole, atomically and
// under a lock beside it, readable by its owner only. Key and value names
// compare without regard to case and keep the case they were created with; key
// path components are separated by backslashes, empty components are ignored.
// Failures are raised as AppError with the numbers below and the source
// "<program>.cRegistry". A remote Machine cannot be reached: reads yield
// Default and writes raise.
class cRegistry
{
public:
    // Predefined roots, as their signed 32-bit handle values.
    static constexpr qint32 HKEY_CLASSES_ROOT = qint32(0x80000000u);
    static constexpr qint32 HKEY_CURRENT_USER = qint32(0x80000001u);
    static constexpr qint32 HKEY_LOCAL_MACHINE = qint32(0x80000002u);
    static constexpr qint32 HKEY_USERS = qint32(0x80000003u);
    static constexpr qint32 HKEY_CURRENT_CONFIG = qint32(0x80000005u);

    // Value types.
    static constexpr qint32 REG_SZ = 1;
    static constexpr qint32 REG_EXPAND_SZ = 2;
    static constexpr qint32 REG_BINARY = 3;
    static constexpr qint32 REG_DWORD = 4;
    static constexpr qint32 REG_DWORD_BIG_ENDIAN = 5;
    static constexpr qint32 REG_MULTI_SZ = 7;

    // Error numbers.
    static constexpr qint64 ErrorKey = 26001;
    static constexpr qint64 ErrorValueWrite = qint32(0x800469A9u);
    static constexpr qint64 ErrorAssociationList = qint32(0x800469ACu);
    static constexpr qint64 ErrorAssociationClass = qint32(0x800469ADu);

    cRegistry();

    QString Machine() const;
    void setMachine(const QString &name);

    bool KeyExists() const;
    bool CreateKey();
    bool DeleteKey();
    bool DeleteValue();

    // Reading yields Default when the key or value is missing (never raises)
    // and sets ValueType to the type found.
    QVariant Value();
    void setValue(const QVariant &value);
    // Writes text as a plain string (type 1) whatever it holds, for the
    // operator's own text: "Dear %USER%" must come back as it was typed.
    void setPlainText(const QString &text);

    // Names are appended from index 1 on; names[0] is an unused empty entry.
    // No names (or no such key): an empty list and a count of 0. Always true.
    bool EnumerateValues(QStringList &names, int &count) const;
    bool EnumerateSections(QStringList &names, int &count) const;

    void CreateEXEAssociation(const QString &exePath, const QString &className, const QString &classDescription,
                              const QString &fileExtension, const QString &openMenuText = QStringLiteral("&Open"),
                              bool supportPrint = false, const QString &printMenuText = QStringLiteral("&Print"),
                              bool supportNew = false, const QString &newMenuText = QStringLiteral("&New"),
                              bool supportInstall = false, const QString &installMenuText = QString(),
                              qint32 defaultIconIndex = -1);
    void CreateAdditionalEXEAssociations(const QString &className, const QStringList &items);

    qint32 ValueType() const;
    void setValueType(qint32 type);
    qint32 ClassKey() const;
    void setClassKey(qint32 root);
    QString SectionKey() const;
    void setSectionKey(const QString &path);
    QString ValueKey() const;
    void setValueKey(const QString &name);

    QVariant ValueEx(qint32 classKey, const QString &sectionKey, const QString &valueKey, qint32 valueType,
                     const QVariant &defaultValue);
    void setValueEx(qint32 classKey, const QString &sectionKey, const QString &valueKey, qint32 valueType,
                    const QVariant &defaultValue, const QVariant &value);

    QVariant Default() const;
    void setDefault(const QVariant &value);

    // The hive file every instance reads and writes:
    // <GenericConfigLocation>/Tellwave/registry.json.
    static QString hivePath();
    // Empty when the hive file is absent or can be read; otherwise what is
    // wrong with it, naming the file. Reads yield Default for such a file, so
    // whoever cannot do without the stored values asks this first.
    static QString hiveProblem();

private:
    // setValue; plainText keeps a string of type 1 whatever it holds.
    void write(const QVariant &value, bool plainText);
    // Writes a string as the default value of keyPath under HKEY_CLASSES_ROOT
    // and under HKEY_LOCAL_MACHINE\SOFTWARE\Classes.
    void setClassValue(const QString &keyPath, const QString &text) const;

    QString m_machine;
    qint32 m_classKey = 0;
    QString m_sectionKey;
    QString m_valueKey;
    qint32 m_valueType = 0;
    QVariant m_default;
};
