// The settings kept between runs: the settings file's bytes, what may stand at the files' paths, the autostart entry.
#include "AutostartEntry.h"
#include "SettingsStore.h"
#include "WindowSettings.h"

#include <QDir>
#include <QFile>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <sys/stat.h>

#include <optional>

using namespace Qt::Literals::StringLiterals;

namespace {

// The settings file as the program writes it, with these values under its key.
QByteArray SettingsFile(const QList<QByteArray> &values)
{
    QByteArray file = "[Software]\n";
    for (const QByteArray &value : values)
        file += "Quillmoor\\Tarnwick\\" + value + '\n';
    return file;
}

// The autostart entry as the program writes it, with this Exec value.
QByteArray Entry(const QByteArray &exec)
{
    return "[Desktop Entry]\nType=Application\nName=Tarnwick\nIcon=tarnwick\nExec=" + exec + '\n';
}

QByteArray ReadFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Puts at the path a file of these bytes, a FIFO, or a link to such a file elsewhere; nothing for "none".
void Put(const QString &kind, const QString &path, const QByteArray &bytes)
{
    QFile file(kind == u"link" ? path + u".elsewhere"_s : path);
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (kind == u"FIFO")
        QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    else if (kind != u"none")
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    if (kind == u"link")
        QVERIFY(QFile::link(file.fileName(), path));
}

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        home_.emplace();
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home_->path()));
    }

    // Nothing blocks on a FIFO; what is not a small regular file reads as no values and stays as it was, and so does
    // an autostart entry marked Hidden, which stands for none. A link is not followed, nor written through.
    void settingsFiles_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QPoint>("place");
        QTest::addColumn<QByteArray>("after");
        const QByteArray centred = SettingsFile({"FormStartX=1200", "FormStartY=2400"});
        const QByteArray kept = SettingsFile({"FormStartX=4501", "FormStartY=-7"});
        const QByteArray large = kept + QByteArray(16 * 1024, '\n');
        QTest::newRow("nothing stored: centred") << u"none"_s << QByteArray() << QPoint(80, 160) << centred;
        QTest::newRow("place kept to the twip, floating in any case")
            << u"file"_s << kept + "Quillmoor\\Tarnwick\\FormTopMost=tRUE\n"
            << QPoint(300, 0) << kept + "Quillmoor\\Tarnwick\\FormTopMost=True\n";
        QTest::newRow("off the screen: centred, not floating")
            << u"file"_s << SettingsFile({"FormStartX=1000000", "FormStartY=15", "FormTopMost=yes"}) << QPoint(80, 160)
            << centred;
        QTest::newRow("file over 16 KiB") << u"file"_s << large << QPoint(80, 160) << large;
        QTest::newRow("FIFO") << u"FIFO"_s << QByteArray() << QPoint(80, 160) << QByteArray();
        QTest::newRow("link to a file elsewhere") << u"link"_s << kept << QPoint(80, 160) << kept;
    }

    // At the offscreen screen's 96 dots per inch, 15 twips a pixel; the window 160 by 320 pixels smaller than it.
    void settingsFiles()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, before);
        QFETCH(QPoint, place);
        QFETCH(QByteArray, after);
        Put(kind, SettingsStore::FilePath(), before);
        Put(kind, AutostartEntry::path(), Entry("tarnwick") + (kind == u"file" ? "Hidden=true\n" : ""));
        QWidget window;
        window.resize(window.screen()->size() - QSize(160, 320));
        WindowSettings settings(window);
        settings.Restore();
        QCOMPARE(window.pos(), place);
        QCOMPARE(settings.Floating() == Qt::Checked, after.contains("FormTopMost=True"));
        QCOMPARE(settings.Launch(), Qt::Unchecked);
        settings.Store(Reporting::Unattended);
        QCOMPARE(QFileInfo(SettingsStore::FilePath()).isSymLink(), kind == u"link");
        QCOMPARE(QFileInfo(SettingsStore::FilePath()).isFile(), kind != u"FIFO");
        QCOMPARE(QFileInfo::exists(AutostartEntry::path()), kind != u"none");
        if (kind != u"FIFO")
            QCOMPARE(ReadFile(SettingsStore::FilePath()), after);
    }

    // The path is one argument, quoted where it needs to be; an entry cannot carry what the last rows hold.
    void autostartEntry_data()
    {
        QTest::addColumn<QString>("programPath");
        QTest::addColumn<QByteArray>("exec");
        QTest::newRow("$ ` \" \\ escaped") << u"/a$b`c\"d\\e"_s << QByteArray("\"/a\\\\$b\\\\`c\\\\\"d\\\\\\\\e\"");
        QTest::newRow("percent, space") << u"/opt/100% sure/tarnwick"_s << QByteArray("\"/opt/100%% sure/tarnwick\"");
        QTest::newRow("line break") << u"/opt/a\nb/tarnwick"_s << QByteArray("\"/opt/a\\nb/tarnwick\"");
        QTest::newRow("control character") << u"/opt/a\x1b/tarnwick"_s << QByteArray();
        QTest::newRow("unpaired surrogate") << u"/opt/a"_s + QChar(0xD800) << QByteArray();
    }

    void autostartEntry()
    {
        QFETCH(QString, programPath);
        QFETCH(QByteArray, exec);
        const AutostartEntry entry(programPath);
        QCOMPARE(entry.setEnabled(true) && entry.enabled(), !exec.isEmpty());
        QCOMPARE(ReadFile(home_->filePath(u"autostart/Tarnwick.desktop"_s)), exec.isEmpty() ? exec : Entry(exec));
        QVERIFY(entry.setEnabled(false) && !QFile::exists(AutostartEntry::path()));
    }

private:
    std::optional<QTemporaryDir> home_;
};

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
