#include "PasswordPrompts.h"

#include "Modal.h"
#include "NulMarker.h"
#include "frmGetNewPass.h"
#include "frmGetPass.h"

namespace {

QString Ask(PasswordDialog &form, const QString &name)
{
    form.UserName(name);
    RunModal(form);
    if (!form.AllOk())
        return NulMarker;
    QString password = form.Password();
    form.Password(QString());
    return password;
}

} // namespace

QString AskPassword(const QString &name)
{
    frmGetPass form;
    return Ask(form, name);
}

QString AskNewPassword(const QString &name)
{
    frmGetNewPass form;
    return Ask(form, name);
}

std::optional<QString> Typed(QString answer)
{
    if (answer == NulMarker)
        return std::nullopt;
    return answer;
}
