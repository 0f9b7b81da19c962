#pragma once

#include <QString>

#include <exception>

// Whether the person can be asked: not while the session ends or after a signal, when a dialog would never be
// answered.
enum class Reporting
{
    Asking,
    Unattended
};

// The one way a failure the person should know of is told: a message box with the critical icon, or a line on
// stderr when nobody can be asked.
void ReportFailure(const QString &message, Reporting how = Reporting::Asking);
// The same, with what the error says on a line of its own.
void ReportFailure(const QString &message, const std::exception &error, Reporting how = Reporting::Asking);
