#include "UserName.h"

#include <cerrno>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace {

// Room for the user's database entry at first, and the most we grow to when the system asks for more.
constexpr std::size_t FirstBufferSize = 1024;
constexpr std::size_t LargestBufferSize = 1024 * 1024;

} // namespace

std::optional<QString> GetWindowsUserName()
{
    const long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : FirstBufferSize);
    for (;;) {
        passwd entry{};
        passwd *found = nullptr;
        const int error = getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found);
        if (error == EINTR) {
            continue;
        }
        if (error == ERANGE && buffer.size() < LargestBufferSize) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (error != 0 || found == nullptr || found->pw_name == nullptr || found->pw_name[0] == '\0') {
            return std::nullopt;
        }
        return QString::fromLocal8Bit(found->pw_name);
    }
}
