#pragma once

#include "PasswordDialog.h"

// Asks the password of an existing user: txtPass, then OK (the default button) and Cancel.
// OK accepts whatever was typed, the empty text included.
class frmGetPass : public PasswordDialog
{
    Q_OBJECT

public:
    frmGetPass();

private slots:
    void cmdOk_Click();
};
