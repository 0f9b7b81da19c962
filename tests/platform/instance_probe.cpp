// A stand-in for the program's start, for tst_singleinstance: claims the channel "Tarnwick" or
// hands over to the running instance, and reports each step as a line on stdout.
//
//   instance_probe claim <answer> <delayMs> <markerFile>
//     Running instance: each request prints "begin <caption>", waits delayMs in a nested event
//     loop, appends a line to markerFile, prints "end" and answers. <answer> is a number,
//     "nobutton", "crash" (the process ends before answering) or "quit" (answers 0, then the
//     process ends normally).
//     Second start: prints "secondary", then as handover.
//   instance_probe handover <markerFile>
//     Prints "answer <n> after-handler" (or "before-handler" when markerFile was not written yet)
//     or "none <elapsedMs>".

#include "SingleInstance.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace {

const QString ButtonCaption = QStringLiteral("TarnwickHiddenButton");

void PrintLine(const QString &line)
{
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

void Wait(int delayMs)
{
    QEventLoop loop;
    QTimer::singleShot(delayMs, &loop, &QEventLoop::quit);
    loop.exec();
}

int HandOver(SingleInstance &instance, const QString &markerFile)
{
    QElapsedTimer timer;
    timer.start();
    const std::optional<int> answer = instance.HandOver(ButtonCaption);
    if (!answer) {
        PrintLine(QStringLiteral("none %1").arg(timer.elapsed()));
        return 0;
    }
    const QString order =
        QFile::exists(markerFile) ? QStringLiteral("after-handler") : QStringLiteral("before-handler");
    PrintLine(QStringLiteral("answer %1 %2").arg(*answer).arg(order));
    return 0;
}

int Click(const QString &caption, const QString &answer, int delayMs, const QString &markerFile)
{
    PrintLine(QStringLiteral("begin ") + caption);
    if (answer == u"crash") {
        std::_Exit(3);
    }
    Wait(delayMs);
    QFile marker(markerFile);
    if (marker.open(QIODevice::Append)) {
        marker.write("handled\n");
    }
    PrintLine(QStringLiteral("end"));
    if (answer == u"quit") {
        QCoreApplication::quit();
    }
    return answer == u"nobutton" ? SingleInstance::NoButton : answer.toInt();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    SingleInstance instance(QStringLiteral("Tarnwick"));
    if (arguments.size() == 3 && arguments[1] == u"handover") {
        return HandOver(instance, arguments[2]);
    }
    if (arguments.size() != 5 || arguments[1] != u"claim") {
        std::fprintf(stderr, "usage: instance_probe claim <answer> <delayMs> <markerFile> | handover <markerFile>\n");
        return 2;
    }
    if (!instance.Claim()) {
        PrintLine(QStringLiteral("secondary"));
        return HandOver(instance, arguments[4]);
    }
    PrintLine(QStringLiteral("primary"));
    const QString answer = arguments[2];
    const int delayMs = arguments[3].toInt();
    const QString markerFile = arguments[4];
    instance.SetClickHandler([&](const QString &caption) { return Click(caption, answer, delayMs, markerFile); });
    return app.exec();
}
