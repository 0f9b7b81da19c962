#pragma once

#include "PasswordDialog.h"

class QLabel;

// Asks a new user's password twice: lbl[0] "Password:" above txtPass, lbl[1] "Confirm password:"
// above txtConfirm, then OK (the default button) and Cancel. OK accepts only when both boxes hold
// the same text, letter case counting (two empty boxes agree); otherwise it says
// "Please confirm password correctly." and leaves both boxes as they are.
class frmGetNewPass : public PasswordDialog
{
    Q_OBJECT

public:
    frmGetNewPass();

    PasswordBox *txtConfirm;
    QLabel *lbl[2];

protected:
    void WipeBoxes() override;

private slots:
    void cmdOk_Click();
};
