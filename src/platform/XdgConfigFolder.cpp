#include "XdgConfigFolder.h"

#include <QDir>

using namespace Qt::Literals::StringLiterals;

QString XdgConfigFolder()
{
    // A relative or empty value is invalid by the XDG rules and must be ignored.
    const QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (QDir::isAbsolutePath(configHome)) {
        return configHome;
    }
    return QDir::homePath() + u"/.config"_s;
}
