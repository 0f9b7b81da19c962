#pragma once

#include <QObject>
#include <QString>

#include <memory>

// The per-user, per-display channel between a running instance and a second start.
//
// A lock file decides which process is the running instance; a Unix-domain socket beside it takes
// hand-over requests from second starts of the same user, one per connection. Anything else sent
// to it, and anything from another user, is refused without effect. A peer gets a bounded share:
// at most 8 connections are held at once (more are closed as they come), and one whose request is
// not complete 5 seconds after it came is closed. The two live in
// $XDG_RUNTIME_DIR when that is a private folder of this user, else in a folder of our own under
// the user's cache folder ($XDG_CACHE_HOME or ~/.cache), used only while it is a real directory
// owned by this user with mode 0700; never in a folder others share. Anything else standing where
// that folder belongs is a problem the user must hear of (Problem()). Everything runs on the
// thread that created the object (the UI thread); the object may be made before the application,
// but Claim needs its event loop.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    // What a second start's hand-over came to.
    enum class HandOverResult
    {
        Done,       // the running instance handled the request
        Failed,     // it handled the request and reported a failure
        NotRunning, // none found, or it ended meanwhile
        NoAnswer    // one holds the lock but gives no answer: it went 5 seconds without a sign of life, or it closed
                    // the request unanswered, as it does while a flood holds all the connections it takes
    };

    // The caption ("Tarnwick") names the folder, the lock and the socket, together with the display.
    explicit SingleInstance(const QString &caption, QObject *parent = nullptr);
    ~SingleInstance() override;

    // Why it cannot be made sure that only one process runs: a symbolic link, a file, another user's
    // folder or one open to others stands where the private folder belongs, named with the path.
    // Empty when there is no such problem; the process must not go on when there is.
    const QString &Problem() const;

    // Call once. True when this process became the running instance: it holds the lock and serves
    // second starts. Also true when no channel can be made at all (no private folder, a socket path
    // too long for the system, no lock or socket can be created): the program then runs unreachable
    // rather than not at all. False only when another live process holds the lock; a lock or socket
    // left by a killed instance is removed and taken over.
    bool Claim();

    // Second start, after Claim returned false: asks the running instance to hand over and waits for
    // its answer. Never waits for ever: it gives up after 5 seconds without any message from the
    // running instance, connecting included (a running instance that holds the lock but does not
    // listen yet is given that long). While the running instance handles the request it says every
    // second that it is alive, so a handler showing dialogs for minutes is waited for.
    HandOverResult HandOver();

signals:
    // Running instance: a second start asked to hand over. Emitted on this object's thread for each
    // request as soon as it is complete, once a receiver is connected (requests before that wait).
    // The slot may run nested event loops (dialogs); a request that comes meanwhile is emitted from
    // within them, and the slot should then return at once. The second start is answered when the
    // slot has returned for its request.
    void HandOverRequested();

protected:
    void connectNotify(const QMetaMethod &signal) override;

private:
    class Private;
    std::unique_ptr<Private> d_;
};
