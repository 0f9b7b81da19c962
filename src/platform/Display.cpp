#include "Display.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace {

bool Set(const char *name)
{
    const char *value = std::getenv(name);
    return value && *value;
}

bool AllDigits(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// N of ":N", ":N.S", "unix:N" or "unix:N.S", the forms served by the local socket of display N.
std::optional<std::string_view> LocalDisplayNumber(std::string_view display)
{
    if (display.starts_with("unix:"))
        display.remove_prefix(4);
    if (!display.starts_with(':'))
        return std::nullopt;
    display.remove_prefix(1);
    const std::size_t dot = display.find('.');
    const std::string_view number = display.substr(0, dot);
    if (!AllDigits(number) || (dot != std::string_view::npos && !AllDigits(display.substr(dot + 1))))
        return std::nullopt;
    return number;
}

// A local display must have its socket; any other form is taken on trust.
bool XDisplayReachable(std::string_view display)
{
    const std::optional<std::string_view> number = LocalDisplayNumber(display);
    if (!number)
        return !display.empty();
    std::error_code error;
    return std::filesystem::exists("/tmp/.X11-unix/X" + std::string(*number), error);
}

} // namespace

bool DisplayAvailable()
{
    if (Set("QT_QPA_PLATFORM") || Set("WAYLAND_DISPLAY"))
        return true;
    const char *display = std::getenv("DISPLAY");
    return XDisplayReachable(display ? display : "");
}
