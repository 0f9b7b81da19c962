#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <array>
#include <csignal>
#include <functional>
#include <memory>

// Runs the shut-down once, on the UI thread, when the desktop session ends (the session manager
// asks the program to commit its data) or SIGTERM, SIGHUP or SIGINT arrives; then quits the
// application with exit code 0. If the callback runs while a modal dialog is open, the dialog's
// event loop ends together with the application's.
//
// One per process, created on the UI thread: the signal handlers belong to the whole process. A
// signal that was ignored when the object was made (nohup) stays ignored. From the start of the
// shut-down on, all three signals are ignored so that a second one cannot cut the save short.
// The destructor puts back the handlers found at construction.
class SessionEnd : public QObject
{
    Q_OBJECT

public:
    explicit SessionEnd(std::function<void()> shutDown, QObject *parent = nullptr);
    ~SessionEnd() override;

private:
    void signalNotifier_Activated();
    void RunShutDown();

    std::function<void()> shutDown_;
    bool shutDownStarted_ = false;
    // Written by the signal handler, read by the notifier on the UI thread.
    std::array<int, 2> signalPipe_ = {-1, -1};
    std::unique_ptr<QSocketNotifier> signalNotifier_;
    std::array<struct sigaction, 3> previousActions_ = {};
};
