#pragma once

#include "AccountSession.h"
#include "TextBox.h"

#include <QWidget>

#include <array>
#include <memory>

class AccountEditor;
class QCheckBox;
class QListWidget;
class QMenuBar;
class QPushButton;
class WindowSettings;

// The main window: the account editor's six fields with their labels, the account list beside them under
// "Add account", and the two check boxes of the window settings below. It only shows and edits; the program
// decides when it comes forward. Closing it hides it (or minimises it while it is the program's only presence),
// and minimising it hides it. Its controls are made at their first need: a start that ends in the tray never
// needs them.
class frmAccount final : public QWidget
{
    Q_OBJECT

public:
    explicit frmAccount(AccountSession &session);
    ~frmAccount() override;

    // The editor and the controls it works on, made at the first call.
    AccountEditor &Editor();
    bool HasEditor() const { return editor_ != nullptr; }
    // The window's place, its floating and the autostart, kept between runs.
    WindowSettings &Settings() { return *settings_; }

    // Without a tray the window is the program's only presence: it shows a menu bar offering "Exit", and closing
    // or minimising it keeps it in the task bar.
    void SetWithoutTray(bool withoutTray);
    bool WithoutTray() const { return withoutTray_; }

    // Shows the window in its normal state and brings it to the person's attention.
    void ShowWindow();
    void FinalWindowRequest();

signals:
    // "Exit" in the menu bar.
    void ExitChosen();

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void CreateControls();
    QLayout *FieldsLayout();
    QLayout *ListLayout();
    void SetTabOrder();
    void SizeForFont();
    void ArrangeOnce();
    void HideWhenMinimised();

    AccountSession &session_;
    std::unique_ptr<WindowSettings> settings_;
    std::unique_ptr<AccountEditor> editor_;
    std::array<TextBox *, AccountFieldCount> txt{};
    QPushButton *cmdAddAccount = nullptr;
    QListWidget *lAccounts = nullptr;
    QCheckBox *chkLaunch = nullptr;
    QCheckBox *chkFloat = nullptr;
    QMenuBar *menuBar_ = nullptr;
    bool withoutTray_ = false;
    // Set when the program minimised the window; see ShowWindow.
    bool iconicHintLeft_ = false;
    // Whether the window has been on the screen since the program last showed it.
    bool paintedSinceShown_ = false;
    bool arranged_ = false;
};
