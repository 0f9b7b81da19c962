#include "SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString ProgramKey = u"Software\\Quillmoor\\Tarnwick"_s;

QString TextOf(const std::optional<SettingsStore::Value> &value)
{
    return value && std::holds_alternative<QString>(*value) ? std::get<QString>(*value) : u"<no text>"_s;
}

// The number held, or -1 when the value is absent or a text.
qint64 NumberOf(const std::optional<SettingsStore::Value> &value)
{
    return value && std::holds_alternative<std::uint32_t>(*value) ? std::get<std::uint32_t>(*value) : -1;
}

void WriteFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

class TestSettingsStore : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void fileFollowsXdgConfigHome();
    void emptyStoreHoldsOnlyTheRoot();
    void keysAndValuesIgnoreCase();
    void createKeyMakesTheKeysAboveIt();
    void textRoundTrip_data();
    void textRoundTrip();
    void writeReplacesTheFileWhole();
    void damagedFileReadsAsEmptyAndIsReplaced_data();
    void damagedFileReadsAsEmptyAndIsReplaced();
    void damagedLinesLoseOnlyThemselves();

private:
    std::unique_ptr<QTemporaryDir> home_;
};

void TestSettingsStore::init()
{
    home_ = std::make_unique<QTemporaryDir>();
    QVERIFY(home_->isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home_->filePath(u"config"_s)));
}

void TestSettingsStore::cleanup()
{
    home_.reset();
    qunsetenv("XDG_CONFIG_HOME");
}

void TestSettingsStore::fileFollowsXdgConfigHome()
{
    QCOMPARE(SettingsStore().FilePath(), home_->filePath(u"config/Tarnwick/settings.reg"_s));

    const QByteArray home = qgetenv("HOME");
    qputenv("HOME", QFile::encodeName(home_->path()));
    const QString fallback = home_->filePath(u".config/Tarnwick/settings.reg"_s);
    qputenv("XDG_CONFIG_HOME", "");
    QCOMPARE(SettingsStore().FilePath(), fallback);
    qputenv("XDG_CONFIG_HOME", "relative/config");
    QCOMPARE(SettingsStore().FilePath(), fallback);
    qputenv("HOME", home);
}

void TestSettingsStore::emptyStoreHoldsOnlyTheRoot()
{
    SettingsStore store;
    QVERIFY(store.KeyExists(QString()));
    QVERIFY(!store.KeyExists(u"Software"_s));
    QVERIFY(!store.ReadValue(ProgramKey, u"FormStartX"_s));
    QVERIFY(!store.DeleteValue(ProgramKey, u"FormStartX"_s));
    QVERIFY(!QFile::exists(store.FilePath()));
}

void TestSettingsStore::keysAndValuesIgnoreCase()
{
    SettingsStore store;
    QVERIFY(store.WriteValue(ProgramKey, u"FormTopMost"_s, u"True"_s));
    QCOMPARE(TextOf(store.ReadValue(u"SOFTWARE\\quillmoor\\TarnWick"_s, u"formtopmost"_s)), u"True");
    QVERIFY(store.WriteValue(u"software\\QUILLMOOR\\tarnwick"_s, u"FORMTOPMOST"_s, 7u));
    QCOMPARE(NumberOf(store.ReadValue(ProgramKey, u"FormTopMost"_s)), qint64(7));
    QVERIFY(store.WriteValue(ProgramKey, u"FormStartX"_s, 0xFFFFFFFFu));
    QVERIFY(store.DeleteValue(ProgramKey, u"formTOPmost"_s));
    QVERIFY(!store.DeleteValue(ProgramKey, u"FormTopMost"_s));
    QVERIFY(!store.ReadValue(ProgramKey, u"FormTopMost"_s));
    QCOMPARE(NumberOf(store.ReadValue(ProgramKey, u"FormStartX"_s)), qint64(0xFFFFFFFF));
    QVERIFY(store.DeleteValue(ProgramKey, u"FormStartX"_s));
    QVERIFY(store.KeyExists(ProgramKey));
}

void TestSettingsStore::createKeyMakesTheKeysAboveIt()
{
    SettingsStore store;
    QVERIFY(store.CreateKey(ProgramKey));
    QVERIFY(store.KeyExists(u"Software"_s));
    QVERIFY(store.KeyExists(u"software\\quillmoor"_s));
    QVERIFY(store.KeyExists(ProgramKey));
    QVERIFY(!store.KeyExists(u"Software\\Quill"_s));
    QVERIFY(!store.KeyExists(ProgramKey + u"\\Below"_s));

    QVERIFY(store.WriteValue(ProgramKey, u"FormStartX"_s, 100u));
    QVERIFY(store.CreateKey(ProgramKey));
    QCOMPARE(NumberOf(store.ReadValue(ProgramKey, u"FormStartX"_s)), qint64(100));
}

void TestSettingsStore::textRoundTrip_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << QString();
    QTest::newRow("NUL alone") << QString(QChar(0));
    QTest::newRow("NUL inside") << u"a\0b"_s;
    QTest::newRow("line breaks and tab") << u"one\ntwo\r\nthree\tfour\n"_s;
    QTest::newRow("quotes, backslashes, equals") << u"\"key\" = \\\\server\\share\\ \\u0041 [x]"_s;
    QTest::newRow("looks like a store line") << u"\ntext \"FormTopMost\" \"True\"\nkey \"\""_s;
    QTest::newRow("controls and DEL") << u"\x01\x1f\x7f\u0085"_s;
    QTest::newRow("emoji") << u"smile \U0001F600 ok"_s;
    QTest::newRow("lone high surrogate") << QString(QChar(0xD83D)) + u"x"_s;
    QTest::newRow("lone low surrogate at end") << u"x"_s + QChar(0xDE00);
    QTest::newRow("surrogates reversed") << QString(QChar(0xDE00)) + QChar(0xD83D);
    QTest::newRow("non-characters and BOM") << u"\uFEFF\uFFFE\uFFFF\uFDD0"_s;
    QTest::newRow("very long") << QString(200000, u'\u00e9');
}

void TestSettingsStore::textRoundTrip()
{
    QFETCH(QString, text);
    // The same text as key name (a key name cannot hold the separator), value name and value.
    const QString keyName = QString(text).replace(u'\\', u'/');
    const QString keyPath = keyName.isEmpty() ? u"Software"_s : u"Software\\"_s + keyName;
    QVERIFY(SettingsStore().WriteValue(keyPath, text, text));
    QVERIFY(SettingsStore().WriteValue(keyPath, u"after"_s, u"still here"_s));

    SettingsStore store;
    QVERIFY(store.KeyExists(keyPath));
    QCOMPARE(TextOf(store.ReadValue(keyPath, text)), text);
    QCOMPARE(TextOf(store.ReadValue(keyPath, u"after"_s)), u"still here");
}

void TestSettingsStore::writeReplacesTheFileWhole()
{
    SettingsStore store;
    QVERIFY(store.WriteValue(ProgramKey, u"FormStartX"_s, 1u));
    // A reader that opened the file before a write still reads the whole old file: the write puts a complete
    // new file in its place instead of rewriting the old one, so a crash cannot leave half a file.
    QFile copy(store.FilePath());
    QVERIFY(copy.open(QIODevice::ReadOnly));
    const QByteArray oldBytes = copy.readAll();
    QFile before(store.FilePath());
    QVERIFY(before.open(QIODevice::ReadOnly));
    QVERIFY(store.WriteValue(ProgramKey, u"FormStartY"_s, QString(5000, u'y')));
    QCOMPARE(before.readAll(), oldBytes);

    QCOMPARE(QDir(QFileInfo(store.FilePath()).absolutePath()).entryList(QDir::Files), QStringList{u"settings.reg"_s});
}

void TestSettingsStore::damagedFileReadsAsEmptyAndIsReplaced_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("binary rubbish") << QByteArray("\x00\xff\xfe garbage\n\x01\x02", 15);
    QTest::newRow("another header") << QByteArray("Tarnwick settings 2\nkey \"Software\"\n");
    QTest::newRow("cut in the header") << QByteArray("Tarnwick sett");
}

void TestSettingsStore::damagedFileReadsAsEmptyAndIsReplaced()
{
    QFETCH(QByteArray, bytes);
    SettingsStore store;
    WriteFile(store.FilePath(), bytes);
    QVERIFY(!store.KeyExists(u"Software"_s));
    QVERIFY(!store.ReadValue(ProgramKey, u"FormStartX"_s));

    QVERIFY(store.WriteValue(ProgramKey, u"FormStartX"_s, 3u));
    QCOMPARE(NumberOf(store.ReadValue(ProgramKey, u"FormStartX"_s)), qint64(3));
}

void TestSettingsStore::damagedLinesLoseOnlyThemselves()
{
    SettingsStore store;
    WriteFile(store.FilePath(), "Tarnwick settings 1\n"
                                "key \"A\"\n"
                                "text \"Good\" \"kept\"\n"
                                "text \"Cut\" \"no closing quote\n"
                                "number \"Short\" 123\n"
                                "text \"Bad escape\" \"\\q\"\n"
                                "text \"Bad UTF-8\" \"\xc3\x28\"\n"
                                "number \"AfterBad\" 00000001\n"
                                "key \"B\"\n"
                                "number \"Fine\" 0000002a\n"
                                "kee \"C\"\n"
                                "text \"LostKey\" \"x\"\n"
                                "key \"D\n");
    QCOMPARE(TextOf(store.ReadValue(u"A"_s, u"Good"_s)), u"kept");
    for (const QString &name : {u"Cut"_s, u"Short"_s, u"Bad escape"_s, u"Bad UTF-8"_s, u"AfterBad"_s, u"LostKey"_s}) {
        QVERIFY2(!store.ReadValue(u"A"_s, name) && !store.ReadValue(u"B"_s, name), qPrintable(name));
    }
    QCOMPARE(NumberOf(store.ReadValue(u"B"_s, u"Fine"_s)), qint64(42));
    QVERIFY(!store.KeyExists(u"C"_s));
    QVERIFY(!store.KeyExists(u"D"_s));
}

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
