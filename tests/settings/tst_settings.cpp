#include "FileBytes.h"
#include "Raised.h"
#include "TestSupport.h"

#include "data/AppError.h"
#include "settings/Settings.h"
#include "settings/cRegistry.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;
using Key = Settings::Key;

namespace {

void storeRaw(Key key, qint32 type, const QVariant &value)
{
    cRegistry registry;
    registry.setClassKey(cRegistry::HKEY_LOCAL_MACHINE);
    registry.setSectionKey(Settings::SettingsKey);
    registry.setValueType(type);
    registry.setValueKey(Settings::name(key));
    registry.setValue(value);
}

const Settings::Entry &firstOf(Settings::Type type)
{
    for (const Settings::Entry &entry : Settings::Table)
        if (entry.type == type)
            return entry;
    qFatal("no setting of that type");
}

} // namespace

class tst_settings : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_home = std::make_unique<TestHome>(); }
    void cleanup() { m_home.reset(); }

    // Every key: unstored it reads as its default, a write reads back (text
    // trimmed, numbers at both ends of the range) and is told once, by its key.
    void everyKeyRoundTripsAndTellsItsWrite_data()
    {
        QTest::addColumn<Key>("key");
        for (const Settings::Entry &entry : Settings::Table)
            QTest::newRow(entry.name) << entry.key;
    }
    void everyKeyRoundTripsAndTellsItsWrite()
    {
        QFETCH(Key, key);
        const Settings::Entry &entry = Settings::entry(key);
        QCOMPARE(Settings::name(key), QLatin1StringView(entry.name));
        QSignalSpy changed(&Settings::notifier(), &Settings::changed);
        if (entry.type == Settings::Type::Text) {
            QCOMPARE(Settings::text(key), QString());
            Settings::setText(key, u"  a 100% text  "_s);
            QCOMPARE(Settings::text(key), u"a 100% text"_s);
            QCOMPARE(errorOf([key] { Settings::number(key); }).contains(entry.name), true);
        } else {
            QCOMPARE(Settings::number(key), entry.fallback);
            for (const int number : {entry.most, entry.least}) {
                Settings::setNumber(key, number);
                QCOMPARE(Settings::number(key), number);
            }
            QCOMPARE(errorOf([key] { Settings::text(key); }).contains(entry.name), true);
        }
        const qsizetype writes = entry.type == Settings::Type::Text ? 1 : 2;
        QCOMPARE(changed.size(), writes);
        for (const QList<QVariant> &told : std::as_const(changed))
            QCOMPARE(told.at(0).value<Key>(), key);
    }

    // The typed accessors give each type as the key's own.
    void typedAccessorsReadAndWriteTheirKey()
    {
        QSignalSpy changed(&Settings::notifier(), &Settings::changed);
        Settings::setValue<Key::GatewayConnections>(9);
        Settings::setValue<Key::GatewayHost>(u" sms.example.co.za "_s);
        const int connections = Settings::value<Key::GatewayConnections>();
        const QString host = Settings::value<Key::GatewayHost>();
        QCOMPARE(std::pair(connections, host), std::pair(9, u"sms.example.co.za"_s));
        QCOMPARE(QList<QVariantList>(changed), QList<QVariantList>({{QVariant::fromValue(Key::GatewayConnections)},
                                                                    {QVariant::fromValue(Key::GatewayHost)}}));
    }

    // A family's member is kept under "<family>-<member>" (where earlier
    // versions kept a file's column mapping), read back trimmed, and told by
    // family and member.
    void familyMembersKeepTheirStoredNames()
    {
        cRegistry stored;
        stored.setClassKey(cRegistry::HKEY_LOCAL_MACHINE);
        stored.setSectionKey(Settings::SettingsKey);
        stored.setValueKey(u"CsvColumns-ab12"_s);
        stored.setPlainText(u"Mobile,,EMail "_s);
        QCOMPARE(Settings::text(Settings::Family::CsvColumns, u"ab12"_s), u"Mobile,,EMail"_s);

        QSignalSpy changed(&Settings::notifier(), &Settings::memberChanged);
        Settings::setText(Settings::Family::CsvColumns, u"cd34"_s, u"LastName"_s);
        stored.setValueKey(u"CsvColumns-cd34"_s);
        QCOMPARE(stored.Value().toString(), u"LastName"_s);
        QCOMPARE(QList<QVariantList>(changed),
                 QList<QVariantList>({{QVariant::fromValue(Settings::Family::CsvColumns), u"cd34"_s}}));
    }

    // A value stored but unreadable is an error naming the setting, never the
    // default; a number out of range is not written nor told.
    void unreadableValuesAreErrors_data()
    {
        QTest::addColumn<Key>("key");
        QTest::addColumn<qint32>("type");
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QString>("error");
        const Settings::Entry &number = firstOf(Settings::Type::Number);
        const Settings::Entry &text = firstOf(Settings::Type::Text);
        const QString notNumber = u"The setting \"%1\" under %2 is not a whole number from %3 to %4."_s.arg(
            QLatin1StringView(number.name), Settings::SettingsKey, QString::number(number.least),
            QString::number(number.most));
        QTest::newRow("words for a number")
            << number.key << qint32(cRegistry::REG_SZ) << QVariant(u"seven"_s) << notNumber;
        QTest::newRow("number above its range")
            << number.key << qint32(cRegistry::REG_DWORD) << QVariant(number.most + 1) << notNumber;
        QTest::newRow("number for a text") << text.key << qint32(cRegistry::REG_DWORD) << QVariant(5)
                                           << u"The setting \"%1\" under %2 is not a text (its type is 4)."_s.arg(
                                                  QLatin1StringView(text.name), Settings::SettingsKey);
    }
    void unreadableValuesAreErrors()
    {
        QFETCH(Key, key);
        QFETCH(qint32, type);
        QFETCH(QVariant, stored);
        QFETCH(QString, error);
        storeRaw(key, type, stored);
        const bool isNumber = Settings::entry(key).type == Settings::Type::Number;
        QCOMPARE(errorOf([&] { isNumber ? void(Settings::number(key)) : void(Settings::text(key)); }), error);
        if (!isNumber)
            return;
        QSignalSpy changed(&Settings::notifier(), &Settings::changed);
        QCOMPARE(errorOf([&] { Settings::setNumber(key, Settings::entry(key).most + 1); }), error);
        QCOMPARE(changed.size(), 0);
        QCOMPARE(Settings::stored(key), stored.toString());
    }

    // A settings file that cannot be read fails every read, of either type.
    void anUnreadableFileFailsEveryRead()
    {
        QVERIFY(writeFile(cRegistry::hivePath(), "{ not json"));
        for (const Settings::Entry &entry : Settings::Table) {
            const QString error = errorOf([&] {
                entry.type == Settings::Type::Number ? void(Settings::number(entry.key))
                                                     : void(Settings::text(entry.key));
            });
            QVERIFY2(error.startsWith(u"The program's settings cannot be read: "_s), qPrintable(error));
        }
    }

private:
    std::unique_ptr<TestHome> m_home;
};

QTEST_GUILESS_MAIN(tst_settings)
#include "tst_settings.moc"
