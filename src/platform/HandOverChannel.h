#pragma once

#include <QObject>
#include <QString>

#include <memory>

class InstanceLock;

// The channel between the running instance and a second start of the same user: a Unix-domain socket `name`.socket
// in the folder the caller gives, a private folder of this user, which takes hand-over requests, one per connection.
// Anything else sent to it, and anything from another user, is refused without effect. A peer gets a bounded share:
// at most 8 connections are held at once (more are closed as they come), and one whose request is not complete
// 5 seconds after it came is closed. Everything runs on the thread that created the object (the UI thread); the
// object may be made before the application, but Listen needs its event loop.
class HandOverChannel : public QObject
{
    Q_OBJECT

public:
    // What a second start's hand-over came to.
    enum class Result
    {
        Done,       // the running instance handled the request
        NotRunning, // none found, or it ended meanwhile
        NoAnswer    // one holds the lock but gives no answer: it went 5 seconds without a sign of life, or it closed
                    // the request unanswered, as it does while a flood holds all the connections it takes
    };

    HandOverChannel(const QString &folder, const QString &name, QObject *parent = nullptr);
    // Removes the socket it listens on. Destroy it before the lock is released: a new running instance taking the
    // lock must not lose its fresh socket to this one's clean-up.
    ~HandOverChannel() override;

    // False when there is no folder, or the socket's path is too long for the system: the program then runs
    // unreachable, taking no lock, rather than not at all. Listen and HandOver only when it is true.
    bool Usable() const;

    // Running instance, once it holds the lock: serves second starts from now on. A socket left there by a killed
    // instance is replaced. When no socket can be made, second starts get no answer.
    void Listen();

    // Second start, while the lock is another's: asks the running instance to hand over and waits for its answer.
    // Never waits for ever: it gives up after 5 seconds without any message from the running instance, connecting
    // included (a running instance that holds the lock but does not listen yet is given that long). While the running
    // instance handles the request it says every second that it is alive, so a handler showing dialogs for minutes is
    // waited for.
    Result HandOver(const InstanceLock &lock);

signals:
    // Running instance: a second start asked to hand over. Emitted on this object's thread for each request as soon as
    // it is complete, once a receiver is connected (requests before that wait). The slot may run nested event loops
    // (dialogs); a request that comes meanwhile is emitted from within them, and the slot should then return at once.
    // The second start is answered when the slot has returned for its request.
    void HandOverRequested();

protected:
    void connectNotify(const QMetaMethod &signal) override;

private:
    class Private;
    std::unique_ptr<Private> d_;
};
