// A stand-in for the running program, for tst_sessionend: its shut-down appends "begin" to a file, waits
// 300 ms in a nested event loop, and appends "end".
//
//   session_probe <file> [again]
//     Prints "ready" once the signal handlers are in place. With "again", the shut-down raises SIGTERM,
//     SIGINT and SIGHUP itself right after "begin".

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

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const SessionEnd sessionEnd([&] {
        Append(arguments.value(1), "begin");
        if (arguments.value(2) == u"again") {
            std::raise(SIGTERM);
            std::raise(SIGINT);
            std::raise(SIGHUP);
        }
        QEventLoop loop;
        QTimer::singleShot(300, &loop, &QEventLoop::quit);
        loop.exec();
        Append(arguments.value(1), "end");
    });
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}
