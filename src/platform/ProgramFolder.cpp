#include "ProgramFolder.h"

#include "UserName.h"

#include <cerrno>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

std::filesystem::path ProgramFolder()
{
    return std::filesystem::read_symlink("/proc/self/exe").parent_path();
}

std::filesystem::path DataFolder()
{
    const std::filesystem::path folder = ProgramFolder();
    // The same folder by its inode, so that /bin and /usr/bin count as one where one links to the other.
    std::error_code unknown;
    return std::filesystem::equivalent(folder, TARNWICK_INSTALLED_BIN_DIR, unknown) ? TARNWICK_DATA_DIR : folder;
}

QString AccessAdvice(const std::filesystem::path &fileName)
{
    std::filesystem::path file;
    try {
        file = DataFolder() / fileName;
    } catch (const std::filesystem::filesystem_error &) {
        return QString();
    }
    if (::access(file.c_str(), R_OK | W_OK) == 0 || errno != EACCES)
        return QString();
    const QString path = QString::fromStdString(file.string());
    if (file.parent_path() != TARNWICK_DATA_DIR)
        return u"\nYou may not read and write %1; ask its owner for access."_s.arg(path);
    return u"\nYou may not read and write %1. Ask an administrator to add you to the group %2 (adduser %3 %2), then "
           u"log out and in again."_s.arg(path, QStringLiteral(TARNWICK_GROUP),
                                          GetWindowsUserName().value_or(QString()));
}
