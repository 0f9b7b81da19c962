#pragma once

#include <QByteArray>

#include <memory>
#include <optional>

class QString;

// A file of the user's own folders or a shared one, opened once without following a symbolic link at its path and
// without waiting on a FIFO, and known to be a regular file of at most the size given before any byte is read:
// anyone who may write the folder may have put something else there.
class RegularFile
{
public:
    // Nothing when anything but such a file stands at the path, or none does.
    static std::optional<RegularFile> Open(const QString &path, qint64 largest);
    ~RegularFile();
    RegularFile(RegularFile &&other) noexcept;
    RegularFile &operator=(RegularFile &&) = delete;

    // All of it, read through the descriptor; nothing when it cannot be read.
    std::optional<QByteArray> ReadAll() const;
    // A path that names this very file while the object lives, whatever is put at the first path meanwhile.
    QString ProcPath() const;

private:
    class Descriptor;
    explicit RegularFile(std::unique_ptr<Descriptor> descriptor);
    std::unique_ptr<Descriptor> descriptor_;
};
