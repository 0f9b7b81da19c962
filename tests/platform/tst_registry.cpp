// The per-user settings as the window code reaches them: the registry helpers over the settings file, what else
// may stand at the files' paths, and the autostart entry behind the Run key's "Tarnwick" value.
#include "AutostartEntry.h"
#include "RegFunctions.h"
#include "SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

#include <limits>
#include <memory>

using namespace Qt::Literals::StringLiterals;
using namespace Registry;

namespace {

const QString ProgramKey = u"Software\\Quillmoor\\Tarnwick"_s;
const QString RunKey = RunKeyPath.toString();
const QString Absent = QString(QChar(0));
constexpr std::int32_t Root = HKEY_CURRENT_USER;

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
    void init()
    {
        home_ = std::make_unique<QTemporaryDir>();
        QVERIFY(home_->isValid());
        run_ = 0;
        QVERIFY(QDir().mkpath(home_->filePath(u"config0"_s)));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home_->filePath(u"config0"_s)));
    }

    void cleanup()
    {
        home_.reset();
        qunsetenv("XDG_CONFIG_HOME");
    }

    void helpers_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<bool>("written");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("number");
        QTest::newRow("text") << u"FormTopMost"_s << QVariant(u"True"_s) << true << u"True"_s << -1;
        QTest::newRow("smallest number") << u"FormStartY"_s << QVariant(std::numeric_limits<int>::min()) << true
                                         << u"-2147483648"_s << std::numeric_limits<int>::min();
        QTest::newRow("1023 units") << u"Value"_s << QVariant(QString(1023, u'x')) << true << QString(1023, u'x') << -1;
        QTest::newRow("1024 units") << u"Value"_s << QVariant(QString(1024, u'x')) << true << u"default"_s << -1;
    }

    void helpers()
    {
        QFETCH(QString, name);
        QFETCH(QVariant, value);
        QFETCH(bool, written);
        QFETCH(QString, text);
        QFETCH(int, number);
        const auto write = [&](const QString &key, const QString &valueName) {
            return value.typeId() == QMetaType::QString ? SetRegString(key, valueName, value.toString(), Root)
                                                        : SetRegLong(key, valueName, value.toInt(), Root);
        };
        QCOMPARE(write(ProgramKey, name), written);
        QCOMPARE(write(ProgramKey, name), written);
        NextRun();
        QCOMPARE(GetRegString(ProgramKey, name, u"default"_s, Root), text);
        QCOMPARE(GetRegLong(ProgramKey, name, -1, Root), number);
        QCOMPARE(QSettings(SettingsStore::FilePath(), QSettings::IniFormat).allKeys(),
                 written ? QStringList{u"Software/Quillmoor/Tarnwick/"_s + name} : QStringList());
        QVERIFY(!SetRegLong(u"Software\\\\Quillmoor"_s, name, 1, Root));
        QCOMPARE(DeleteRegValue(ProgramKey, name, Root), written);
        QVERIFY(!DeleteRegValue(ProgramKey, name, Root));
        QCOMPARE(GetRegString(ProgramKey, name, u"default"_s, Root), u"default"_s);
    }

    void otherThanRegularFiles_data()
    {
        QTest::addColumn<bool>("atSettings");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("startX");
        QTest::addColumn<bool>("writable");
        for (const bool atSettings : {true, false}) {
            for (const QString &kind : {u"FIFO"_s, u"folder"_s}) {
                QTest::addRow("%s at the %s", qPrintable(kind), atSettings ? "settings file" : "autostart entry")
                    << atSettings << kind << -1 << !atSettings;
            }
        }
        QTest::newRow("file over 16 KiB at the settings file") << true << u"large"_s << -1 << false;
        // A link is never followed: the file it points to is not read, and not written through.
        QTest::newRow("link at the settings file, to a file elsewhere") << true << u"link"_s << -1 << false;
        QTest::newRow("link at the autostart entry, to an entry elsewhere") << false << u"link"_s << -1 << true;
    }

    void otherThanRegularFiles()
    {
        QFETCH(bool, atSettings);
        QFETCH(QString, kind);
        QFETCH(int, startX);
        QFETCH(bool, writable);
        const QString path = atSettings ? SettingsStore::FilePath() : AutostartEntryPath();
        const QString target = home_->filePath(u"dotfiles/Tarnwick.ini"_s);
        const QByteArray contents = atSettings ? "[Software]\nQuillmoor\\Tarnwick\\FormStartX=7\n"
                                               : "[Desktop Entry]\nType=Application\nExec=/opt/tarnwick\n";
        QDir().mkpath(QFileInfo(path).absolutePath());
        if (kind == u"FIFO") {
            QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else if (kind == u"folder") {
            QVERIFY(QDir().mkpath(path));
        } else if (kind == u"large") {
            WriteFile(path, contents + QByteArray(16 * 1024, '\n'));
        } else {
            WriteFile(target, contents);
            QVERIFY(QFile::link(target, path));
        }
        // Nothing blocks on the FIFO; what is not a small regular file reads as absent and is left as it was.
        QCOMPARE(GetRegString(RunKey, u"Tarnwick"_s, Absent, Root), Absent);
        QCOMPARE(GetRegLong(ProgramKey, u"FormStartX"_s, -1, Root), startX);
        QCOMPARE(CreateRegKey(ProgramKey, QString(), Root), writable);
        QCOMPARE(SetRegLong(ProgramKey, u"FormStartY"_s, 8, Root), writable);
        const QFileInfo after(path);
        QVERIFY(after.exists());
        QCOMPARE(after.isDir(), kind == u"folder");
        QCOMPARE(after.isFile(), kind == u"large" || kind == u"link");
        QCOMPARE(after.symLinkTarget(), kind == u"link" ? target : QString());
        // The file a link points to and a large file stay as they were.
        if (kind == u"link") {
            QCOMPARE(ReadFile(target), contents);
        } else if (kind == u"large") {
            QCOMPARE(after.size(), contents.size() + 16 * 1024);
        }
    }

    void autostartEntry_data()
    {
        QTest::addColumn<QString>("programPath");
        QTest::addColumn<QByteArray>("execLine");
        QTest::newRow("plain") << u"/opt/tarnwick/tarnwick"_s << QByteArray("Exec=/opt/tarnwick/tarnwick");
        QTest::newRow("spaces") << u"/home/ann/My Programs/tarnwick"_s
                                << QByteArray("Exec=\"/home/ann/My Programs/tarnwick\"");
        QTest::newRow("dollar, backtick, quote, backslash")
            << u"/opt/a$b`c\"d\\e/tarnwick"_s << QByteArray("Exec=\"/opt/a\\\\$b\\\\`c\\\\\"d\\\\\\\\e/tarnwick\"");
        QTest::newRow("percent") << u"/opt/100% sure/tarnwick"_s << QByteArray("Exec=\"/opt/100%% sure/tarnwick\"");
        QTest::newRow("line break") << u"/opt/a\nb/tarnwick"_s << QByteArray("Exec=\"/opt/a\\nb/tarnwick\"");
    }

    void autostartEntry()
    {
        QFETCH(QString, programPath);
        QFETCH(QByteArray, execLine);
        QVERIFY(SetRegString(RunKey, u"Tarnwick"_s, programPath, Root));
        QCOMPARE(AutostartEntryPath(), home_->filePath(u"config0/autostart/Tarnwick.desktop"_s));
        const QList<QByteArray> lines = ReadFile(AutostartEntryPath()).split('\n');
        QCOMPARE(lines.value(0), "[Desktop Entry]");
        QVERIFY(lines.contains("Type=Application") && lines.contains("Name=Tarnwick"));
        QVERIFY2(lines.contains(execLine), ReadFile(AutostartEntryPath()).constData());
        QCOMPARE(GetRegString(RunKey, u"Tarnwick"_s, Absent, Root), QString());
        QVERIFY(DeleteRegValue(RunKey, u"Tarnwick"_s, Root));
        QVERIFY(!QFile::exists(AutostartEntryPath()));
        QCOMPARE(GetRegString(RunKey, u"Tarnwick"_s, Absent, Root), Absent);
        QVERIFY(!DeleteRegValue(RunKey, u"Tarnwick"_s, Root));
    }

    // An entry is read back only for being there and not hidden.
    void autostartEntryWrittenByHand_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("no command") << QByteArray("[Desktop Entry]\nType=Application\n") << true;
        QTest::newRow("hidden") << QByteArray("[Desktop Entry]\nExec=/opt/tarnwick\n Hidden = true\n") << false;
        QTest::newRow("hidden in another group")
            << QByteArray("[Desktop Action x]\nHidden=true\n[Desktop Entry]\nExec=/opt/tarnwick\n") << true;
    }

    void autostartEntryWrittenByHand()
    {
        QFETCH(QByteArray, contents);
        QFETCH(bool, enabled);
        WriteFile(AutostartEntryPath(), contents);
        QCOMPARE(GetRegString(RunKey, u"Tarnwick"_s, Absent, Root), enabled ? QString() : Absent);
    }

private:
    // Another run of the program: the same files under a path this process has not read yet.
    void NextRun()
    {
        const QString next = home_->filePath(u"config"_s + QString::number(++run_));
        QVERIFY(QDir().rename(qEnvironmentVariable("XDG_CONFIG_HOME"), next));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(next));
    }

    std::unique_ptr<QTemporaryDir> home_;
    int run_ = 0;
};

QTEST_GUILESS_MAIN(TestRegistry)
#include "tst_registry.moc"
