#include "AutostartEntry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::Literals::StringLiterals;

namespace {

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

QString CommandOf(const std::optional<QString> &command)
{
    return command.value_or(u"<absent>"_s);
}

} // namespace

class TestAutostartEntry : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void entryLivesInTheAutostartFolder();
    void writtenEntryStartsTheProgram_data();
    void writtenEntryStartsTheProgram();
    void writtenEntryIsValid();
    void pathsAnEntryCannotCarryAreRefused();
    void removeDeletesTheFile();
    void handWrittenEntries_data();
    void handWrittenEntries();

private:
    std::unique_ptr<QTemporaryDir> home_;
};

void TestAutostartEntry::init()
{
    home_ = std::make_unique<QTemporaryDir>();
    QVERIFY(home_->isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home_->filePath(u"config"_s)));
}

void TestAutostartEntry::cleanup()
{
    home_.reset();
    qunsetenv("XDG_CONFIG_HOME");
}

void TestAutostartEntry::entryLivesInTheAutostartFolder()
{
    QCOMPARE(AutostartEntryPath(), home_->filePath(u"config/autostart/Tarnwick.desktop"_s));
    QVERIFY(!ReadAutostartCommand());
}

void TestAutostartEntry::writtenEntryStartsTheProgram_data()
{
    QTest::addColumn<QString>("programPath");
    QTest::addColumn<QByteArray>("execLine");
    QTest::newRow("plain path") << u"/opt/tarnwick/tarnwick"_s << QByteArray("Exec=/opt/tarnwick/tarnwick");
    QTest::newRow("spaces") << u"/home/ann/My Programs/tarnwick"_s
                            << QByteArray("Exec=\"/home/ann/My Programs/tarnwick\"");
    QTest::newRow("dollar, backtick, quote")
        << u"/opt/a$b`c\"d/tarnwick"_s << QByteArray("Exec=\"/opt/a\\\\$b\\\\`c\\\\\"d/tarnwick\"");
    QTest::newRow("backslash") << u"/opt/a\\b/tarnwick"_s << QByteArray("Exec=\"/opt/a\\\\\\\\b/tarnwick\"");
    QTest::newRow("percent") << u"/opt/100%/tarnwick"_s << QByteArray("Exec=/opt/100%%/tarnwick");
    QTest::newRow("percent in quotes") << u"/opt/100% sure/tarnwick"_s
                                       << QByteArray("Exec=\"/opt/100%% sure/tarnwick\"");
    QTest::newRow("other reserved") << u"/opt/a'b~c(d)#e;f&g|h<i>j*k?/tarnwick"_s
                                    << QByteArray("Exec=\"/opt/a'b~c(d)#e;f&g|h<i>j*k?/tarnwick\"");
    QTest::newRow("line break and tab") << u"/opt/a\nb\tc/tarnwick"_s << QByteArray("Exec=\"/opt/a\\nb\\tc/tarnwick\"");
    QTest::newRow("not ASCII") << u"/home/j\u00f6rg/\U0001F600/tarnwick"_s
                               << u"Exec=/home/j\u00f6rg/\U0001F600/tarnwick"_s.toUtf8();
    QTest::newRow("equals sign") << u"/opt/a=b/tarnwick"_s << QByteArray("Exec=/opt/a=b/tarnwick");
}

void TestAutostartEntry::writtenEntryStartsTheProgram()
{
    QFETCH(QString, programPath);
    QFETCH(QByteArray, execLine);
    QVERIFY(WriteAutostartEntry(programPath));
    const QList<QByteArray> lines = ReadFile(AutostartEntryPath()).split('\n');
    QCOMPARE(lines.value(0), "[Desktop Entry]");
    QVERIFY(lines.contains("Type=Application"));
    QVERIFY(lines.contains("Name=Tarnwick"));
    QVERIFY2(lines.contains(execLine), ReadFile(AutostartEntryPath()).constData());
    QCOMPARE(CommandOf(ReadAutostartCommand()), programPath);
}

void TestAutostartEntry::writtenEntryIsValid()
{
    const QString validator = QStandardPaths::findExecutable(u"desktop-file-validate"_s);
    if (validator.isEmpty()) {
        QSKIP("desktop-file-validate is not installed");
    }
    for (const QString &path : {u"/opt/tarnwick/tarnwick"_s, u"/home/ann/My Programs/tarnwick"_s,
                                u"/opt/a$b`c\"d\\e%f g/tarnwick"_s, u"/opt/a\nb/tarnwick"_s}) {
        QVERIFY(WriteAutostartEntry(path));
        QProcess validate;
        validate.start(validator, {AutostartEntryPath()});
        QVERIFY(validate.waitForFinished());
        const QByteArray output = validate.readAllStandardOutput() + validate.readAllStandardError();
        QVERIFY2(validate.exitCode() == 0 && output.isEmpty(), qPrintable(path + u": "_s + QString::fromUtf8(output)));
    }
}

void TestAutostartEntry::pathsAnEntryCannotCarryAreRefused()
{
    QVERIFY(WriteAutostartEntry(u"/opt/tarnwick/tarnwick"_s));
    const QByteArray before = ReadFile(AutostartEntryPath());
    for (const QString &path : {u"/opt/a\0b/tarnwick"_s, u"/opt/a\x01/tarnwick"_s, u"/opt/\x7f/tarnwick"_s,
                                u"/opt/"_s + QChar(0xD800) + u"/tarnwick"_s}) {
        QVERIFY(!WriteAutostartEntry(path));
    }
    QCOMPARE(ReadFile(AutostartEntryPath()), before);
}

void TestAutostartEntry::removeDeletesTheFile()
{
    QVERIFY(!RemoveAutostartEntry());
    QVERIFY(WriteAutostartEntry(u"/opt/tarnwick/tarnwick"_s));
    QVERIFY(RemoveAutostartEntry());
    QVERIFY(!QFile::exists(AutostartEntryPath()));
    QVERIFY(!ReadAutostartCommand());
    QVERIFY(!RemoveAutostartEntry());
}

void TestAutostartEntry::handWrittenEntries_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("command");
    QTest::newRow("empty command") << QByteArray("[Desktop Entry]\nType=Application\nExec=\n") << QString();
    QTest::newRow("no command") << QByteArray("[Desktop Entry]\nType=Application\n") << QString();
    QTest::newRow("empty file") << QByteArray() << QString();
    QTest::newRow("spaces round the equals sign")
        << QByteArray("[Desktop Entry]\nExec = /opt/tarnwick \r\n") << u"/opt/tarnwick"_s;
    QTest::newRow("arguments") << QByteArray("[Desktop Entry]\nExec=tarnwick  --x \"a b\"\\s%%\n")
                               << u"tarnwick --x a b %"_s;
    QTest::newRow("other groups and keys")
        << QByteArray("# Exec=/comment\n[Desktop Action x]\nExec=/action\n[Desktop Entry]\nExec[de]=/german\n"
                      "TryExec=/try\nExec=/main\n")
        << u"/main"_s;
    QTest::newRow("hidden") << QByteArray("[Desktop Entry]\nExec=/opt/tarnwick\nHidden=true\n") << u"<absent>"_s;
    QTest::newRow("not hidden") << QByteArray("[Desktop Entry]\nExec=/opt/tarnwick\nHidden=false\n")
                                << u"/opt/tarnwick"_s;
}

void TestAutostartEntry::handWrittenEntries()
{
    QFETCH(QByteArray, contents);
    QFETCH(QString, command);
    WriteFile(AutostartEntryPath(), contents);
    QCOMPARE(CommandOf(ReadAutostartCommand()), command);
}

QTEST_GUILESS_MAIN(TestAutostartEntry)
#include "tst_autostartentry.moc"
