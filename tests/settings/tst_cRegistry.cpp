#include "FileBytes.h"
#include "TestSupport.h"

#include "data/AppError.h"
#include "settings/cRegistry.h"

#include <QDir>
#include <QTest>

#include <sys/stat.h>

#include <functional>

namespace {

constexpr qint32 HKLM = cRegistry::HKEY_LOCAL_MACHINE;

cRegistry at(const QString &section, const QString &name = {}, qint32 type = 1, qint32 root = HKLM)
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
    at(section, name, type, root).setValue(value);
}

QVariant fetch(const QString &section, const QString &name = {}, qint32 root = HKLM)
{
    return at(section, name, 1, root).Value();
}

// "number description" of what the action raised, and the source when it is not "<this program>.cRegistry".
QString raised(const std::function<void()> &action)
{
    try {
        action();
        return QStringLiteral("nothing raised");
    } catch (const AppError &e) {
        return QString::number(e.number()) + ' ' + e.description()
               + (e.source() == "tst_cRegistry.cRegistry" ? QString() : " [source " + e.source() + ']');
    }
}

// Value (or sub-key) names; names[0] must be the unused empty entry and count the number of names.
QStringList names(bool sections, const QString &section, qint32 root = HKLM)
{
    QStringList list;
    int count = -1;
    const cRegistry registry = at(section, {}, 1, root);
    const bool ok = sections ? registry.EnumerateSections(list, count) : registry.EnumerateValues(list, count);
    if (!ok || count != qMax<qsizetype>(0, list.size() - 1) || (!list.isEmpty() && !list.first().isEmpty()))
        return {"<inconsistent>"};
    return list.mid(1);
}

} // namespace

class tst_cRegistry : public QObject
{
    Q_OBJECT

private slots:
    void typesRoundTripPercentSignsChooseTypeVariablesExpand_data()
    {
        QTest::addColumn<qint32>("type");
        QTest::addColumn<QVariant>("written");
        QTest::addColumn<QVariant>("read");
        QTest::addColumn<qint32>("readType");
        const QByteArray bytes("\x00\xff\x10z\x00", 5);
        QTest::newRow("text") << 1 << QVariant("Zoë ☎ C:\\Data") << QVariant("Zoë ☎ C:\\Data") << 1;
        QTest::newRow("bytes") << 3 << QVariant(bytes) << QVariant(bytes) << 3;
        QTest::newRow("unsigned") << 4 << QVariant(quint32(0xFFFFFFFFu)) << QVariant(qint32(-1)) << 4;
        QTest::newRow("big-endian stored plain") << 5 << QVariant(1) << QVariant(qint32(1)) << 4;
        // %VAR% references expand on reading; unknown ones stay; an expansion is not expanded again.
        qputenv("TW_REG_PERCENT", "%TW_REG_DIR%");
        QTest::newRow("known %VAR%") << 1 << QVariant("C:\\%TW_REG_DIR%\\x") << QVariant("C:\\/srv\\x") << 2;
        QTest::newRow("unknown %VAR%") << 1 << QVariant("%TW_NOT_SET%/%%/1%") << QVariant("%TW_NOT_SET%/%%/1%") << 2;
        QTest::newRow("no re-expansion") << 1 << QVariant("%TW_REG_PERCENT%") << QVariant("%TW_REG_DIR%") << 2;
        QTest::newRow("%% side by side") << 1 << QVariant("a%%b") << QVariant("a%%b") << 1;
        QTest::newRow("one between") << 1 << QVariant("%a%") << QVariant("%a%") << 2;
        QTest::newRow("later % counts") << 1 << QVariant("%%x%") << QVariant("%%x%") << 2;
        QTest::newRow("type 2 without %") << 2 << QVariant("plain") << QVariant("plain") << 1;
    }
    void typesRoundTripPercentSignsChooseTypeVariablesExpand()
    {
        QFETCH(qint32, type);
        QFETCH(QVariant, written);
        QFETCH(QVariant, read);
        QFETCH(qint32, readType);
        TestHome home;
        qputenv("TW_REG_DIR", "/home/ann");
        store("Software\\Types", "V", type, written);
        qputenv("TW_REG_DIR", "/srv"); // what counts is the variable at reading
        cRegistry registry = at("SOFTWARE\\types", "v", 0);
        QCOMPARE(registry.Value().typeId(), read.typeId());
        QCOMPARE(registry.Value(), read);
        QCOMPARE(registry.ValueType(), readType);
    }

    void defaultForMissingValuesAndEmptyValueExTextBigEndianRead()
    {
        TestHome home;
        cRegistry registry = at("Software\\S", "V", cRegistry::REG_BINARY);
        QVERIFY(!registry.Value().isValid()); // no hive at all
        registry.setDefault("fallback");
        QCOMPARE(registry.Value(), QVariant("fallback"));
        QCOMPARE(registry.ValueType(), cRegistry::REG_BINARY); // untouched by a failed read
        QVERIFY(writeFile(cRegistry::hivePath(),
                          R"({"HKEY_LOCAL_MACHINE": {"keys": [{"name": "Software", "keys": [{"name": "S", "values": [
                   {"name": "Big", "type": 5, "data": 305419896}]}]}]}})"));
        QCOMPARE(registry.Value(), QVariant("fallback")); // key there, value not
        registry.setValueKey("Big");
        QCOMPARE(registry.Value(), QVariant(qint32(0x78563412)));
        QCOMPARE(registry.Value().typeId(), int(QMetaType::Int));
        QCOMPARE(registry.ValueType(), cRegistry::REG_DWORD_BIG_ENDIAN);
        registry.setClassKey(cRegistry::HKEY_CURRENT_USER); // another root holds nothing
        QCOMPARE(registry.Value(), QVariant("fallback"));
        // ValueEx writes Default in place of an empty text of type 1 only.
        cRegistry().setValueEx(HKLM, "Ex", "M", 1, "Dear client", QString());
        QCOMPARE(fetch("Ex", "M"), QVariant("Dear client"));
        cRegistry().setValueEx(HKLM, "Ex", "M", 1, "Dear client", "Pay now");
        QCOMPARE(fetch("Ex", "M"), QVariant("Pay now"));
        cRegistry().setValueEx(HKLM, "Ex", "M", 2, "Dear client", QString());
        QCOMPARE(fetch("Ex", "M"), QVariant(QString()));
        QCOMPARE(cRegistry().ValueEx(HKLM, "Ex", "Missing", 1, "d"), QVariant("d"));
    }

    void keysAreCreatedMatchedWithoutCaseEnumeratedAndDeleted()
    {
        TestHome home;
        const QString where = "Key: '-2147483646',Section: 'Software\\Enum";
        store("\\Software\\\\Enum\\", "One", 1, "1");
        store("SOFTWARE\\enum", "Two", 4, 2);
        store("Software\\Enum\\Child", "C", 1, "c");
        store("software\\ENUM\\Leaf", "L", 1, "l");
        store("software\\ENUM", "one", 4, 7); // overwrites type and data, keeping the first spelling
        QCOMPARE(fetch("SOFTWARE\\ENUM", "ONE"), QVariant(7));
        QCOMPARE(fetch("SOFTWARE\\ENUM", "ONE").typeId(), int(QMetaType::Int));
        QCOMPARE(names(true, "Software"), QStringList{"Enum"});
        QCOMPARE(names(false, "Software\\Enum"), (QStringList{"One", "Two"}));
        QCOMPARE(names(true, "Software\\Enum"), (QStringList{"Child", "Leaf"}));
        QCOMPARE(names(true, "Software\\Nowhere"), QStringList());

        cRegistry created = at("Software\\New\\Empty");
        QVERIFY(!created.KeyExists());
        QVERIFY(created.CreateKey() && created.KeyExists() && created.CreateKey()); // an existing one opens too

        cRegistry value = at("Software\\Enum", "ONE");
        QVERIFY(value.DeleteValue());
        QCOMPARE(names(false, "Software\\Enum"), QStringList{"Two"});
        QCOMPARE(raised([&] { value.DeleteValue(); }), "26001 Failed to delete registry " + where + "',Key: 'ONE");
        value.setSectionKey("Software\\Enum\\Nowhere");
        QCOMPARE(raised([&] { value.DeleteValue(); }),
                 "26001 Failed to open key '-2147483646',Section: 'Software\\Enum\\Nowhere' for delete access");
        QVERIFY(at("Software\\enum\\leaf").DeleteKey());
        QCOMPARE(names(true, "Software\\Enum"), QStringList{"Child"});
        // A key with sub-keys stays, with everything below it.
        QCOMPARE(raised([] { at("Software\\Enum").DeleteKey(); }), "26001 Failed to delete registry " + where);
        QCOMPARE(fetch("Software\\Enum\\Child", "C"), QVariant("c"));
    }

    void associations()
    {
        TestHome home;
        cRegistry registry = at("Keep", "Me", 4);
        registry.CreateEXEAssociation("/opt/tw/tellwave", "Tellwave.Batch", "Tellwave batch", ".twb", "&Open", true,
                                      QString(), true, "&New batch", true, QString(), 2);
        const QString program = "\"/opt/tw/tellwave\"", shell = "Tellwave.Batch\\shell\\";
        const QList<QPair<QString, QString>> expected = {
            {".twb", "Tellwave.Batch"},
            {"Tellwave.Batch", "Tellwave batch"},
            {shell + "open", "&Open"},
            {shell + "open\\command", program + " \"%1\""},
            {shell + "print", "&Print"},
            {shell + "print\\command", program + " /p \"%1\""},
            {shell + "add", "&Install Tellwave batch"},
            {shell + "add\\command", program + " /a \"%1\""},
            {shell + "new", "&New batch"},
            {shell + "new\\command", program + " /n \"%1\""},
            {"Tellwave.Batch\\DefaultIcon", "/opt/tw/tellwave,2"},
        };
        for (const auto &[path, text] : expected) {
            QCOMPARE(fetch(path, {}, cRegistry::HKEY_CLASSES_ROOT).toString(), text);
            QCOMPARE(fetch("SOFTWARE\\Classes\\" + path).toString(), text);
        }

        registry.CreateAdditionalEXEAssociations("tellwave.batch", {"send", "&Send", "/s %1"});
        QCOMPARE(fetch(shell + "send", {}, cRegistry::HKEY_CLASSES_ROOT), QVariant("&Send"));
        QCOMPARE(fetch("SOFTWARE\\Classes\\" + shell + "send\\command"), QVariant("/s %1"));
        QCOMPARE(raised([&] { registry.CreateAdditionalEXEAssociations("Tellwave.Batch", {"a"}); }),
                 "-2147194452 Invalid parameter list passed to CreateAdditionalEXEAssociations - expected "
                 "Name/Text/Command");
        QCOMPARE(raised([&] { registry.CreateAdditionalEXEAssociations("Nobody.Class", {}); }),
                 "-2147194451 Error - attempt to create additional associations before class defined.");
    }

    void writeErrorsAndRemoteMachine()
    {
        TestHome home;
        const QString failed = "%1 Failed to set registry value Key: '%2',Section: 'Err',Key: 'V' to value: '%3'";
        const QList<std::tuple<qint32, qint32, QVariant, qint64, QString>> cases = {
            {0, 1, "x", 26001, "x"},
            {HKLM, cRegistry::REG_BINARY, "abc", 26001, "abc"},
            {HKLM, 4, 1.5, -2147194455, "1.5"},
            {HKLM, 4, qint64(1) << 40, -2147194455, "1099511627776"},
            {HKLM, 5, "7", -2147194455, "7"},
        };
        for (const auto &[root, type, value, number, text] : cases)
            QCOMPARE(raised([&] { store("Err", "V", type, value, root); }), failed.arg(number).arg(root).arg(text));
        QVERIFY(!at("Err").KeyExists()); // a failed write leaves nothing behind
        QCOMPARE(raised([] { at("Err", {}, 1, 0).CreateKey(); }), "26001 Failed to create registry Key: 'Err");

        cRegistry registry = at("Err", "V");
        registry.setValue("local");
        for (const auto &[name, kept] : {std::pair{"ab", ""}, {"\\\\pc", "\\\\pc"}, {"srv", "\\\\srv"}}) {
            registry.setMachine(name);
            QCOMPARE(registry.Machine(), kept);
        }
        // A remote machine cannot be reached: reads yield Default, writes raise.
        registry.setDefault("unreachable");
        QCOMPARE(registry.Value(), QVariant("unreachable"));
        QVERIFY(!registry.KeyExists());
        QCOMPARE(raised([&] { registry.setValue("remote"); }), failed.arg(26001).arg(HKLM).arg("remote"));
        registry.setMachine(QString());
        QCOMPARE(registry.Value(), QVariant("local"));
    }

    void hiveIsOwnerOnlyAndSharedAtOnceWithoutLosses()
    {
        TestHome home;
        QCOMPARE(cRegistry::hivePath(), QDir(home.path()).filePath("config/Tellwave/registry.json"));
        const QFile::Permissions ownerOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser;
        const mode_t oldMask = umask(0);
        store("Shared", "V", 1, "zero");
        const bool created = QFile::permissions(cRegistry::hivePath()) == ownerOnly;
        QFile::setPermissions(cRegistry::hivePath(), ownerOnly | QFile::ReadGroup | QFile::ReadOther);
        cRegistry first = at("Shared", "V"), second = at("Shared", "V");
        first.setValue("one");
        const bool rewritten = QFile::permissions(cRegistry::hivePath()) == ownerOnly;
        umask(oldMask);
        QVERIFY(created && rewritten);
        QCOMPARE(second.Value(), QVariant("one"));
        second.setValue("two");
        QCOMPARE(first.Value(), QVariant("two"));
        // Three processes writing at once: every value arrives.
        QProcess writers[3];
        for (int w = 0; w < 3; ++w)
            writers[w].start(QCoreApplication::applicationFilePath(), {"--write", "Shared", QString("ABC")[w], "40"});
        for (QProcess &writer : writers)
            QVERIFY(writer.waitForFinished(120000) && writer.exitCode() == 0);
        QCOMPARE(names(false, "Shared").size(), 121);
        QCOMPARE(fetch("Shared", "B17"), QVariant("17"));
    }

    void corruptHiveIsLeftAlone_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("problem");
        QTest::newRow("cut short") << QByteArray(R"({"HKEY_LOCAL_MACHINE": {"keys": [)") << "is not valid JSON";
        QTest::newRow("value without type")
            << QByteArray(R"({"HKEY_LOCAL_MACHINE": {"keys": [{"name": "S", "values": [{"name": "V"}]}]}})")
            << "a value of HKEY_LOCAL_MACHINE\\S has no name or no type";
    }
    void corruptHiveIsLeftAlone()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, problem);
        TestHome home;
        QVERIFY(writeFile(cRegistry::hivePath(), content));
        cRegistry registry = at("S", "V");
        registry.setDefault("default");
        QCOMPARE(registry.Value(), QVariant("default"));
        const QList<std::function<void()>> writes = {[&] { registry.setValue("new"); }, [&] { registry.DeleteKey(); },
                                                     [&] { registry.CreateEXEAssociation("/p", "C", "D", "x"); }};
        for (const auto &action : writes) {
            const QString text = raised(action);
            QVERIFY2(text.startsWith("26001 ") && text.contains(cRegistry::hivePath()) && text.contains(problem),
                     qPrintable(text));
        }
        QCOMPARE(fileBytes(cRegistry::hivePath()), content);
    }
};

// Child mode: --write <key> <prefix> <n> writes values <prefix>1..<prefix>n.
int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.value(1) == "--write") {
        for (int i = 1; i <= args.at(4).toInt(); ++i)
            store(args.at(2), args.at(3) + QString::number(i), 1, QString::number(i));
        return 0;
    }
    tst_cRegistry test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_cRegistry.moc"
