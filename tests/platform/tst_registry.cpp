// The per-user settings from the bottom up: the store file, the registry calls over it, the helpers the
// program calls, and the autostart entry that stands behind the Run key's "Tarnwick" value.
#include "AutostartEntry.h"
#include "RegFunctions.h"
#include "SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <array>
#include <memory>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString ProgramKey = u"Software\\Quillmoor\\Tarnwick"_s;
const QString RunKey = RunKeyPath.toString();
const QString Absent = QString(QChar(0));
constexpr std::int32_t Root = HKEY_CURRENT_USER;

QString TextOf(const std::optional<SettingsStore::Value> &value)
{
    return value && std::holds_alternative<QString>(*value) ? std::get<QString>(*value) : u"<absent>"_s;
}

QByteArray ReadFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

class TestRegistry : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void storeKeepsOddText_data();
    void storeKeepsOddText();
    void damagedStoreReadsAsAbsent_data();
    void damagedStoreReadsAsAbsent();
    void storeWritesAWholeNewFile();
    void registryCalls();
    void helperText_data();
    void helperText();
    void helperKeysNumbersAndDeletion();
    void autostartEntry_data();
    void autostartEntry();
    void autostartEntryWrittenByHand_data();
    void autostartEntryWrittenByHand();

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

void TestRegistry::storeKeepsOddText_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << QString();
    QTest::newRow("NUL inside") << u"a\0b"_s;
    QTest::newRow("line breaks, quotes, backslashes") << u"one\r\n\"two\" = \\\\server\\share\\u0041\n"_s;
    QTest::newRow("looks like a store line") << u"\ntext \"FormTopMost\" \"True\"\nkey \"\""_s;
    QTest::newRow("emoji and lone surrogate") << u"\U0001F600"_s + QChar(0xD83D);
}

void TestRegistry::storeKeepsOddText()
{
    QFETCH(QString, text);
    // The same text as key name (which cannot hold the separator), value name and value, read by a new store.
    const QString keyName = QString(text).replace(u'\\', u'/');
    const QString keyPath = keyName.isEmpty() ? u"Software"_s : u"Software\\"_s + keyName;
    QVERIFY(SettingsStore().WriteValue(keyPath, text, text));
    QVERIFY(SettingsStore().WriteValue(keyPath, u"after"_s, u"still here"_s));
    SettingsStore store;
    QCOMPARE(TextOf(store.ReadValue(keyPath, text)), text);
    QCOMPARE(TextOf(store.ReadValue(keyPath, u"after"_s)), u"still here");
}

void TestRegistry::damagedStoreReadsAsAbsent_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("good");
    QTest::newRow("empty file") << QByteArray() << u"<absent>"_s;
    QTest::newRow("binary rubbish") << QByteArray("\x00\xff\xfe garbage\n\x01\x02", 15) << u"<absent>"_s;
    QTest::newRow("another header") << QByteArray("Tarnwick settings 2\nkey \"A\"\ntext \"Good\" \"kept\"\n")
                                    << u"<absent>"_s;
    const QByteArray head("Tarnwick settings 1\nkey \"A\"\n");
    // After a damaged line the values up to the next key line are dropped, not put under a wrong key.
    const QByteArray tail("text \"Lost\" \"x\"\nkey \"A\"\ntext \"Good\" \"kept\"\n");
    QTest::newRow("no closing quote") << head + "text \"Bad\" \"open\n" + tail << u"kept"_s;
    QTest::newRow("unknown escape") << head + "text \"Bad\" \"\\q\"\n" + tail << u"kept"_s;
    QTest::newRow("bad UTF-8") << head + "text \"Bad\" \"\xc3\x28\"\n" + tail << u"kept"_s;
    QTest::newRow("short number") << head + "number \"Bad\" 123\n" + tail << u"kept"_s;
}

void TestRegistry::damagedStoreReadsAsAbsent()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, good);
    SettingsStore store;
    WriteFile(store.FilePath(), bytes);
    QCOMPARE(TextOf(store.ReadValue(u"A"_s, u"Good"_s)), good);
    QVERIFY(!store.ReadValue(u"A"_s, u"Bad"_s) && !store.ReadValue(u"A"_s, u"Lost"_s));
    QVERIFY(store.WriteValue(ProgramKey, u"FormStartX"_s, 3u));
    QVERIFY(store.ReadValue(ProgramKey, u"FormStartX"_s) == SettingsStore::Value(3u));
}

void TestRegistry::storeWritesAWholeNewFile()
{
    // A reader that opened the file before a write still reads the whole old one: the write puts a complete
    // new file in its place, so a crash cannot leave half a file.
    SettingsStore store;
    QVERIFY(store.WriteValue(ProgramKey, u"FormStartX"_s, 1u));
    const QByteArray oldBytes = ReadFile(store.FilePath());
    QFile before(store.FilePath());
    QVERIFY(before.open(QIODevice::ReadOnly));
    QVERIFY(store.WriteValue(ProgramKey, u"FormStartY"_s, QString(5000, u'y')));
    QCOMPARE(before.readAll(), oldBytes);
    QCOMPARE(QDir(QFileInfo(store.FilePath()).absolutePath()).entryList(QDir::Files), QStringList{u"settings.reg"_s});
}

void TestRegistry::registryCalls()
{
    // The Run key exists in an empty store; a closed handle is refused; a value too big for the buffer
    // gives its size and leaves the buffer alone.
    std::int32_t key = 0;
    QCOMPARE(RegOpenKeyExA(Root, RunKey, 0, KEY_ALL_ACCESS, key), ERROR_SUCCESS);
    QCOMPARE(RegOpenKeyExA(Root, ProgramKey, 0, KEY_WRITE, key), ERROR_FILE_NOT_FOUND);
    QCOMPARE(RegOpenKeyExA(Root, u"Software"_s, 0, KEY_ALL_ACCESS, key), ERROR_SUCCESS);
    const std::array<char, 4> text{'a', 'b', 'c', 0};
    QCOMPARE(RegSetValueExA(key, u"V"_s, REG_SZ, text), ERROR_SUCCESS);
    std::int32_t type = 0;
    std::int32_t size = 0;
    std::array<char, 3> small{'x', 'x', 'x'};
    QCOMPARE(RegQueryValueExA(key, u"V"_s, type, small, size), ERROR_MORE_DATA);
    QCOMPARE(size, 4);
    QCOMPARE(QByteArray(small.data(), 3), "xxx");
    QCOMPARE(RegCloseKey(key), ERROR_SUCCESS);
    QCOMPARE(RegCloseKey(key), ERROR_INVALID_HANDLE);
    QCOMPARE(RegSetValueExA(key, u"V"_s, REG_SZ, text), ERROR_INVALID_HANDLE);
}

void TestRegistry::helperText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("fits");
    QTest::newRow("True") << u"True"_s << true;
    QTest::newRow("empty") << QString() << true;
    QTest::newRow("1023 bytes") << QString(1023, u'x') << true;
    QTest::newRow("1023 bytes, two-byte characters") << QString(511, u'\u00e9') + u'x' << true;
    QTest::newRow("1024 bytes") << QString(1024, u'x') << false;
    QTest::newRow("1024 bytes, two-byte characters") << QString(512, u'\u00e9') << false;
}

void TestRegistry::helperText()
{
    QFETCH(QString, text);
    QFETCH(bool, fits);
    QVERIFY(SetRegString(ProgramKey, u"Value"_s, text, Root));
    QCOMPARE(GetRegString(ProgramKey, u"Value"_s, u"default"_s, Root), fits ? text : u"default"_s);
}

void TestRegistry::helperKeysNumbersAndDeletion()
{
    QCOMPARE(GetRegString(ProgramKey, u"FormTopMost"_s, Absent, Root), Absent);
    QCOMPARE(GetRegLong(ProgramKey, u"FormStartX"_s, 123, Root), 123);
    QVERIFY(!DeleteRegValue(ProgramKey, u"FormStartX"_s, Root));
    for (const std::int32_t number :
         {0, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()}) {
        QVERIFY(SetRegLong(ProgramKey, u"FormStartX"_s, number, Root));
        QCOMPARE(GetRegLong(ProgramKey, u"FormStartX"_s, 5, Root), number);
    }
    QVERIFY(CreateRegKey(u"software\\QUILLMOOR\\tarnwick"_s, QString(), Root));
    QCOMPARE(GetRegLong(ProgramKey, u"FormStartX"_s, 5, Root), std::numeric_limits<std::int32_t>::max());
    QVERIFY(!DeleteRegValue(ProgramKey, u"Missing"_s, Root));
    QVERIFY(DeleteRegValue(ProgramKey, u"FormStartX"_s, Root));
    QVERIFY(!DeleteRegValue(ProgramKey, u"FormStartX"_s, Root));
    QCOMPARE(GetRegLong(ProgramKey, u"FormStartX"_s, 5, Root), 5);
}

void TestRegistry::autostartEntry_data()
{
    QTest::addColumn<QString>("programPath");
    QTest::addColumn<QByteArray>("execLine");
    QTest::newRow("plain") << u"/opt/tarnwick/tarnwick"_s << QByteArray("Exec=/opt/tarnwick/tarnwick");
    QTest::newRow("spaces") << u"/home/ann/My Programs/tarnwick"_s
                            << QByteArray("Exec=\"/home/ann/My Programs/tarnwick\"");
    QTest::newRow("dollar, backtick, quote, backslash")
        << u"/opt/a$b`c\"d\\e/tarnwick"_s << QByteArray("Exec=\"/opt/a\\\\$b\\\\`c\\\\\"d\\\\\\\\e/tarnwick\"");
    QTest::newRow("percent") << u"/opt/100% sure/tarnwick"_s << QByteArray("Exec=\"/opt/100%% sure/tarnwick\"");
    QTest::newRow("other reserved") << u"/opt/a'b~c(d)#e;f&g|h<i>j*k?/tarnwick"_s
                                    << QByteArray("Exec=\"/opt/a'b~c(d)#e;f&g|h<i>j*k?/tarnwick\"");
    QTest::newRow("line break") << u"/opt/a\nb/tarnwick"_s << QByteArray("Exec=\"/opt/a\\nb/tarnwick\"");
}

void TestRegistry::autostartEntry()
{
    QFETCH(QString, programPath);
    QFETCH(QByteArray, execLine);
    QVERIFY(SetRegString(RunKey, u"Tarnwick"_s, programPath, Root));
    QCOMPARE(AutostartEntryPath(), home_->filePath(u"config/autostart/Tarnwick.desktop"_s));
    const QList<QByteArray> lines = ReadFile(AutostartEntryPath()).split('\n');
    QCOMPARE(lines.value(0), "[Desktop Entry]");
    QVERIFY(lines.contains("Type=Application") && lines.contains("Name=Tarnwick"));
    QVERIFY2(lines.contains(execLine), ReadFile(AutostartEntryPath()).constData());
    QCOMPARE(GetRegString(RunKey, u"Tarnwick"_s, Absent, Root), programPath);

    const QString validator = QStandardPaths::findExecutable(u"desktop-file-validate"_s);
    if (!validator.isEmpty()) {
        QProcess validate;
        validate.start(validator, {AutostartEntryPath()});
        QVERIFY(validate.waitForFinished());
        const QByteArray output = validate.readAllStandardOutput() + validate.readAllStandardError();
        QVERIFY2(validate.exitCode() == 0 && output.isEmpty(), output.constData());
    }

    QVERIFY(DeleteRegValue(RunKey, u"Tarnwick"_s, Root));
    QVERIFY(!QFile::exists(AutostartEntryPath()));
    QCOMPARE(GetRegString(RunKey, u"Tarnwick"_s, Absent, Root), Absent);
    QVERIFY(!DeleteRegValue(RunKey, u"Tarnwick"_s, Root));
}

void TestRegistry::autostartEntryWrittenByHand_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("command");
    QTest::newRow("empty command") << QByteArray("[Desktop Entry]\nType=Application\nExec=\n") << QString();
    QTest::newRow("no command") << QByteArray("[Desktop Entry]\nType=Application\n") << QString();
    QTest::newRow("hidden") << QByteArray("[Desktop Entry]\nExec=/opt/tarnwick\nHidden=true\n") << Absent;
    QTest::newRow("arguments, other groups and keys")
        << QByteArray("[Desktop Action x]\nExec=/action\n[Desktop Entry]\nExec[de]=/german\n"
                      "Exec = tarnwick  --x \"a b\"\\s%%\n")
        << u"tarnwick --x a b %"_s;
}

void TestRegistry::autostartEntryWrittenByHand()
{
    QFETCH(QByteArray, contents);
    QFETCH(QString, command);
    WriteFile(AutostartEntryPath(), contents);
    QCOMPARE(GetRegString(RunKey, u"Tarnwick"_s, Absent, Root), command);
}

QTEST_GUILESS_MAIN(TestRegistry)
#include "tst_registry.moc"
