// A stand-in for the program's start and end, for tst_lifetime; it reports each step as a line on stdout.
//
//   platform_probe claim
//     Running instance ("primary"): for each hand-over request prints "clicked", then creates the file
//     "handled" in the working folder. A second start hands over as below.
//   platform_probe handover
//     Prints "failed", or "done" followed by "after-handler" (or "before-handler" when the running instance had
//     not handled the click yet).
//   platform_probe session [again]
//     Prints "ready" once the signal handlers are in place. Its shut-down appends "begin" to the file
//     "shutdown", waits 300 ms in a nested event loop, and appends "end"; with "again" it raises SIGTERM,
//     SIGINT and SIGHUP itself right after "begin".

#include "SessionEnd.h"
#include "SingleInstance.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <csignal>
#include <cstdio>

namespace {

void PrintLine(const char *line)
{
    std::printf("%s\n", line);
    std::fflush(stdout);
}

void Wait(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void Append(const QByteArray &line)
{
    QFile file(QStringLiteral("shutdown"));
    if (file.open(QIODevice::Append))
        file.write(line + '\n');
}

int HandOver(SingleInstance &instance)
{
    const bool done = instance.HandOver() == SingleInstance::HandOverResult::Done;
    const bool handled = QFile::exists(QStringLiteral("handled"));
    PrintLine(!done ? "failed" : handled ? "done after-handler" : "done before-handler");
    return 0;
}

int Session(const QString &option)
{
    const SessionEnd sessionEnd([&] {
        Append("begin");
        if (option == u"again") {
            std::raise(SIGTERM);
            std::raise(SIGINT);
            std::raise(SIGHUP);
        }
        Wait(300);
        Append("end");
    });
    PrintLine("ready");
    return QCoreApplication::exec();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.value(1) == u"session")
        return Session(arguments.value(2));
    SingleInstance instance(QStringLiteral("Tarnwick"));
    if (arguments.value(1) == u"handover" || !instance.Claim())
        return HandOver(instance);
    PrintLine("primary");
    QObject::connect(&instance, &SingleInstance::HandOverRequested, [] {
        PrintLine("clicked");
        QFile(QStringLiteral("handled")).open(QIODevice::WriteOnly);
    });
    return app.exec();
}
