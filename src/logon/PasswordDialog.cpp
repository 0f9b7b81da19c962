#include "PasswordDialog.h"

#include "WipePassword.h"

#include <QHBoxLayout>
#include <QPushButton>

PasswordDialog::PasswordDialog()
    : QDialog(nullptr), txtPass(new PasswordBox(this)), cmdOk(new QPushButton(QStringLiteral("OK"), this)),
      cmdCancel(new QPushButton(QStringLiteral("Cancel"), this))
{
    txtPass->setObjectName(QStringLiteral("txtPass"));
    txtPass->setAccessibleName(QStringLiteral("Password"));
    cmdOk->setObjectName(QStringLiteral("cmdOk"));
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdOk->setDefault(true);
    connect(cmdCancel, &QPushButton::clicked, this, &PasswordDialog::cmdCancel_Click);
    ShowCaption();
}

PasswordDialog::~PasswordDialog()
{
    WipePassword(password_);
}

QString PasswordDialog::UserName() const
{
    return userName_;
}

void PasswordDialog::UserName(const QString &value)
{
    userName_ = value;
    if (loaded_)
        ShowCaption();
}

QString PasswordDialog::Password() const
{
    return password_;
}

void PasswordDialog::Password(const QString &value)
{
    password_ = value;
    if (loaded_)
        txtPass->Wipe();
}

bool PasswordDialog::AllOk() const
{
    return allOk_;
}

void PasswordDialog::done(int result)
{
    WipeBoxes();
    loaded_ = false;
    QDialog::done(result);
}

// Esc and the close box end here, as the Cancel button does.
void PasswordDialog::reject()
{
    cmdCancel_Click();
}

QLayout *PasswordDialog::ButtonRow()
{
    auto *row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(cmdOk);
    row->addWidget(cmdCancel);
    return row;
}

void PasswordDialog::AcceptPassword(QString password)
{
    password_ = std::move(password);
    allOk_ = true;
    done(QDialog::Accepted);
}

void PasswordDialog::WipeBoxes()
{
    txtPass->Wipe();
}

void PasswordDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (firstActivate_) {
        firstActivate_ = false;
        activateWindow();
        txtPass->setFocus();
    }
}

void PasswordDialog::cmdCancel_Click()
{
    allOk_ = false;
    done(QDialog::Rejected);
}

void PasswordDialog::ShowCaption()
{
    setWindowTitle(userName_.isEmpty() ? QStringLiteral("Enter password")
                                       : QStringLiteral("Enter password for user ") + userName_);
}
