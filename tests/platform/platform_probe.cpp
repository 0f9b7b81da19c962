// A stand-in for the program's start, for tst_lifetime; it reports each step as a line on stdout.
//
//   platform_probe claim
//     Running instance ("primary"): for each hand-over request prints "clicked", then creates the file
//     "handled" in the working folder. A second start hands over as below.
//   platform_probe handover
//     Prints "failed", or "done" followed by "after-handler" (or "before-handler" when the running instance had
//     not handled the click yet).

#include "SingleInstance.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>

namespace {

void PrintLine(const char *line)
{
    std::printf("%s\n", line);
    std::fflush(stdout);
}

int HandOver(SingleInstance &instance)
{
    const bool done = instance.HandOver() == SingleInstance::HandOverResult::Done;
    const bool handled = QFile::exists(QStringLiteral("handled"));
    PrintLine(!done ? "failed" : handled ? "done after-handler" : "done before-handler");
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
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
