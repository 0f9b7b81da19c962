#include "RegFunctions.h"

#include "AutostartEntry.h"
#include "SettingsStore.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString ProgramKey = u"Software\\Quillmoor\\Tarnwick"_s;
const QString RunKey = u"Software\\Microsoft\\Windows\\CurrentVersion\\Run"_s;
const QString Absent = QString(QChar(0));
constexpr std::int32_t Root = HKEY_CURRENT_USER;

bool KeyOpens(const QString &subKey)
{
    std::int32_t key = 0;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, subKey, 0, KEY_ALL_ACCESS, key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

} // namespace

class TestRegFunctions : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void readingMissingGivesTheDefault();
    void textRoundTrip_data();
    void textRoundTrip();
    void textOfAKilobyteOrMoreGivesTheDefault_data();
    void textOfAKilobyteOrMoreGivesTheDefault();
    void numbers_data();
    void numbers();
    void numberReadOfOtherData();
    void writingCreatesTheKey();
    void deleting();
    void createRegKeyKeepsValues();
    void programKeyIsMadeOneLevelAtATime();
    void failuresEndQuietly();
    void startWithTheDesktop();
    void emptyAutostartEntryCountsAsPresent();

private:
    std::unique_ptr<QTemporaryDir> home_;
};

void TestRegFunctions::init()
{
    home_ = std::make_unique<QTemporaryDir>();
    QVERIFY(home_->isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home_->filePath(u"config"_s)));
}

void TestRegFunctions::cleanup()
{
    home_.reset();
    qunsetenv("XDG_CONFIG_HOME");
}

void TestRegFunctions::readingMissingGivesTheDefault()
{
    QCOMPARE(GetRegString(ProgramKey, u"FormTopMost"_s, Absent, Root), Absent);
    QCOMPARE(GetRegLong(ProgramKey, u"FormStartX"_s, 123, Root), 123);
    QVERIFY(!KeyOpens(ProgramKey));

    QVERIFY(CreateRegKey(ProgramKey, QString(), Root));
    QCOMPARE(GetRegString(ProgramKey, u"FormTopMost"_s, u"default"_s, Root), u"default");
    QCOMPARE(GetRegLong(ProgramKey, u"FormStartX"_s, -7, Root), -7);
}

void TestRegFunctions::textRoundTrip_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("True") << u"True"_s;
    QTest::newRow("empty") << QString();
    QTest::newRow("1023 bytes") << QString(1023, u'x');
    QTest::newRow("1023 bytes of two-byte characters and one") << QString(511, u'\u00e9') + u'x';
    QTest::newRow("quotes, backslashes, line breaks") << u"\"C:\\x\"\n= y\r\n"_s;
    QTest::newRow("emoji") << u"\U0001F600"_s;
}

void TestRegFunctions::textRoundTrip()
{
    QFETCH(QString, text);
    QVERIFY(SetRegString(ProgramKey, u"Value"_s, text, Root));
    QCOMPARE(GetRegString(ProgramKey, u"Value"_s, Absent, Root), text);
}

void TestRegFunctions::textOfAKilobyteOrMoreGivesTheDefault_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("1024 bytes") << QString(1024, u'x');
    QTest::newRow("1024 bytes of two-byte characters") << QString(512, u'\u00e9');
    QTest::newRow("very long") << QString(100000, u'x');
}

void TestRegFunctions::textOfAKilobyteOrMoreGivesTheDefault()
{
    QFETCH(QString, text);
    QVERIFY(SetRegString(ProgramKey, u"Value"_s, text, Root));
    QCOMPARE(GetRegString(ProgramKey, u"Value"_s, u"default"_s, Root), u"default");
}

void TestRegFunctions::numbers_data()
{
    QTest::addColumn<std::int32_t>("number");
    QTest::newRow("zero") << 0;
    QTest::newRow("negative") << -500;
    QTest::newRow("smallest") << std::numeric_limits<std::int32_t>::min();
    QTest::newRow("largest") << std::numeric_limits<std::int32_t>::max();
}

void TestRegFunctions::numbers()
{
    QFETCH(std::int32_t, number);
    QVERIFY(SetRegLong(ProgramKey, u"FormStartX"_s, number, Root));
    QCOMPARE(GetRegLong(ProgramKey, u"FormStartX"_s, 5, Root), number);
}

void TestRegFunctions::numberReadOfOtherData()
{
    // The type is not examined: a text of up to four bytes reads as its bytes, zero-filled above.
    QVERIFY(SetRegString(ProgramKey, u"Short"_s, u"ab"_s, Root));
    QCOMPARE(GetRegLong(ProgramKey, u"Short"_s, 5, Root), 0x6261);
    QVERIFY(SetRegString(ProgramKey, u"Long"_s, u"abcd"_s, Root));
    QCOMPARE(GetRegLong(ProgramKey, u"Long"_s, 5, Root), 5);
    QVERIFY(SetRegLong(ProgramKey, u"Number"_s, 0x00636261, Root));
    QCOMPARE(GetRegString(ProgramKey, u"Number"_s, Absent, Root), u"abc");
}

void TestRegFunctions::writingCreatesTheKey()
{
    QVERIFY(SetRegString(ProgramKey, u"FormTopMost"_s, u"True"_s, Root));
    QVERIFY(KeyOpens(u"Software\\Quillmoor"_s));
    QVERIFY(KeyOpens(ProgramKey));
    QVERIFY(SetRegLong(u"Software\\Other"_s, u"FormStartX"_s, 1, Root));
    QCOMPARE(GetRegLong(u"Software\\Other"_s, u"FormStartX"_s, 5, Root), 1);
}

void TestRegFunctions::deleting()
{
    QVERIFY(!DeleteRegValue(ProgramKey, u"FormTopMost"_s, Root));
    QVERIFY(SetRegString(ProgramKey, u"FormTopMost"_s, u"True"_s, Root));
    QVERIFY(!DeleteRegValue(ProgramKey, u"Missing"_s, Root));
    QVERIFY(DeleteRegValue(ProgramKey, u"FormTopMost"_s, Root));
    QVERIFY(!DeleteRegValue(ProgramKey, u"FormTopMost"_s, Root));
    QCOMPARE(GetRegString(ProgramKey, u"FormTopMost"_s, Absent, Root), Absent);
    QVERIFY(KeyOpens(ProgramKey));
}

void TestRegFunctions::createRegKeyKeepsValues()
{
    QVERIFY(SetRegLong(ProgramKey, u"FormStartX"_s, 42, Root));
    QVERIFY(CreateRegKey(ProgramKey, QString(), Root));
    QVERIFY(CreateRegKey(u"software\\QUILLMOOR"_s, QString(), Root));
    QCOMPARE(GetRegLong(ProgramKey, u"FormStartX"_s, 5, Root), 42);
}

void TestRegFunctions::programKeyIsMadeOneLevelAtATime()
{
    // How the window settings make sure of their key before storing: each level under a handle they opened.
    std::int32_t software = 0;
    QCOMPARE(RegOpenKeyExA(HKEY_CURRENT_USER, u"Software"_s, 0, KEY_WRITE, software), ERROR_SUCCESS);
    QVERIFY(CreateRegKey(u"Quillmoor"_s, QString(), software));
    std::int32_t maker = 0;
    QCOMPARE(RegOpenKeyExA(software, u"Quillmoor"_s, 0, KEY_WRITE, maker), ERROR_SUCCESS);
    QVERIFY(CreateRegKey(u"Tarnwick"_s, QString(), maker));
    QVERIFY(SetRegString(u"Tarnwick"_s, u"FormTopMost"_s, u"True"_s, maker));
    QCOMPARE(RegCloseKey(maker), ERROR_SUCCESS);
    QCOMPARE(RegCloseKey(software), ERROR_SUCCESS);

    QCOMPARE(GetRegString(ProgramKey, u"FormTopMost"_s, Absent, Root), u"True");
    QVERIFY(!CreateRegKey(u"Tarnwick"_s, QString(), maker));
}

void TestRegFunctions::failuresEndQuietly()
{
    // A folder where the store's file should be: nothing can be written.
    QVERIFY(QDir().mkpath(SettingsStore().FilePath()));
    QVERIFY(!CreateRegKey(ProgramKey, QString(), Root));
    QVERIFY(!SetRegString(ProgramKey, u"FormTopMost"_s, u"True"_s, Root));
    QVERIFY(!SetRegLong(ProgramKey, u"FormStartX"_s, 1, Root));
    QVERIFY(!SetRegLong(RunKey, u"Other"_s, 1, Root));
    QCOMPARE(GetRegString(ProgramKey, u"FormTopMost"_s, Absent, Root), Absent);

    constexpr std::int32_t NotOpen = 0x7654;
    QVERIFY(!CreateRegKey(u"X"_s, QString(), NotOpen));
    QCOMPARE(GetRegString(u"X"_s, u"Y"_s, Absent, NotOpen), Absent);
    QCOMPARE(GetRegLong(u"X"_s, u"Y"_s, 9, NotOpen), 9);
    QVERIFY(!SetRegString(u"X"_s, u"Y"_s, u"Z"_s, NotOpen));
    QVERIFY(!DeleteRegValue(u"X"_s, u"Y"_s, NotOpen));
}

void TestRegFunctions::startWithTheDesktop()
{
    QCOMPARE(GetRegString(RunKey, u"Tarnwick"_s, Absent, Root), Absent);
    QVERIFY(!DeleteRegValue(RunKey, u"Tarnwick"_s, Root));

    const QString program = u"/home/ann/My Programs/tarnwick"_s;
    QVERIFY(SetRegString(RunKey, u"Tarnwick"_s, program, Root));
    QVERIFY(QFile::exists(AutostartEntryPath()));
    QCOMPARE(GetRegString(RunKey, u"Tarnwick"_s, Absent, Root), program);

    QVERIFY(DeleteRegValue(RunKey, u"Tarnwick"_s, Root));
    QVERIFY(!QFile::exists(AutostartEntryPath()));
    QCOMPARE(GetRegString(RunKey, u"Tarnwick"_s, Absent, Root), Absent);
}

void TestRegFunctions::emptyAutostartEntryCountsAsPresent()
{
    QVERIFY(QDir().mkpath(QFileInfo(AutostartEntryPath()).absolutePath()));
    QFile entry(AutostartEntryPath());
    QVERIFY(entry.open(QIODevice::WriteOnly));
    entry.write("[Desktop Entry]\nType=Application\nName=Tarnwick\nExec=\n");
    entry.close();
    QCOMPARE(GetRegString(RunKey, u"Tarnwick"_s, Absent, Root), QString());
    QVERIFY(SetRegString(RunKey, u"Tarnwick"_s, u"/opt/tarnwick/tarnwick"_s, Root));
    QCOMPARE(GetRegString(RunKey, u"Tarnwick"_s, Absent, Root), u"/opt/tarnwick/tarnwick");
}

QTEST_GUILESS_MAIN(TestRegFunctions)
#include "tst_regfunctions.moc"
