#include "TestSupport.h"

#include "app/modMain.h"
#include "data/AppError.h"
#include "settings/cRegistry.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

#include <sys/stat.h>

#include <cstdio>
#include <functional>
#include <optional>

namespace {

constexpr qint32 HKLM = cRegistry::HKEY_LOCAL_MACHINE;
constexpr qint32 HKCR = cRegistry::HKEY_CLASSES_ROOT;

cRegistry at(const QString &section, const QString &name, qint32 type = cRegistry::REG_SZ, qint32 root = HKLM)
{
    cRegistry registry;
    registry.setClassKey(root);
    registry.setSectionKey(section);
    registry.setValueKey(name);
    registry.setValueType(type);
    return registry;
}

void store(const QString &section, const QString &name, qint32 type, const QVariant &value, qint32 root = HKLM)
{
    cRegistry registry = at(section, name, type, root);
    registry.setValue(value);
}

QVariant fetch(const QString &section, const QString &name = QString(), qint32 root = HKLM)
{
    cRegistry registry = at(section, name, cRegistry::REG_SZ, root);
    return registry.Value();
}

std::optional<AppError> raised(const std::function<void()> &action)
{
    try {
        action();
    } catch (const AppError &error) {
        return error;
    }
    return std::nullopt;
}

const QString Source = QStringLiteral("tst_cRegistry.cRegistry");

// Empty when the action raised exactly this error, otherwise what it did.
QString mismatch(const std::function<void()> &action, qint64 number, const QString &description)
{
    const auto error = raised(action);
    if (!error)
        return QStringLiteral("nothing raised");
    if (error->number() == number && error->description() == description && error->source() == Source)
        return {};
    return QStringLiteral("raised %1 - %2 (%3)").arg(error->number()).arg(error->description(), error->source());
}

#define VERIFY_RAISES(action, number, description)                                                               \
    do {                                                                                                         \
        const QString problem_ = mismatch([&] { action; }, number, description);                                \
        QVERIFY2(problem_.isEmpty(), qPrintable(problem_));                                                      \
    } while (false)

QByteArray hiveBytes()
{
    QFile file(cRegistry::hivePath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void putHive(const QByteArray &content)
{
    QDir().mkpath(QFileInfo(cRegistry::hivePath()).absolutePath());
    QFile file(cRegistry::hivePath());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

QStringList names(bool sections, const QString &section, int *countOut = nullptr, qint32 root = HKLM)
{
    cRegistry registry = at(section, QString(), cRegistry::REG_SZ, root);
    QStringList list;
    int count = -1;
    const bool ok = sections ? registry.EnumerateSections(list, count) : registry.EnumerateValues(list, count);
    if (!ok || count != qMax<qsizetype>(0, list.size() - 1))
        return {QStringLiteral("<inconsistent>")};
    if (countOut)
        *countOut = count;
    return list;
}

QString runChild(const QStringList &arguments)
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), arguments);
    if (!child.waitForFinished(60000) || child.exitCode() != 0)
        return QStringLiteral("<child failed: %1>").arg(QString::fromUtf8(child.readAllStandardError()));
    return QString::fromUtf8(child.readAllStandardOutput());
}

} // namespace

class tst_cRegistry : public QObject
{
    Q_OBJECT

private slots:
    void typesRoundTrip();
    void stringTypeFollowsPercentSigns_data();
    void stringTypeFollowsPercentSigns();
    void expandableStringsExpandOnReading();
    void missingKeysAndValuesYieldDefault();
    void keyPathsAreCreatedAndMatchedWithoutCase();
    void handWrittenHiveIsReadByType();
    void valueEx();
    void deleteAndEnumerate();
    void associations();
    void writeErrors();
    void remoteMachine();
    void otherInstancesAndProcessesSeeWritesAtOnce();
    void concurrentWritersLoseNothing();
    void hiveIsOwnerOnly();
    void corruptHiveIsLeftAlone_data();
    void corruptHiveIsLeftAlone();
    void unwritableStoreRaises();
    void sourceWithoutApplicationObject();
};

void tst_cRegistry::typesRoundTrip()
{
    TestHome home;
    const QString key = QStringLiteral("Software\\Types");
    const QByteArray bytes("\x00\xff\x10z\x00", 5);
    store(key, QStringLiteral("Text"), cRegistry::REG_SZ, QStringLiteral("Zoë ☎ C:\\Data\\SMSData.db"));
    store(key, QStringLiteral("Bytes"), cRegistry::REG_BINARY, bytes);
    store(key, QStringLiteral("Number"), cRegistry::REG_DWORD, qint32(-5));
    store(key, QStringLiteral("Unsigned"), cRegistry::REG_DWORD, quint32(0xFFFFFFFFu));
    store(key, QStringLiteral("Short"), cRegistry::REG_DWORD, qint16(7));
    // No byte swap on writing: a big-endian assignment stores a plain number.
    store(key, QStringLiteral("Big"), cRegistry::REG_DWORD_BIG_ENDIAN, 1);

    struct Expect { QString name; QVariant value; qint32 type; };
    const Expect expected[] = {
        {QStringLiteral("Text"), QStringLiteral("Zoë ☎ C:\\Data\\SMSData.db"), cRegistry::REG_SZ},
        {QStringLiteral("Bytes"), bytes, cRegistry::REG_BINARY},
        {QStringLiteral("Number"), qint32(-5), cRegistry::REG_DWORD},
        {QStringLiteral("Unsigned"), qint32(-1), cRegistry::REG_DWORD},
        {QStringLiteral("Short"), qint32(7), cRegistry::REG_DWORD},
        {QStringLiteral("Big"), qint32(1), cRegistry::REG_DWORD},
    };
    for (const Expect &e : expected) {
        cRegistry registry = at(key, e.name, 0);
        const QVariant value = registry.Value();
        QCOMPARE(value.typeId(), e.value.typeId());
        QCOMPARE(value, e.value);
        QCOMPARE(registry.ValueType(), e.type);
    }

    // Overwriting changes type and data and keeps the name's first spelling.
    store(key, QStringLiteral("TEXT"), cRegistry::REG_DWORD, 42);
    cRegistry registry = at(key, QStringLiteral("text"), 0);
    QCOMPARE(registry.Value(), QVariant(qint32(42)));
    QCOMPARE(registry.ValueType(), cRegistry::REG_DWORD);
    QCOMPARE(names(false, key).at(1), QStringLiteral("Text"));
    QCOMPARE(names(false, key).size(), 7);
}

void tst_cRegistry::stringTypeFollowsPercentSigns_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint32>("assignedType");
    QTest::addColumn<qint32>("storedType");
    QTest::newRow("reference") << QStringLiteral("C:\\%APPDATA%\\x") << 1 << 2;
    QTest::newRow("single sign") << QStringLiteral("50% off") << 1 << 1;
    QTest::newRow("signs side by side") << QStringLiteral("a%%b") << 1 << 1;
    QTest::newRow("one character between") << QStringLiteral("%a%") << 1 << 2;
    QTest::newRow("later sign counts") << QStringLiteral("%%x%") << 1 << 2;
    QTest::newRow("expandable without signs") << QStringLiteral("plain") << 2 << 1;
    QTest::newRow("empty") << QString() << 2 << 1;
}

void tst_cRegistry::stringTypeFollowsPercentSigns()
{
    QFETCH(QString, text);
    QFETCH(qint32, assignedType);
    QFETCH(qint32, storedType);
    TestHome home;
    store(QStringLiteral("S"), QStringLiteral("V"), assignedType, text);
    cRegistry registry = at(QStringLiteral("S"), QStringLiteral("V"), 0);
    registry.Value();
    QCOMPARE(registry.ValueType(), storedType);
}

void tst_cRegistry::expandableStringsExpandOnReading()
{
    TestHome home;
    qputenv("TW_REG_DIR", "/home/ann");
    qputenv("TW_REG_EMPTY", "");
    qputenv("TW_REG_PERCENT", "%TW_REG_DIR%");
    const QString key = QStringLiteral("Software\\Expand");
    store(key, QStringLiteral("Known"), cRegistry::REG_SZ, QStringLiteral("C:\\%TW_REG_DIR%\\x"));
    store(key, QStringLiteral("Mixed"), cRegistry::REG_SZ,
          QStringLiteral("%TW_REG_NOT_SET%/%TW_REG_DIR%%TW_REG_EMPTY%/%%/%TW_REG_PERCENT%/100%"));
    QCOMPARE(fetch(key, QStringLiteral("Known")).toString(), QStringLiteral("C:\\/home/ann\\x"));
    // Unknown references stay as written; an expansion is not expanded again.
    QCOMPARE(fetch(key, QStringLiteral("Mixed")).toString(),
             QStringLiteral("%TW_REG_NOT_SET%//home/ann/%%/%TW_REG_DIR%/100%"));
    // The stored text keeps the reference: a changed variable reads changed.
    qputenv("TW_REG_DIR", "/srv");
    QCOMPARE(fetch(key, QStringLiteral("Known")).toString(), QStringLiteral("C:\\/srv\\x"));
    qunsetenv("TW_REG_DIR");
    qunsetenv("TW_REG_EMPTY");
    qunsetenv("TW_REG_PERCENT");
    QCOMPARE(fetch(key, QStringLiteral("Known")).toString(), QStringLiteral("C:\\%TW_REG_DIR%\\x"));
}

void tst_cRegistry::missingKeysAndValuesYieldDefault()
{
    TestHome home;
    QVERIFY(!QFile::exists(cRegistry::hivePath()));
    cRegistry registry = at(modMain::SettingsKey, QStringLiteral("Database"), cRegistry::REG_SZ);
    QVERIFY(!registry.Value().isValid());
    QCOMPARE(modMain::StoredDatabasePath(), QString());
    QCOMPARE(modMain::ChooseDatabasePath(modMain::StoredDatabasePath()), modMain::DefaultDatabasePath());

    registry.setDefault(QStringLiteral("fallback"));
    registry.setValueType(cRegistry::REG_BINARY);
    QCOMPARE(registry.Value(), QVariant(QStringLiteral("fallback")));
    QCOMPARE(registry.ValueType(), cRegistry::REG_BINARY); // untouched by a failed read

    store(modMain::SettingsKey, QStringLiteral("Other"), cRegistry::REG_SZ, QStringLiteral("x"));
    QCOMPARE(registry.Value(), QVariant(QStringLiteral("fallback"))); // key there, value not
    registry.setSectionKey(modMain::SettingsKey + QStringLiteral("\\Deeper"));
    QCOMPARE(registry.Value(), QVariant(QStringLiteral("fallback")));
    QVERIFY(!registry.KeyExists());
    registry.setSectionKey(modMain::SettingsKey);
    registry.setValueKey(QStringLiteral("Other"));
    registry.setClassKey(cRegistry::HKEY_CURRENT_USER); // another root holds nothing
    QCOMPARE(registry.Value(), QVariant(QStringLiteral("fallback")));
    registry.setClassKey(0);
    QCOMPARE(registry.Value(), QVariant(QStringLiteral("fallback")));
    QVERIFY(!registry.KeyExists());
}

void tst_cRegistry::keyPathsAreCreatedAndMatchedWithoutCase()
{
    TestHome home;
    store(QStringLiteral("\\Software\\\\Corvane\\Tellwave\\Settings\\"), QStringLiteral("Database"),
          cRegistry::REG_SZ, QStringLiteral("/data/SMSData.db"));
    for (const QString &path : {QStringLiteral(""), QStringLiteral("Software"), QStringLiteral("SOFTWARE\\corvane"),
                                QStringLiteral("software\\Corvane\\TELLWAVE\\settings")}) {
        QVERIFY2(at(path, QString()).KeyExists(), qPrintable(path));
    }
    QCOMPARE(fetch(QStringLiteral("SOFTWARE\\CORVANE\\TELLWAVE\\SETTINGS"), QStringLiteral("DATABASE")).toString(),
             QStringLiteral("/data/SMSData.db"));
    QCOMPARE(modMain::StoredDatabasePath(), QStringLiteral("/data/SMSData.db"));

    // A second spelling finds the existing keys instead of making new ones.
    store(QStringLiteral("software\\CORVANE\\Other"), QStringLiteral("x"), cRegistry::REG_SZ, QStringLiteral("y"));
    QCOMPARE(names(true, QStringLiteral("Software")), (QStringList{QString(), QStringLiteral("Corvane")}));
    QCOMPARE(names(true, QStringLiteral("Software\\Corvane")),
             (QStringList{QString(), QStringLiteral("Tellwave"), QStringLiteral("Other")}));

    cRegistry created = at(QStringLiteral("Software\\New\\Empty"), QString());
    QVERIFY(!created.KeyExists());
    QVERIFY(created.CreateKey());
    QVERIFY(created.KeyExists());
    QVERIFY(created.CreateKey()); // opening an existing key succeeds too
    QCOMPARE(names(false, QStringLiteral("Software\\New\\Empty")), QStringList());
}

void tst_cRegistry::handWrittenHiveIsReadByType()
{
    TestHome home;
    putHive(R"({
        "comment": "kept as it is",
        "HKEY_CURRENT_USER": { "keys": [ { "name": "Hand", "values": [
            { "name": "Big", "type": 5, "data": 16777216 },
            { "name": "Big2", "type": 5, "data": 305419896 },
            { "name": "Multi", "type": 7, "data": ["a", "b", "c"] },
            { "name": "Link", "type": 6, "data": "AAEC" },
            { "name": "NoData", "type": 1 },
            { "name": "BadNumber", "type": 4, "data": "x" },
            { "name": "BadBytes", "type": 3, "data": "@@" }
        ] } ] }
    })");
    const qint32 hkcu = cRegistry::HKEY_CURRENT_USER;
    struct Expect { QString name; QVariant value; qint32 type; };
    const Expect expected[] = {
        {QStringLiteral("Big"), qint32(1), cRegistry::REG_DWORD_BIG_ENDIAN},
        {QStringLiteral("Big2"), qint32(0x78563412), cRegistry::REG_DWORD_BIG_ENDIAN},
        {QStringLiteral("Multi"), QStringLiteral("a%1b%1c").arg(QChar(0)), cRegistry::REG_MULTI_SZ},
        {QStringLiteral("Link"), QByteArray("\x00\x01\x02", 3), 6},
        {QStringLiteral("NoData"), QString(QLatin1String("")), cRegistry::REG_SZ},
        {QStringLiteral("BadNumber"), QStringLiteral("default"), -1},
        {QStringLiteral("BadBytes"), QStringLiteral("default"), -1},
    };
    for (const Expect &e : expected) {
        cRegistry registry = at(QStringLiteral("Hand"), e.name, -1, hkcu);
        registry.setDefault(QStringLiteral("default"));
        const QVariant value = registry.Value();
        QCOMPARE(value.typeId(), e.value.typeId());
        QCOMPARE(value, e.value);
        QCOMPARE(registry.ValueType(), e.type);
    }

    // Writing rewrites the file without losing what was there.
    store(QStringLiteral("Hand"), QStringLiteral("New"), cRegistry::REG_SZ, QStringLiteral("n"), hkcu);
    QCOMPARE(fetch(QStringLiteral("Hand"), QStringLiteral("Multi"), hkcu), expected[2].value);
    QCOMPARE(fetch(QStringLiteral("Hand"), QStringLiteral("Big"), hkcu), QVariant(qint32(1)));
    QCOMPARE(QJsonDocument::fromJson(hiveBytes()).object().value(QStringLiteral("comment")).toString(),
             QStringLiteral("kept as it is"));
    QCOMPARE(names(false, QStringLiteral("Hand"), nullptr, hkcu).size(), 9);
}

void tst_cRegistry::valueEx()
{
    TestHome home;
    cRegistry registry;
    registry.setValueEx(HKLM, QStringLiteral("Software\\Ex"), QStringLiteral("Message"), cRegistry::REG_SZ,
                        QStringLiteral("Dear client"), QString());
    QCOMPARE(fetch(QStringLiteral("Software\\Ex"), QStringLiteral("Message")).toString(),
             QStringLiteral("Dear client"));
    QCOMPARE(registry.Default(), QVariant(QStringLiteral("Dear client")));

    registry.setValueEx(HKLM, QStringLiteral("Software\\Ex"), QStringLiteral("Message"), cRegistry::REG_SZ,
                        QStringLiteral("Dear client"), QStringLiteral("Pay now"));
    QCOMPARE(fetch(QStringLiteral("Software\\Ex"), QStringLiteral("Message")).toString(), QStringLiteral("Pay now"));
    // Only type 1 swaps an empty text for the default.
    registry.setValueEx(HKLM, QStringLiteral("Software\\Ex"), QStringLiteral("Message"), cRegistry::REG_EXPAND_SZ,
                        QStringLiteral("Dear client"), QString());
    QCOMPARE(fetch(QStringLiteral("Software\\Ex"), QStringLiteral("Message")).toString(), QString());

    QCOMPARE(registry.ValueEx(HKLM, QStringLiteral("Software\\Ex"), QStringLiteral("Missing"), cRegistry::REG_SZ,
                              QStringLiteral("d")),
             QVariant(QStringLiteral("d")));
    store(QStringLiteral("Software\\Ex"), QStringLiteral("N"), cRegistry::REG_DWORD, 9);
    QCOMPARE(registry.ValueEx(HKLM, QStringLiteral("Software\\Ex"), QStringLiteral("N"), cRegistry::REG_SZ, {}),
             QVariant(qint32(9)));
    QCOMPARE(registry.ValueType(), cRegistry::REG_DWORD);
    QCOMPARE(registry.ValueKey(), QStringLiteral("N"));
}

void tst_cRegistry::deleteAndEnumerate()
{
    TestHome home;
    const QString key = QStringLiteral("Software\\Enum");
    store(key, QStringLiteral("One"), cRegistry::REG_SZ, QStringLiteral("1"));
    store(key, QStringLiteral("Two"), cRegistry::REG_DWORD, 2);
    store(key + QStringLiteral("\\Child"), QStringLiteral("C"), cRegistry::REG_SZ, QStringLiteral("c"));
    store(key + QStringLiteral("\\Leaf"), QStringLiteral("L"), cRegistry::REG_SZ, QStringLiteral("l"));
    int count = -1;
    QCOMPARE(names(false, key, &count), (QStringList{QString(), QStringLiteral("One"), QStringLiteral("Two")}));
    QCOMPARE(count, 2);
    QCOMPARE(names(true, key, &count),
             (QStringList{QString(), QStringLiteral("Child"), QStringLiteral("Leaf")}));
    QCOMPARE(count, 2);
    QCOMPARE(names(true, key + QStringLiteral("\\Nowhere"), &count), QStringList());
    QCOMPARE(count, 0);

    cRegistry value = at(key, QStringLiteral("ONE"));
    QVERIFY(value.DeleteValue());
    QCOMPARE(names(false, key), (QStringList{QString(), QStringLiteral("Two")}));
    VERIFY_RAISES(value.DeleteValue(), 26001,
                  QStringLiteral("Failed to delete registry Key: '-2147483646',Section: 'Software\\Enum',Key: 'ONE"));
    value.setSectionKey(key + QStringLiteral("\\Nowhere"));
    VERIFY_RAISES(value.DeleteValue(), 26001,
                  QStringLiteral("Failed to open key '-2147483646',Section: 'Software\\Enum\\Nowhere' for delete "
                                 "access"));

    cRegistry leaf = at(key + QStringLiteral("\\leaf"), QString());
    QVERIFY(leaf.DeleteKey());
    QVERIFY(!leaf.KeyExists());
    QCOMPARE(names(true, key), (QStringList{QString(), QStringLiteral("Child")}));
    VERIFY_RAISES(leaf.DeleteKey(), 26001,
                  QStringLiteral("Failed to delete registry Key: '-2147483646',Section: 'Software\\Enum\\leaf"));
    // A key with sub-keys stays, with everything below it.
    cRegistry parent = at(key, QString());
    VERIFY_RAISES(parent.DeleteKey(), 26001,
                  QStringLiteral("Failed to delete registry Key: '-2147483646',Section: 'Software\\Enum"));
    QCOMPARE(fetch(key + QStringLiteral("\\Child"), QStringLiteral("C")).toString(), QStringLiteral("c"));
    cRegistry root = at(QString(), QString());
    VERIFY_RAISES(root.DeleteKey(), 26001, QStringLiteral("Failed to delete registry Key: '-2147483646',Section: '"));
    QVERIFY(root.KeyExists());
}

void tst_cRegistry::associations()
{
    TestHome home;
    cRegistry registry = at(QStringLiteral("Keep"), QStringLiteral("Me"), cRegistry::REG_DWORD);
    registry.CreateEXEAssociation(QStringLiteral("/opt/tw/tellwave"), QStringLiteral("Tellwave.Batch"),
                                  QStringLiteral("Tellwave batch"), QStringLiteral(".twb"), QStringLiteral("&Open"),
                                  true, QString(), true, QStringLiteral("&New batch"), true, QString(), 2);
    QCOMPARE(registry.ClassKey(), HKLM);
    QCOMPARE(registry.SectionKey(), QStringLiteral("Keep"));
    QCOMPARE(registry.ValueType(), cRegistry::REG_DWORD);
    QVERIFY(!registry.KeyExists());

    const QString program = QStringLiteral("\"/opt/tw/tellwave\"");
    const QList<QPair<QString, QString>> expected = {
        {QStringLiteral(".twb"), QStringLiteral("Tellwave.Batch")},
        {QStringLiteral("Tellwave.Batch"), QStringLiteral("Tellwave batch")},
        {QStringLiteral("Tellwave.Batch\\shell\\open"), QStringLiteral("&Open")},
        {QStringLiteral("Tellwave.Batch\\shell\\open\\command"), program + QStringLiteral(" \"%1\"")},
        {QStringLiteral("Tellwave.Batch\\shell\\print"), QStringLiteral("&Print")},
        {QStringLiteral("Tellwave.Batch\\shell\\print\\command"), program + QStringLiteral(" /p \"%1\"")},
        {QStringLiteral("Tellwave.Batch\\shell\\add"), QStringLiteral("&Install Tellwave batch")},
        {QStringLiteral("Tellwave.Batch\\shell\\add\\command"), program + QStringLiteral(" /a \"%1\"")},
        {QStringLiteral("Tellwave.Batch\\shell\\new"), QStringLiteral("&New batch")},
        {QStringLiteral("Tellwave.Batch\\shell\\new\\command"), program + QStringLiteral(" /n \"%1\"")},
        {QStringLiteral("Tellwave.Batch\\DefaultIcon"), QStringLiteral("/opt/tw/tellwave,2")},
    };
    for (const auto &[path, text] : expected) {
        QCOMPARE(fetch(path, QString(), HKCR).toString(), text);
        QCOMPARE(fetch(QStringLiteral("SOFTWARE\\Classes\\") + path, QString(), HKLM).toString(), text);
    }

    registry.CreateEXEAssociation(QStringLiteral("\"/opt/tw/viewer\""), QStringLiteral("Tellwave.Log"),
                                  QStringLiteral("Tellwave log"), QStringLiteral("twl"));
    QCOMPARE(fetch(QStringLiteral("Tellwave.Log\\shell\\open\\command"), QString(), HKCR).toString(),
             QStringLiteral("\"/opt/tw/viewer\" \"%1\""));
    QCOMPARE(names(true, QStringLiteral("SOFTWARE\\Classes\\Tellwave.Log\\shell")),
             (QStringList{QString(), QStringLiteral("open")}));
    QVERIFY(!at(QStringLiteral("Tellwave.Log\\DefaultIcon"), QString(), 1, HKCR).KeyExists());

    registry.CreateAdditionalEXEAssociations(QStringLiteral("tellwave.batch"),
                                             {QStringLiteral("send"), QStringLiteral("&Send"),
                                              QStringLiteral("/opt/tw/tellwave /s %1")});
    QCOMPARE(fetch(QStringLiteral("Tellwave.Batch\\shell\\send"), QString(), HKCR).toString(),
             QStringLiteral("&Send"));
    QCOMPARE(fetch(QStringLiteral("SOFTWARE\\Classes\\Tellwave.Batch\\shell\\send\\command")).toString(),
             QStringLiteral("/opt/tw/tellwave /s %1"));

    VERIFY_RAISES(registry.CreateAdditionalEXEAssociations(QStringLiteral("Tellwave.Batch"),
                                                           {QStringLiteral("a"), QStringLiteral("b")}),
                  qint64(-2147194452),
                  QStringLiteral("Invalid parameter list passed to CreateAdditionalEXEAssociations - expected "
                                 "Name/Text/Command"));
    VERIFY_RAISES(registry.CreateAdditionalEXEAssociations(QStringLiteral("Nobody.Class"), {}), qint64(-2147194451),
                  QStringLiteral("Error - attempt to create additional associations before class defined."));
    QVERIFY(!at(QStringLiteral("Nobody.Class"), QString(), 1, HKCR).KeyExists());
}

void tst_cRegistry::writeErrors()
{
    TestHome home;
    QCOMPARE(cRegistry::ErrorValueWrite, qint64(-2147194455));
    store(QStringLiteral("Software\\Other"), QStringLiteral("V"), cRegistry::REG_SZ, QStringLiteral("kept"));
    const QString key = QStringLiteral("Software\\Err");
    struct Case { qint32 root; qint32 type; QVariant value; qint64 number; QString valueText; };
    const Case cases[] = {
        {0, cRegistry::REG_SZ, QStringLiteral("x"), 26001, QStringLiteral("x")},
        {HKLM, cRegistry::REG_BINARY, QStringLiteral("abc"), 26001, QStringLiteral("abc")},
        {HKLM, cRegistry::REG_DWORD, 1.5, cRegistry::ErrorValueWrite, QStringLiteral("1.5")},
        {HKLM, cRegistry::REG_DWORD, 2.0, cRegistry::ErrorValueWrite, QStringLiteral("2")},
        {HKLM, cRegistry::REG_DWORD_BIG_ENDIAN, QStringLiteral("7"), cRegistry::ErrorValueWrite, QStringLiteral("7")},
        {HKLM, cRegistry::REG_DWORD, qint64(1) << 40, cRegistry::ErrorValueWrite, QStringLiteral("1099511627776")},
        {HKLM, cRegistry::REG_DWORD, true, cRegistry::ErrorValueWrite, QStringLiteral("true")},
        {HKLM, cRegistry::REG_MULTI_SZ, QStringLiteral("a"), cRegistry::ErrorValueWrite, QStringLiteral("a")},
        {HKLM, 0, QStringLiteral("z"), cRegistry::ErrorValueWrite, QStringLiteral("z")},
    };
    for (const Case &c : cases) {
        cRegistry registry = at(key, QStringLiteral("V"), c.type, c.root);
        VERIFY_RAISES(registry.setValue(c.value), c.number,
                      QStringLiteral("Failed to set registry value Key: '%1',Section: 'Software\\Err',Key: 'V' to "
                                     "value: '%2'")
                          .arg(c.root)
                          .arg(c.valueText));
    }
    // A failed write leaves nothing behind, not even the key.
    QVERIFY(!at(key, QString()).KeyExists());

    cRegistry badRoot = at(key, QString(), 1, 0);
    VERIFY_RAISES(badRoot.CreateKey(), 26001, QStringLiteral("Failed to create registry Key: 'Software\\Err"));
}

void tst_cRegistry::remoteMachine()
{
    TestHome home;
    cRegistry registry = at(QStringLiteral("Software\\Remote"), QStringLiteral("V"));
    registry.setValue(QStringLiteral("local"));
    registry.setMachine(QStringLiteral("ab"));
    QCOMPARE(registry.Machine(), QString());
    registry.setMachine(QStringLiteral("\\\\office-pc"));
    QCOMPARE(registry.Machine(), QStringLiteral("\\\\office-pc"));
    registry.setMachine(QStringLiteral("srv"));
    QCOMPARE(registry.Machine(), QStringLiteral("\\\\srv"));

    registry.setDefault(QStringLiteral("unreachable"));
    QCOMPARE(registry.Value(), QVariant(QStringLiteral("unreachable")));
    QVERIFY(!registry.KeyExists());
    QStringList list{QStringLiteral("stale")};
    int count = -1;
    QVERIFY(registry.EnumerateValues(list, count));
    QCOMPARE(list, QStringList());
    QCOMPARE(count, 0);

    const QString where = QStringLiteral("'-2147483646',Section: 'Software\\Remote");
    VERIFY_RAISES(registry.setValue(QStringLiteral("remote")), 26001,
                  QStringLiteral("Failed to set registry value Key: ") + where
                      + QStringLiteral("',Key: 'V' to value: 'remote'"));
    VERIFY_RAISES(registry.CreateKey(), 26001, QStringLiteral("Failed to create registry Key: 'Software\\Remote"));
    VERIFY_RAISES(registry.DeleteKey(), 26001, QStringLiteral("Failed to delete registry Key: ") + where);
    VERIFY_RAISES(registry.DeleteValue(), 26001,
                  QStringLiteral("Failed to open key ") + where + QStringLiteral("' for delete access"));
    registry.setMachine(QString());
    QCOMPARE(registry.Value(), QVariant(QStringLiteral("local")));
}

void tst_cRegistry::otherInstancesAndProcessesSeeWritesAtOnce()
{
    TestHome home;
    cRegistry first = at(QStringLiteral("Software\\Shared"), QStringLiteral("V"));
    cRegistry second = at(QStringLiteral("Software\\Shared"), QStringLiteral("V"));
    first.setValue(QStringLiteral("one"));
    QCOMPARE(second.Value().toString(), QStringLiteral("one"));
    second.setValue(QStringLiteral("two"));
    QCOMPARE(first.Value().toString(), QStringLiteral("two"));

    QCOMPARE(runChild({QStringLiteral("--read"), QStringLiteral("Software\\Shared"), QStringLiteral("V")}),
             QStringLiteral("two"));
    QCOMPARE(runChild({QStringLiteral("--write"), QStringLiteral("Software\\Shared"), QStringLiteral("V"),
                       QStringLiteral("1")}),
             QString());
    QCOMPARE(first.Value().toString(), QStringLiteral("1"));
}

void tst_cRegistry::concurrentWritersLoseNothing()
{
    TestHome home;
    const QString key = QStringLiteral("Software\\Busy");
    QList<QProcess *> writers;
    for (const QString &prefix : {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")}) {
        auto *writer = new QProcess(this);
        writer->start(QCoreApplication::applicationFilePath(),
                      {QStringLiteral("--write"), key, prefix, QStringLiteral("40")});
        writers << writer;
    }
    for (QProcess *writer : std::as_const(writers)) {
        QVERIFY(writer->waitForFinished(120000));
        QCOMPARE(writer->exitCode(), 0);
        delete writer;
    }
    int count = 0;
    names(false, key, &count);
    QCOMPARE(count, 120);
    for (const QString &prefix : {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")}) {
        for (int i = 1; i <= 40; ++i)
            QCOMPARE(fetch(key, prefix + QString::number(i)).toString(), QString::number(i));
    }
}

void tst_cRegistry::hiveIsOwnerOnly()
{
    TestHome home;
    QCOMPARE(cRegistry::hivePath(),
             QDir(home.path()).filePath(QStringLiteral("config/Tellwave/registry.json")));
    const mode_t oldMask = umask(0);
    auto modeOf = [] {
        struct stat info {};
        return ::stat(QFile::encodeName(cRegistry::hivePath()).constData(), &info) == 0 ? (info.st_mode & 0777)
                                                                                          : 07777u;
    };
    store(QStringLiteral("S"), QStringLiteral("New"), cRegistry::REG_SZ, QStringLiteral("x"));
    const unsigned created = modeOf();
    QFile::setPermissions(cRegistry::hivePath(), QFileDevice::Permissions(0x6644)); // rw-r--r--
    const unsigned widened = modeOf();
    store(QStringLiteral("S"), QStringLiteral("Again"), cRegistry::REG_SZ, QStringLiteral("y"));
    const unsigned rewritten = modeOf();
    umask(oldMask);
    QCOMPARE(created, 0600u);
    QCOMPARE(widened, 0644u);
    QCOMPARE(rewritten, 0600u);
    QCOMPARE(fetch(QStringLiteral("S"), QStringLiteral("New")).toString(), QStringLiteral("x"));
}

void tst_cRegistry::corruptHiveIsLeftAlone_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("problem");
    QTest::newRow("cut short") << QByteArray(R"({"HKEY_LOCAL_MACHINE": {"keys": [)")
                               << QStringLiteral("is not valid JSON");
    QTest::newRow("not JSON") << QByteArray("Database=/x\n") << QStringLiteral("is not valid JSON");
    QTest::newRow("no object") << QByteArray("[1, 2]") << QStringLiteral("is not a settings hive");
    QTest::newRow("keys not a list") << QByteArray(R"({"HKEY_LOCAL_MACHINE": {"keys": 5}})")
                                     << QStringLiteral("\"keys\" of HKEY_LOCAL_MACHINE is not a list");
    QTest::newRow("value without type")
        << QByteArray(R"({"HKEY_LOCAL_MACHINE": {"keys": [{"name": "S", "values": [{"name": "V"}]}]}})")
        << QStringLiteral("a value of HKEY_LOCAL_MACHINE\\S has no name or no type");
}

void tst_cRegistry::corruptHiveIsLeftAlone()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, problem);
    TestHome home;
    putHive(content);
    cRegistry registry = at(QStringLiteral("S"), QStringLiteral("V"));
    registry.setDefault(QStringLiteral("default"));
    QCOMPARE(registry.Value(), QVariant(QStringLiteral("default")));
    QVERIFY(!registry.KeyExists());
    QCOMPARE(names(false, QStringLiteral("S")), QStringList());

    const QList<std::function<void()>> writes = {
        [&] { registry.setValue(QStringLiteral("new")); }, [&] { registry.CreateKey(); },
        [&] { registry.DeleteKey(); }, [&] { registry.DeleteValue(); },
        [&] { registry.CreateEXEAssociation(QStringLiteral("/p"), QStringLiteral("C"), QStringLiteral("D"),
                                            QStringLiteral("x")); }};
    for (const auto &action : writes) {
        const auto error = raised(action);
        QVERIFY(error);
        QCOMPARE(error->number(), 26001);
        QVERIFY2(error->description().contains(cRegistry::hivePath()), qPrintable(error->description()));
        QVERIFY2(error->description().contains(problem), qPrintable(error->description()));
    }
    const auto error = raised([&] { registry.setValue(QStringLiteral("new")); });
    QVERIFY(error->description().startsWith(
        QStringLiteral("Failed to set registry value Key: '-2147483646',Section: 'S',Key: 'V' to value: 'new': ")));
    QCOMPARE(hiveBytes(), content);
}

void tst_cRegistry::unwritableStoreRaises()
{
    TestHome home;
    // The hive's folder cannot be made: a file stands where it belongs.
    const QString folder = QFileInfo(cRegistry::hivePath()).absolutePath();
    QDir().mkpath(QFileInfo(folder).absolutePath());
    QFile blocker(folder);
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    cRegistry registry = at(QStringLiteral("S"), QStringLiteral("V"));
    QVERIFY(!registry.Value().isValid());
    const auto error = raised([&] { registry.setValue(QStringLiteral("x")); });
    QVERIFY(error);
    QCOMPARE(error->number(), 26001);
    QVERIFY2(error->description().contains(folder), qPrintable(error->description()));
    QVERIFY(QFileInfo(folder).isFile());
}

void tst_cRegistry::sourceWithoutApplicationObject()
{
    QCOMPARE(runChild({QStringLiteral("--source-without-app")}), QStringLiteral("tellwave.cRegistry"));
}

// Child modes, run by the tests above as separate processes:
//   --write <key> <prefix> <n>   writes <prefix>1..<prefix>n (or <prefix> = "1" when n is 1)
//   --read <key> <name>          prints the value
//   --source-without-app         prints the source of an error raised without an application object
static int childMain(int argc, char **argv)
{
    const QString mode = QString::fromLocal8Bit(argv[1]);
    if (mode == QStringLiteral("--source-without-app")) {
        try {
            cRegistry registry;
            registry.setValue(QStringLiteral("x"));
        } catch (const AppError &error) {
            std::fputs(error.source().toUtf8().constData(), stdout);
            return 0;
        }
        return 1;
    }
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    try {
        if (mode == QStringLiteral("--read") && args.size() == 4) {
            std::fputs(fetch(args.at(2), args.at(3)).toString().toUtf8().constData(), stdout);
            return 0;
        }
        if (mode == QStringLiteral("--write") && args.size() == 5) {
            const int n = args.at(4).toInt();
            if (n == 1) {
                store(args.at(2), args.at(3), cRegistry::REG_SZ, QStringLiteral("1"));
                return 0;
            }
            for (int i = 1; i <= n; ++i)
                store(args.at(2), args.at(3) + QString::number(i), cRegistry::REG_SZ, QString::number(i));
            return 0;
        }
    } catch (const AppError &error) {
        std::fputs(error.text().toUtf8().constData(), stderr);
    }
    return 2;
}

int main(int argc, char **argv)
{
    if (argc >= 2
        && (qstrcmp(argv[1], "--read") == 0 || qstrcmp(argv[1], "--write") == 0
            || qstrcmp(argv[1], "--source-without-app") == 0))
        return childMain(argc, argv);
    QCoreApplication app(argc, argv);
    tst_cRegistry test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_cRegistry.moc"
