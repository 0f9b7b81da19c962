// Tarnwick: keeps each user's account records in one protected database beside the program and
// lives in the notification area.

#include "AccountDatabase.h"
#include "DesktopStyle.h"
#include "Display.h"
#include "FailureReport.h"
#include "HandOverChannel.h"
#include "InstanceFolder.h"
#include "InstanceLock.h"
#include "ProcessPrivacy.h"
#include "Program.h"
#include "ProgramFolder.h"
#include "SessionEnd.h"

#include <QApplication>
#include <QIcon>
#include <QThread>

#include <cstdio>
#include <future>
#include <unistd.h>

namespace {

constexpr int NoDisplay = 1;
constexpr int NoAnswer = 2;
constexpr int NotOnce = 3;

int ReportNotOnce(int argc, char **argv, const QString &problem)
{
    QApplication app(argc, argv);
    ReportFailure(QStringLiteral("Tarnwick cannot make sure that only one copy of it runs: ") + problem +
                  QStringLiteral(". Remove it, or start Tarnwick in a desktop session that gives it a private runtime "
                                 "folder ($XDG_RUNTIME_DIR)."));
    return NotOnce;
}

// Second start: the exit status once the running instance was asked to come forward.
int HandOver(HandOverChannel &channel, const InstanceLock &lock)
{
    if (channel.HandOver(lock) != HandOverChannel::Result::NoAnswer)
        return 0;
    ReportFailure(QStringLiteral("The running Tarnwick does not answer."));
    return NoAnswer;
}

} // namespace

int main(int argc, char **argv)
{
    KeepMemoryPrivate();
    if (!ChooseDisplay()) {
        std::fprintf(stderr, "tarnwick: no display to show the program on; start it from a desktop session.\n");
        return NoDisplay;
    }
    // Before the database is opened: a start that cannot make sure it runs once goes no further.
    const InstanceFolder folder = ChooseInstanceFolder(QStringLiteral("Tarnwick"));
    if (!folder.problem.isEmpty())
        return ReportNotOnce(argc, argv, folder.problem);
    // Deriving the database key is most of the start-up: it runs while Qt starts and the window is built.
    std::future<std::shared_ptr<Database>> opening =
        std::async(std::launch::async, [] { return OpenAccountDatabase(DataFolder() / AccountDatabaseFileName); });
    // The icon lives in the widget library, which is static: its resources must be pulled in by name.
    Q_INIT_RESOURCE(tarnwick);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarnwick"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/tarnwick.png")));
    QApplication::setQuitOnLastWindowClosed(false);

    // Made in this order so that the channel removes its socket before the lock is released.
    InstanceLock lock(folder.path, folder.name);
    HandOverChannel channel(folder.path, folder.name);
    // Where no channel can be made, the program runs unreachable rather than not at all.
    if (channel.Usable()) {
        const InstanceLock::Holder holder = lock.Claim();
        if (holder == InstanceLock::Holder::AnotherProcess)
            return HandOver(channel, lock);
        if (holder == InstanceLock::Holder::ThisProcess)
            channel.Listen();
    }

    Program program;
    if (!program.Load([&opening] { return opening.get(); }, [] { return AccessAdvice(AccountDatabaseFileName); }))
        return program.ExitStatus();
    QObject::connect(&channel, &HandOverChannel::HandOverRequested, &program, &Program::ExternalActivate);
    program.WatchTrayHost();
    // Asked once the icon is there: the windows that follow it are made later.
    const DesktopStyle style;
    const SessionEnd sessionEnd([&program] {
        program.UnloadUnattended();
        // Inside a dialog the code that opened it would go on with the database already closed:
        // everything is stored, so end here.
        if (QThread::currentThread()->loopLevel() > 1)
            ::_exit(program.ExitStatus());
    });
    return app.exec();
}
