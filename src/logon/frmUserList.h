#pragma once

#include <QDialog>
#include <QString>

class QComboBox;
class QPushButton;
class Recordset;

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

    // Empties the list, then lists the UserName of every row in row order (a Null name as the empty
    // text) and selects the first entry. No recordset, or one without rows, leaves the list empty
    // and nothing selected. Leaves the recordset after its last row; raises what the recordset raises.
    void ImportUserList(Recordset *rstUserList);
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
