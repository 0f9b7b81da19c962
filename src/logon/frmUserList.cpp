#include "frmUserList.h"

#include "QtText.h"

#include <QComboBox>
#include <QCompleter>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

frmUserList::frmUserList()
    : QDialog(nullptr), cmbUserName(new QComboBox(this)), cmdOk(new QPushButton(QStringLiteral("OK"), this)),
      cmdCancel(new QPushButton(QStringLiteral("Cancel"), this))
{
    setWindowTitle(QStringLiteral("Please select user to log on"));
    cmbUserName->setObjectName(QStringLiteral("cmbUserName"));
    cmbUserName->setAccessibleName(QStringLiteral("User name"));
    cmdOk->setObjectName(QStringLiteral("cmdOk"));
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));

    cmbUserName->setEditable(true);
    cmbUserName->lineEdit()->setAccessibleName(QStringLiteral("User name"));
    cmbUserName->setInsertPolicy(QComboBox::NoInsert);
    // A completer without entries completes nothing, and being case-sensitive it keeps the combo box
    // from replacing a typed name with a listed one that differs only in letter case.
    auto *completer = new QCompleter(cmbUserName);
    completer->setCaseSensitivity(Qt::CaseSensitive);
    cmbUserName->setCompleter(completer);
    // A very long name must not widen the dialog past the screen.
    cmbUserName->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cmbUserName->setMinimumContentsLength(36);
    cmdOk->setDefault(true);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOk);
    buttons->addWidget(cmdCancel);
    auto *layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(cmbUserName);
    layout->addLayout(buttons);
    setTabOrder(cmbUserName, cmdOk);
    setTabOrder(cmdOk, cmdCancel);

    connect(cmdOk, &QPushButton::clicked, this, &frmUserList::cmdOk_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmUserList::cmdCancel_Click);
}

void frmUserList::ImportUserList(const std::vector<std::u16string> &userNames)
{
    cmbUserName->clear();
    for (const std::u16string &name : userNames)
        cmbUserName->addItem(ToQString(name));
    if (!userNames.empty())
        cmbUserName->setCurrentIndex(0);
}

bool frmUserList::AllOk() const
{
    return allOk_;
}

QString frmUserList::UserName() const
{
    return userName_;
}

// Esc and the close box end here.
void frmUserList::reject()
{
    cmdCancel_Click();
}

void frmUserList::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (firstActivate_) {
        firstActivate_ = false;
        activateWindow();
        cmbUserName->setFocus();
    }
}

void frmUserList::cmdOk_Click()
{
    allOk_ = true;
    userName_ = cmbUserName->currentText();
    done(QDialog::Accepted);
}

void frmUserList::cmdCancel_Click()
{
    allOk_ = false;
    done(QDialog::Rejected);
}
