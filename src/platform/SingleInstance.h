#pragma once

#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QObject>
#include <QPointer>
#include <QString>

#include <deque>
#include <functional>
#include <limits>
#include <memory>
#include <optional>

// The per-user, per-display channel between a running instance and a second start.
//
// A lock file in the user's private runtime folder decides which process is the running instance;
// a local socket beside it carries one click request per connection from a second start, and the
// running instance answers once the click has been handled. Everything runs on the thread that
// created the object (the UI thread).
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    // A click handler returns this when it has no button with the requested caption: the second
    // start then gets no answer, as when no running instance was found.
    static constexpr int NoButton = std::numeric_limits<int>::min();

    // The caption ("Tarnwick") names the lock and the socket, together with the display.
    explicit SingleInstance(const QString &caption, QObject *parent = nullptr);

    // Call once. True when this process became the running instance: it holds the lock and serves
    // second starts. Also true when no channel can be made at all (no private folder, lock or
    // socket can be created): the program then runs unreachable rather than not at all.
    // False only when another live process holds the lock; a lock or socket left by a killed
    // instance is removed and taken over.
    bool Claim();

    // Second start, after Claim returned false: sends a click request for the button with this
    // caption and blocks until the running instance answers, however long its handler takes.
    // Returns the answer (0 done), or std::nullopt when no running instance answered: none
    // found, the connection dropped, or it has no such button. While the running instance holds
    // the lock but does not listen yet, connecting is retried for a few seconds.
    std::optional<int> HandOver(const QString &buttonCaption);

    // Running instance: the handler is called on this object's thread for each request, one at a
    // time; it may run nested event loops (dialogs). Requests that arrive meanwhile, or before a
    // handler is set, wait and are handled in order afterwards. Its result is sent back as the
    // answer after it returns; NoButton sends none.
    void SetClickHandler(std::function<int(const QString &buttonCaption)> handler);

private:
    struct Request
    {
        QPointer<QLocalSocket> socket;
        QString buttonCaption;
    };

    QString LockPath() const;
    QString SocketPath() const;
    bool RunningInstanceHoldsLock() const;
    std::unique_ptr<QLocalSocket> ConnectToRunningInstance() const;
    void server_NewConnection();
    void ReadRequest(QLocalSocket *socket);
    void HandleRequests();

    QString folder_;
    QString name_;
    std::function<int(const QString &)> clickHandler_;
    std::deque<Request> requests_;
    bool handling_ = false;
    // Declared before the server so that the socket is gone before the lock is given up: a new
    // running instance taking the lock must not lose its fresh socket to this one's clean-up.
    std::unique_ptr<QLockFile> lock_;
    QLocalServer server_;
};
