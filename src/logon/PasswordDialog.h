#pragma once

#include "PasswordBox.h"

#include <QDialog>
#include <QString>

class QLayout;
class QPushButton;

// What the two password dialogs share. Each instance asks one question: it is loaded when made,
// unloaded when it closes, and its properties are read afterwards. Whichever way it closes, its
// password boxes are emptied, their characters overwritten, before it unloads. Esc, Cancel and the
// close box all leave AllOk false.
class PasswordDialog : public QDialog
{
    Q_OBJECT

public:
    ~PasswordDialog() override;

    PasswordBox *txtPass;
    QPushButton *cmdOk;
    QPushButton *cmdCancel;

    // The user the password belongs to. While loaded, setting it sets the caption to
    // "Enter password for user " and the name, or "Enter password" for an empty name.
    QString UserName() const;
    void UserName(const QString &value);
    // The accepted password; empty until OK is accepted. While loaded, setting it empties txtPass.
    QString Password() const;
    void Password(const QString &value);
    // True only when the dialog was closed with an accepted OK.
    bool AllOk() const;

    void done(int result) override;
    void reject() override;

protected:
    PasswordDialog();

    // The row of the two buttons, OK on the left, for the dialog's layout.
    QLayout *ButtonRow();
    // Takes the password as accepted and closes the dialog.
    void AcceptPassword(QString password);
    virtual void WipeBoxes();
    void showEvent(QShowEvent *event) override;

private slots:
    void cmdCancel_Click();

private:
    void ShowCaption();

    QString userName_;
    QString password_;
    bool allOk_ = false;
    bool loaded_ = true;
    bool firstActivate_ = true;
};
