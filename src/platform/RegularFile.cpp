#include "RegularFile.h"

#include <QFile>
#include <QString>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

class RegularFile::Descriptor
{
public:
    Descriptor(int fd, qint64 size) : fd(fd), size(size) {}
    ~Descriptor() { ::close(fd); }
    const int fd;
    const qint64 size;
};

std::optional<RegularFile> RegularFile::Open(const QString &path, qint64 largest)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct stat status = {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size > largest) {
        ::close(fd);
        return std::nullopt;
    }
    return RegularFile(std::make_unique<Descriptor>(fd, status.st_size));
}

RegularFile::RegularFile(std::unique_ptr<Descriptor> descriptor) : descriptor_(std::move(descriptor))
{
}

RegularFile::~RegularFile() = default;

RegularFile::RegularFile(RegularFile &&other) noexcept = default;

std::optional<QByteArray> RegularFile::ReadAll() const
{
    QByteArray bytes(descriptor_->size, Qt::Uninitialized);
    if (::pread(descriptor_->fd, bytes.data(), bytes.size(), 0) != bytes.size())
        return std::nullopt;
    return bytes;
}

QString RegularFile::ProcPath() const
{
    return QStringLiteral("/proc/self/fd/%1").arg(descriptor_->fd);
}
