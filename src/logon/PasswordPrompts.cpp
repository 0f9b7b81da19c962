#include "PasswordPrompts.h"

#include "Modal.h"
#include "frmGetNewPass.h"
#include "frmGetPass.h"

namespace {

std::optional<QString> Ask(PasswordDialog &form, const QString &name)
{
    form.UserName(name);
    RunModal(form);
    if (!form.AllOk())
        return std::nullopt;
    std::optional<QString> password = form.Password();
    form.Password(QString());
    return password;
}

} // namespace

std::optional<QString> AskPassword(const QString &name)
{
    frmGetPass form;
    return Ask(form, name);
}

std::optional<QString> AskNewPassword(const QString &name)
{
    frmGetNewPass form;
    return Ask(form, name);
}
