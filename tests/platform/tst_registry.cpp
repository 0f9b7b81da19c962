// The per-user settings as the window code reaches them: the registry helpers over the settings file, what else
// may stand at the files' paths, and the autostart entry behind the Run key's "Tarnwick" value.
#include "AutostartEntry.h"
#include "RegFunctions.h"
#include "SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

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
        QVERIFY(QDir().mkpath(home_->filePath(u"config0"_s)));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home_->filePath(u"config0"_s)));
    }

    void cleanup()
    {
        home_.reset();
        qunsetenv("XDG_CONFIG_HOME");
    }

    void otherThanRegularFiles_data()
    {
        QTest::addColumn<bool>("atSettings");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("writable");
        QTest::newRow("FIFO at the settings file") << true << u"FIFO"_s << false;
        QTest::newRow("FIFO at the autostart entry") << false << u"FIFO"_s << true;
        QTest::newRow("file over 16 KiB at the settings file") << true << u"large"_s << false;
        // A link is never followed: the file it points to is not read, and not written through.
        QTest::newRow("link at the settings file, to a file elsewhere") << true << u"link"_s << false;
        QTest::newRow("link at the autostart entry, to an entry elsewhere") << false << u"link"_s << true;
    }

    void otherThanRegularFiles()
    {
        QFETCH(bool, atSettings);
        QFETCH(QString, kind);
        QFETCH(bool, writable);
        const QString path = atSettings ? SettingsStore::FilePath() : AutostartEntryPath();
        const QString target = home_->filePath(u"dotfiles/Tarnwick.ini"_s);
        const QByteArray contents = atSettings ? "[Software]\nQuillmoor\\Tarnwick\\FormStartX=7\n"
                                               : "[Desktop Entry]\nType=Application\nExec=/opt/tarnwick\n";
        QDir().mkpath(QFileInfo(path).absolutePath());
        if (kind == u"FIFO") {
            QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else if (kind == u"large") {
            WriteFile(path, contents + QByteArray(16 * 1024, '\n'));
        } else {
            WriteFile(target, contents);
            QVERIFY(QFile::link(target, path));
        }
        // Nothing blocks on the FIFO; what is not a small regular file reads as absent and is left as it was.
        QCOMPARE(GetRegString(RunKey, u"Tarnwick"_s, Absent, Root), Absent);
        QCOMPARE(GetRegLong(ProgramKey, u"FormStartX"_s, -1, Root), -1);
        QCOMPARE(CreateRegKey(ProgramKey, QString(), Root), writable);
        QCOMPARE(SetRegLong(ProgramKey, u"FormStartY"_s, 8, Root), writable);
        const QFileInfo after(path);
        QVERIFY(after.exists());
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

private:
    std::unique_ptr<QTemporaryDir> home_;
};

QTEST_GUILESS_MAIN(TestRegistry)
#include "tst_registry.moc"
