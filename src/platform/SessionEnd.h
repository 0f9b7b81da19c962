#pragma once

#include <QObject>

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
    class Signals;
    void RunShutDown();

    std::function<void()> shutDown_;
    bool shutDownStarted_ = false;
    std::unique_ptr<Signals> signals_;
};
