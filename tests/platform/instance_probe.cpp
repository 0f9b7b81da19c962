// A stand-in for the program's start, for tst_singleinstance; it reports each step as a line on stdout.
//
//   instance_probe claim <answer> <delayMs>
//     Running instance ("primary"): each request prints "begin <caption>", waits delayMs in a nested event
//     loop, creates the file "handled" in the working folder and answers <answer>, a number or "crash" (the
//     process ends first). Second start: prints "secondary", then as handover.
//   instance_probe handover
//     Prints "answer <n> after-handler" (or "before-handler" when "handled" did not exist yet) or
//     "none <elapsedMs>".

#include "SingleInstance.h"

#include <QCoreApplication>
#include <QElapsedTimer>
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
    QElapsedTimer timer;
    timer.start();
    const std::optional<int> answer = instance.HandOver(QStringLiteral("TarnwickHiddenButton"));
    const char *order = QFile::exists(QStringLiteral("handled")) ? "after-handler" : "before-handler";
    PrintLine(answer ? QStringLiteral("answer %1 %2").arg(*answer).arg(order)
                     : QStringLiteral("none %1").arg(timer.elapsed()));
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
    instance.SetClickHandler([&](const QString &caption) {
        PrintLine(QStringLiteral("begin ") + caption);
        if (arguments[2] == u"crash") {
            std::_Exit(3);
        }
        QEventLoop loop;
        QTimer::singleShot(arguments[3].toInt(), &loop, &QEventLoop::quit);
        loop.exec();
        QFile(QStringLiteral("handled")).open(QIODevice::WriteOnly);
        return arguments[2].toInt();
    });
    return app.exec();
}
