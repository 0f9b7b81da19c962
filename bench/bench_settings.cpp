// The settings reads the program makes at start-up (the autostart entry, FormTopMost, FormStartX, FormStartY), each
// time as a new process makes them, with the settings file the program writes, a damaged one and one of 1 MB.
#include "AutostartEntry.h"
#include "SettingsStore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace Qt::Literals::StringLiterals;

namespace {

// The largest settings file the program reads (SettingsStore.h).
constexpr qsizetype LargestFile = 16 * 1024;

const QByteArray OwnFile = "[Software]\nQuillmoor\\Tarnwick\\FormStartX=1440\nQuillmoor\\Tarnwick\\FormStartY=900\n"
                           "Quillmoor\\Tarnwick\\FormTopMost=True\n";

// The program's values after lines QSettings cannot read, up to the largest file it is given.
QByteArray Damaged(const QByteArray &line)
{
    QByteArray bytes;
    for (int i = 0;; ++i) {
        const QByteArray next = QByteArray(line).replace('#', QByteArray::number(i)) + '\n';
        if (bytes.size() + next.size() + OwnFile.size() > LargestFile) {
            return bytes + OwnFile;
        }
        bytes += next;
    }
}

void BM_StartupReads(benchmark::State &state, const QByteArray &contents)
{
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));
    const AutostartEntry entry(u"/opt/tarnwick/tarnwick"_s);
    entry.setEnabled(true);
    QDir().mkpath(QFileInfo(SettingsStore::FilePath()).absolutePath());
    QFile file(SettingsStore::FilePath());
    if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size() || !file.flush()) {
        state.SkipWithError("cannot write the settings file");
        return;
    }
    const QDateTime written = file.fileTime(QFileDevice::FileModificationTime);
    const QString programKey = u"Software\\Quillmoor\\Tarnwick"_s;
    // A file the program reads holds its values; a larger one stands for none.
    const std::optional<QString> expected = contents.size() <= LargestFile ? std::optional(u"1440"_s) : std::nullopt;
    if (SettingsStore::Read(programKey, u"FormStartX"_s) != expected) {
        state.SkipWithError("the file was not read as expected");
        return;
    }
    int run = 0;
    for (auto _ : state) {
        // QSettings keeps what it read of a file until the file's time stamp changes; a new process has nothing.
        state.PauseTiming();
        file.setFileTime(written.addSecs(++run % 2), QFileDevice::FileModificationTime);
        state.ResumeTiming();
        benchmark::DoNotOptimize(entry.enabled());
        benchmark::DoNotOptimize(SettingsStore::Read(programKey, u"FormTopMost"_s));
        benchmark::DoNotOptimize(SettingsStore::Read(programKey, u"FormStartX"_s));
        benchmark::DoNotOptimize(SettingsStore::Read(programKey, u"FormStartY"_s));
    }
    qunsetenv("XDG_CONFIG_HOME");
}

} // namespace

BENCHMARK_CAPTURE(BM_StartupReads, own_file, OwnFile)->Unit(benchmark::kMillisecond);
// Sections that QSettings cannot decode, each with an entry, are what it reads slowest.
BENCHMARK_CAPTURE(BM_StartupReads, damaged_file, Damaged("[\xc3\x28#]\n\xff=\xfe"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_StartupReads, one_megabyte_file, OwnFile + QByteArray(1024 * 1024, '\n'))
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
