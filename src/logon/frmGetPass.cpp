#include "frmGetPass.h"

#include <QPushButton>
#include <QVBoxLayout>

frmGetPass::frmGetPass()
{
    auto *layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    txtPass->setMinimumWidth(240);
    layout->addWidget(txtPass);
    layout->addLayout(ButtonRow());
    setTabOrder(txtPass, cmdOk);
    setTabOrder(cmdOk, cmdCancel);
    connect(cmdOk, &QPushButton::clicked, this, &frmGetPass::cmdOk_Click);
}

void frmGetPass::cmdOk_Click()
{
    AcceptPassword(txtPass->TakeText());
}
