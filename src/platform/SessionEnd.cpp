#include "SessionEnd.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>

#include <array>
#include <csignal>

#include <cerrno>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr std::array<int, 3> ShutDownSignals = {SIGTERM, SIGHUP, SIGINT};

// The write end of the signal pipe, for the handler; -1 while no SessionEnd exists.
volatile std::sig_atomic_t signalWriteEnd = -1;

// Only async-signal-safe work here: pass the signal number to the event loop and return.
void PassSignalToEventLoop(int signalNumber)
{
    const int savedErrno = errno;
    const char byte = static_cast<char>(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(signalWriteEnd, &byte, 1);
    errno = savedErrno;
}

void IgnoreShutDownSignals()
{
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    for (const int signalNumber : ShutDownSignals) {
        ::sigaction(signalNumber, &ignore, nullptr);
    }
}

} // namespace

// The three signals passed to the event loop through a socket pair, while the object lives.
class SessionEnd::Signals
{
public:
    explicit Signals(SessionEnd &owner)
    {
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, pipe_.data()) != 0) {
            return;
        }
        signalWriteEnd = pipe_[0];
        notifier_ = std::make_unique<QSocketNotifier>(pipe_[1], QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, &owner, [this, &owner] {
            char bytes[16];
            while (::read(pipe_[1], bytes, sizeof bytes) > 0) {
            }
            owner.RunShutDown();
        });
        struct sigaction pass = {};
        pass.sa_handler = PassSignalToEventLoop;
        sigemptyset(&pass.sa_mask);
        pass.sa_flags = SA_RESTART;
        for (std::size_t i = 0; i < ShutDownSignals.size(); ++i) {
            ::sigaction(ShutDownSignals[i], nullptr, &previous_[i]);
            if (previous_[i].sa_handler != SIG_IGN) {
                ::sigaction(ShutDownSignals[i], &pass, nullptr);
            }
        }
    }

    ~Signals()
    {
        if (!notifier_) {
            return;
        }
        for (std::size_t i = 0; i < ShutDownSignals.size(); ++i) {
            ::sigaction(ShutDownSignals[i], &previous_[i], nullptr);
        }
        signalWriteEnd = -1;
        notifier_.reset();
        ::close(pipe_[0]);
        ::close(pipe_[1]);
    }

private:
    // Written by the signal handler, read by the notifier on the UI thread.
    std::array<int, 2> pipe_ = {-1, -1};
    std::unique_ptr<QSocketNotifier> notifier_;
    std::array<struct sigaction, 3> previous_ = {};
};

SessionEnd::SessionEnd(std::function<void()> shutDown, QObject *parent)
    : QObject(parent), shutDown_(std::move(shutDown))
{
    if (auto *application = qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        connect(application, &QGuiApplication::commitDataRequest, this, &SessionEnd::RunShutDown);
    }
    signals_ = std::make_unique<Signals>(*this);
}

SessionEnd::~SessionEnd() = default;

void SessionEnd::RunShutDown()
{
    if (shutDownStarted_) {
        return;
    }
    shutDownStarted_ = true;
    IgnoreShutDownSignals();
    shutDown_();
    // Queued, so that whichever event loop runs next ends: a dialog's and the application's, or the
    // application's when it has not started yet.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
}
