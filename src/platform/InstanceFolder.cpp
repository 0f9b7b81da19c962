#include "InstanceFolder.h"

#include "PrivateFolder.h"

#include <QDir>

namespace {

QString SafeName(const QString &text)
{
    QString name = text;
    for (QChar &c : name) {
        const bool safe = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
                          c == u'.' || c == u'-' || c == u'_';
        if (!safe) {
            c = u'_';
        }
    }
    return name;
}

// The display this process shows its windows on, without an X screen number: one running
// instance per display, whichever screen of it.
QString DisplayName()
{
    const QString wayland = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (!wayland.isEmpty()) {
        return wayland;
    }
    QString display = qEnvironmentVariable("DISPLAY");
    const qsizetype colon = display.lastIndexOf(u':');
    const qsizetype dot = display.indexOf(u'.', colon + 1);
    if (colon >= 0 && dot > colon) {
        display.truncate(dot);
    }
    return display;
}

QString InstanceName(const QString &caption)
{
    const QString display = DisplayName();
    return display.isEmpty() ? SafeName(caption) : SafeName(caption) + u'-' + SafeName(display);
}

// No one else can have made a folder of our own in the user's cache folder; where it cannot be made at all, there
// is no folder, and where something stands in its place that is not such a folder, that is a problem.
OwnFolder ChooseFolder(const QString &caption)
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (QDir::isAbsolutePath(runtime) && IsPrivateFolder(runtime)) {
        return {runtime, QString()};
    }
    QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    if (!QDir::isAbsolutePath(cache)) {
        cache = QDir::homePath() + QStringLiteral("/.cache");
    }
    return MakeOwnFolder(cache, SafeName(caption));
}

} // namespace

InstanceFolder ChooseInstanceFolder(const QString &caption)
{
    const OwnFolder folder = ChooseFolder(caption);
    return {folder.path, InstanceName(caption), folder.problem};
}
