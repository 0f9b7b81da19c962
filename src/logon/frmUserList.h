#pragma once

#include <QDialog>
#include <QString>

#include <string>
#include <vector>

class QComboBox;
class QPushButton;

// Lets the person pick the user to log on as, or type any other name: cmbUserName, then OK (the
// default button) and Cancel. Cancel, Esc and the close box leave AllOk false.
// AllOk and UserName keep their values after the dialog has closed.
class frmUserList : public QDialog
{
    Q_OBJECT

public:
    frmUserList();

    QComboBox *cmbUserName;
    QPushButton *cmdOk;
    QPushButton *cmdCancel;

    // Empties the list, then lists the names in their order and selects the first entry. No names leave the
    // list empty and nothing selected.
    void ImportUserList(const std::vector<std::u16string> &userNames);
    // True only when the dialog was closed with OK.
    bool AllOk() const;
    // The text in the combo box's edit field, picked or typed, when OK was clicked.
    QString UserName() const;

    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;

private slots:
    void cmdOk_Click();
    void cmdCancel_Click();

private:
    bool allOk_ = false;
    QString userName_;
    bool firstActivate_ = true;
};
