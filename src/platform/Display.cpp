#include "Display.h"

#include <QGuiApplication>

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

// $WAYLAND_DISPLAY names a socket in the runtime folder, or gives a path of its own.
bool WaylandReachable()
{
    const char *name = std::getenv("WAYLAND_DISPLAY");
    if (!name || !*name)
        return false;
    std::filesystem::path socket = name;
    if (socket.is_relative()) {
        const char *runtime = std::getenv("XDG_RUNTIME_DIR");
        if (!runtime || !*runtime)
            return false;
        socket = std::filesystem::path(runtime) / socket;
    }
    std::error_code error;
    return std::filesystem::is_socket(socket, error);
}

} // namespace

bool ChooseDisplay()
{
    if (Set("QT_QPA_PLATFORM"))
        return true;
    const char *display = std::getenv("DISPLAY");
    const bool x = XDisplayReachable(display ? display : "");
    if (WaylandReachable())
        return ::setenv("QT_QPA_PLATFORM", x ? "wayland;xcb" : "wayland", 1) == 0;
    return x && ::setenv("QT_QPA_PLATFORM", "xcb", 1) == 0;
}

bool ProgramPlacesWindows()
{
    return !QGuiApplication::platformName().startsWith(QStringLiteral("wayland"));
}
