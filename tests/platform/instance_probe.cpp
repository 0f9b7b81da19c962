// A stand-in for the program's start, for tst_singleinstance; it reports each step as a line on stdout.
//
//   instance_probe claim <delayMs>
//     Running instance ("primary"): for each hand-over request prints "clicked", waits delayMs in a nested
//     event loop, or ends at once when it is "crash", then creates the file "handled" in the working folder.
//     Second start: prints "secondary", then as handover.
//   instance_probe handover
//     Prints the outcome: "done" or "failed", followed by "after-handler" (or "before-handler" when "handled"
//     did not exist yet), or "not-running" or "no-answer".

#include "SingleInstance.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace {

void PrintLine(const QString &line)
{
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

int HandOver(SingleInstance &instance)
{
    using Result = SingleInstance::HandOverResult;
    const Result result = instance.HandOver();
    const char *order = QFile::exists(QStringLiteral("handled")) ? "after-handler" : "before-handler";
    if (result == Result::NotRunning) {
        PrintLine(QStringLiteral("not-running"));
    } else if (result == Result::NoAnswerInTime) {
        PrintLine(QStringLiteral("no-answer"));
    } else {
        PrintLine(QStringLiteral("%1 %2").arg(result == Result::Done ? "done" : "failed", order));
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    SingleInstance instance(QStringLiteral("Tarnwick"));
    if (arguments.value(1) == u"handover" || !instance.Claim()) {
        if (arguments.value(1) == u"claim") {
            PrintLine(QStringLiteral("secondary"));
        }
        return HandOver(instance);
    }
    PrintLine(QStringLiteral("primary"));
    QObject::connect(&instance, &SingleInstance::HandOverRequested, [&] {
        PrintLine(QStringLiteral("clicked"));
        if (arguments[2] == u"crash") {
            std::_Exit(3);
        }
        QEventLoop loop;
        QTimer::singleShot(arguments[2].toInt(), &loop, &QEventLoop::quit);
        loop.exec();
        QFile(QStringLiteral("handled")).open(QIODevice::WriteOnly);
    });
    return app.exec();
}
