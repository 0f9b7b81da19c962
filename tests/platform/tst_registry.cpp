#include "Registry.h"

#include "AutostartEntry.h"
#include "SettingsStore.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <array>
#include <memory>

using namespace Qt::Literals::StringLiterals;

namespace {

std::span<const char> Bytes(const QByteArray &data)
{
    return {data.constData(), static_cast<std::size_t>(data.size())};
}

} // namespace

class TestRegistry : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void runKeyAndTheKeysAboveItAlwaysExist();
    void handlesStayOpenUntilClosed();
    void emptyNamesInPathsAreRefused_data();
    void emptyNamesInPathsAreRefused();
    void dataIsCheckedAgainstItsType();

private:
    std::unique_ptr<QTemporaryDir> home_;
};

void TestRegistry::init()
{
    home_ = std::make_unique<QTemporaryDir>();
    QVERIFY(home_->isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home_->filePath(u"config"_s)));
}

void TestRegistry::cleanup()
{
    home_.reset();
    qunsetenv("XDG_CONFIG_HOME");
}

void TestRegistry::runKeyAndTheKeysAboveItAlwaysExist()
{
    for (const QString &path : {u"Software"_s, u"software\\microsoft"_s, u"Software\\Microsoft\\Windows"_s,
                                u"Software\\Microsoft\\Windows\\CurrentVersion"_s, RunKeyPath.toString()}) {
        std::int32_t key = 0;
        QCOMPARE(RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_WRITE, key), ERROR_SUCCESS);
        QCOMPARE(RegCloseKey(key), ERROR_SUCCESS);
    }
    std::int32_t key = 0;
    QCOMPARE(RegOpenKeyExA(HKEY_CURRENT_USER, u"Software\\Quillmoor"_s, 0, KEY_WRITE, key), ERROR_FILE_NOT_FOUND);
    QVERIFY(!QFile::exists(SettingsStore().FilePath()));

    // Values under the Run key other than the program's own live in the store.
    QCOMPARE(RegOpenKeyExA(HKEY_CURRENT_USER, RunKeyPath.toString(), 0, KEY_ALL_ACCESS, key), ERROR_SUCCESS);
    QCOMPARE(RegSetValueExA(key, u"Other"_s, REG_SZ, Bytes(QByteArray("/opt/other", 11))), ERROR_SUCCESS);
    QVERIFY(!QFile::exists(AutostartEntryPath()));
    QVERIFY(SettingsStore().ReadValue(RunKeyPath.toString(), u"Other"_s) == SettingsStore::Value(u"/opt/other"_s));
    QCOMPARE(RegSetValueExA(key, u"Tarnwick"_s, REG_DWORD, Bytes("abcd")), ERROR_INVALID_PARAMETER);
    QCOMPARE(RegCloseKey(key), ERROR_SUCCESS);
}

void TestRegistry::handlesStayOpenUntilClosed()
{
    std::int32_t first = 0;
    std::int32_t second = 0;
    QCOMPARE(RegOpenKeyExA(HKEY_CURRENT_USER, u"Software"_s, 0, KEY_WRITE, first), ERROR_SUCCESS);
    QCOMPARE(RegOpenKeyExA(HKEY_CURRENT_USER, u"Software"_s, 0, KEY_WRITE, second), ERROR_SUCCESS);
    QVERIFY(first != second);
    QVERIFY(first != HKEY_CURRENT_USER && second != HKEY_CURRENT_USER);
    QCOMPARE(RegCloseKey(first), ERROR_SUCCESS);
    QCOMPARE(RegCloseKey(first), ERROR_INVALID_HANDLE);

    std::int32_t key = 0;
    std::array<char, 4> data{};
    QCOMPARE(RegOpenKeyExA(first, QString(), 0, KEY_WRITE, key), ERROR_INVALID_HANDLE);
    QCOMPARE(RegSetValueExA(first, u"X"_s, REG_DWORD, data), ERROR_INVALID_HANDLE);
    QCOMPARE(RegDeleteValueA(first, u"X"_s), ERROR_INVALID_HANDLE);
    QCOMPARE(RegCloseKey(second), ERROR_SUCCESS);
    QCOMPARE(RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS);
}

void TestRegistry::emptyNamesInPathsAreRefused_data()
{
    QTest::addColumn<QString>("subKey");
    QTest::newRow("leading backslash") << u"\\Software"_s;
    QTest::newRow("trailing backslash") << u"Software\\"_s;
    QTest::newRow("doubled backslash") << u"Software\\\\Quillmoor"_s;
}

void TestRegistry::emptyNamesInPathsAreRefused()
{
    QFETCH(QString, subKey);
    std::int32_t key = 0;
    QCOMPARE(RegCreateKeyExA(HKEY_CURRENT_USER, subKey, QString(), 0, KEY_ALL_ACCESS, key), ERROR_INVALID_PARAMETER);
    QCOMPARE(RegOpenKeyExA(HKEY_CURRENT_USER, subKey, 0, KEY_ALL_ACCESS, key), ERROR_INVALID_PARAMETER);
    QVERIFY(!QFile::exists(SettingsStore().FilePath()));
}

void TestRegistry::dataIsCheckedAgainstItsType()
{
    std::int32_t key = 0;
    QCOMPARE(RegOpenKeyExA(HKEY_CURRENT_USER, u"Software"_s, 0, KEY_ALL_ACCESS, key), ERROR_SUCCESS);
    QCOMPARE(RegSetValueExA(key, u"V"_s, REG_DWORD, Bytes("abc")), ERROR_INVALID_PARAMETER);
    QCOMPARE(RegSetValueExA(key, u"V"_s, 3, Bytes("abcd")), ERROR_INVALID_PARAMETER);
    QVERIFY(!SettingsStore().ReadValue(u"Software"_s, u"V"_s));
    // Only the one terminating zero byte is dropped from a text.
    QCOMPARE(RegSetValueExA(key, u"V"_s, REG_SZ, Bytes(QByteArray("a\0b\0", 4))), ERROR_SUCCESS);
    QVERIFY(SettingsStore().ReadValue(u"Software"_s, u"V"_s) == SettingsStore::Value(u"a\0b"_s));

    std::int32_t type = 0;
    std::int32_t size = 0;
    std::array<char, 3> small{'x', 'x', 'x'};
    QCOMPARE(RegQueryValueExA(key, u"V"_s, type, small, size), ERROR_MORE_DATA);
    QCOMPARE(size, 4);
    QCOMPARE(QByteArray(small.data(), 3), "xxx");
    QCOMPARE(RegCloseKey(key), ERROR_SUCCESS);
}

QTEST_GUILESS_MAIN(TestRegistry)
#include "tst_registry.moc"
