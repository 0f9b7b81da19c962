#include "FailureReport.h"

#include "MsgBox.h"
#include "QtText.h"
#include "StoreError.h"

#include <cstdio>

namespace {

QString Why(const std::exception &error)
{
    if (const auto *store = dynamic_cast<const StoreError *>(&error))
        return ToQString(store->Description());
    return QString::fromLocal8Bit(error.what());
}

} // namespace

void ReportFailure(const QString &message, Reporting how)
{
    if (how == Reporting::Unattended)
        std::fprintf(stderr, "tarnwick: %s\n", qPrintable(QString(message).replace(u'\n', u' ')));
    else
        MsgBox(message, MsgBoxIcon::Critical);
}

void ReportFailure(const QString &message, const std::exception &error, Reporting how)
{
    ReportFailure(message + u'\n' + Why(error), how);
}
