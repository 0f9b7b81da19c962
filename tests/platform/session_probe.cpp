// A stand-in for the running program, for tst_sessionend: its shut-down appends "begin" to a file,
// waits in a nested event loop, and appends "end".
//
//   session_probe <file> <delayMs> [again]
//     Prints "ready" once the signal handlers are in place. With "again", the shut-down raises
//     SIGTERM, SIGINT and SIGHUP itself right after "begin".

#include "SessionEnd.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <csignal>
#include <cstdio>

namespace {

void Append(const QString &fileName, const QByteArray &line)
{
    QFile file(fileName);
    if (file.open(QIODevice::Append)) {
        file.write(line + '\n');
    }
}

void ShutDown(const QString &fileName, int delayMs, bool again)
{
    Append(fileName, "begin");
    if (again) {
        std::raise(SIGTERM);
        std::raise(SIGINT);
        std::raise(SIGHUP);
    }
    QEventLoop loop;
    QTimer::singleShot(delayMs, &loop, &QEventLoop::quit);
    loop.exec();
    Append(fileName, "end");
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() < 3) {
        std::fprintf(stderr, "usage: session_probe <file> <delayMs> [again]\n");
        return 2;
    }
    const QString fileName = arguments[1];
    const int delayMs = arguments[2].toInt();
    const bool again = arguments.size() > 3 && arguments[3] == u"again";
    const SessionEnd sessionEnd([&] { ShutDown(fileName, delayMs, again); });
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}
