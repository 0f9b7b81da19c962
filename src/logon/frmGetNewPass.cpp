#include "frmGetNewPass.h"

#include "MsgBox.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

frmGetNewPass::frmGetNewPass()
    : txtConfirm(new PasswordBox(this)), lbl{new QLabel(QStringLiteral("Password:"), this),
                                             new QLabel(QStringLiteral("Confirm password:"), this)}
{
    txtConfirm->setObjectName(QStringLiteral("txtConfirm"));
    txtConfirm->setAccessibleName(QStringLiteral("Confirm password"));
    lbl[0]->setBuddy(txtPass);
    lbl[1]->setBuddy(txtConfirm);
    auto *layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    txtPass->setMinimumWidth(240);
    layout->addWidget(lbl[0]);
    layout->addWidget(txtPass);
    layout->addWidget(lbl[1]);
    layout->addWidget(txtConfirm);
    layout->addLayout(ButtonRow());
    setTabOrder(txtPass, txtConfirm);
    setTabOrder(txtConfirm, cmdOk);
    setTabOrder(cmdOk, cmdCancel);
    connect(cmdOk, &QPushButton::clicked, this, &frmGetNewPass::cmdOk_Click);
}

void frmGetNewPass::WipeBoxes()
{
    PasswordDialog::WipeBoxes();
    txtConfirm->Wipe();
}

void frmGetNewPass::cmdOk_Click()
{
    if (txtPass->text() != txtConfirm->text()) {
        MsgBox(QStringLiteral("Please confirm password correctly."), MsgBoxIcon::Information);
        return;
    }
    AcceptPassword(txtPass->TakeText());
}
