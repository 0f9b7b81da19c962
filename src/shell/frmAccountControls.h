#pragma once

#include "AccountSession.h"
#include "TextBox.h"

#include <array>

class QAction;
class QCheckBox;
class QLabel;
class QListWidget;
class QMenu;
class QMenuBar;
class QPushButton;
class QWidget;

// The main window as drawn: its controls and menus, made on the window, and their arrangement, the drawn places
// scaled by one factor so that every control gets the room the desktop's font asks for. The window inherits them,
// as a window inherits the controls a form designer generates for it; it connects their events itself.
class frmAccountControls
{
public:
    // Controls, in the order of the window's layout table.
    std::array<QLabel *, 7> lbl{};
    std::array<TextBox *, AccountFieldCount> txt{};
    QPushButton *cmdAddAccount = nullptr;
    QListWidget *lAccounts = nullptr;
    QCheckBox *chkLaunch = nullptr;
    QCheckBox *chkFloat = nullptr;

    // Menus that are only ever shown as pop-ups.
    QMenu *mnuFile = nullptr;
    QAction *mnuHide = nullptr;
    QAction *mnuExit = nullptr;
    QMenu *mnuAcctPopUpMenu = nullptr;
    QAction *mnuAddNew = nullptr;
    QAction *mnuDelete = nullptr;
    QMenu *mnuPopUp = nullptr;
    QAction *mnuOpen = nullptr;
    QAction *mnuUnLoad = nullptr;
    QAction *mnuLeave2 = nullptr;
    QMenu *mnuLogOnPopUpMenu = nullptr;
    QAction *mnuLogOn = nullptr;
    QAction *mnuBLUnload = nullptr;
    QAction *mnuLeave1 = nullptr;
    QMenu *mnuPassPopUp = nullptr;
    QAction *mnuPassCut = nullptr;
    QAction *mnuPassCopy = nullptr;
    QAction *mnuPassPaste = nullptr;
    QAction *mnuPassDelete = nullptr;

protected:
    void CreateMenus(QWidget *window);
    // The controls, in their tab order.
    void CreateControls(QWidget *window);
    // The desktop's font against the one the window was drawn for, at least 1.
    static double FontScale(const QWidget &window);
    // The smallest factor at which every control gets the room it asks for, and no smaller than the font's.
    double LayoutScale(const QWidget &window) const;
    // Sizes the window and puts the controls at their places scaled, below the menu bar when it shows.
    void Arrange(QWidget &window, QMenuBar *menuBar, double scale);
    // Sizes the window by the font alone, for before the controls are made.
    static void SizeForFont(QWidget &window);

private:
    void SetTabOrder();
};
