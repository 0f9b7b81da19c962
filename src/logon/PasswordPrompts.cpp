#include "PasswordPrompts.h"

#include "Modal.h"
#include "frmGetNewPass.h"
#include "frmGetPass.h"

namespace {

const QString CancelMarker = QString(QChar(u'\0'));

QString Ask(PasswordDialog &form, const QString &name)
{
    form.UserName(name);
    RunModal(form);
    if (!form.AllOk())
        return CancelMarker;
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
