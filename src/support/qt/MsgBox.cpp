#include "MsgBox.h"

#include "Modal.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QMessageBox>

namespace {

// A Yes/No box has no answer for Esc or the close box, so it ignores both until a button is clicked.
class MessageBox final : public QMessageBox
{
public:
    explicit MessageBox(bool dismissable) : QMessageBox(nullptr), dismissable_(dismissable) {}

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        if (!dismissable_ && event->matches(QKeySequence::Cancel))
            return;
        QMessageBox::keyPressEvent(event);
    }

    void closeEvent(QCloseEvent *event) override
    {
        if (!dismissable_) {
            event->ignore();
            return;
        }
        QMessageBox::closeEvent(event);
    }

private:
    bool dismissable_;
};

QMessageBox::Icon IconOf(int style)
{
    switch (style & 0x70) {
    case vbCritical:
        return QMessageBox::Critical;
    case vbQuestion:
        return QMessageBox::Question;
    case vbExclamation:
        return QMessageBox::Warning;
    case vbInformation:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

// The buttons in their Windows order; the first one is the default.
QList<QMessageBox::StandardButton> ButtonsOf(int style)
{
    switch (style & 0x7) {
    case vbOKCancel:
        return {QMessageBox::Ok, QMessageBox::Cancel};
    case vbYesNoCancel:
        return {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel};
    case vbYesNo:
        return {QMessageBox::Yes, QMessageBox::No};
    default:
        return {QMessageBox::Ok};
    }
}

int ResultOf(QMessageBox::StandardButton button)
{
    switch (button) {
    case QMessageBox::Ok:
        return vbOK;
    case QMessageBox::Yes:
        return vbYes;
    case QMessageBox::No:
        return vbNo;
    default:
        return vbCancel;
    }
}

// The answer of a box that ended without a click: what Esc would have given, and No for a Yes/No
// box, so that an interrupted question never counts as consent.
int UnansweredResult(const QList<QMessageBox::StandardButton> &buttons)
{
    if (buttons.contains(QMessageBox::Cancel))
        return vbCancel;
    return buttons.contains(QMessageBox::Ok) ? vbOK : vbNo;
}

} // namespace

int MsgBox(const QString &prompt, int style, const QString &title)
{
    const QList<QMessageBox::StandardButton> buttons = ButtonsOf(style);
    MessageBox box(buttons.contains(QMessageBox::Cancel) || buttons.size() == 1);
    box.setWindowTitle(title.isEmpty() ? AppTitle : title);
    box.setTextFormat(Qt::PlainText);
    box.setText(prompt);
    box.setIcon(IconOf(style));
    for (QMessageBox::StandardButton button : buttons)
        box.addButton(button);
    box.setDefaultButton(buttons.first());
    RunModal(box);
    QAbstractButton *clicked = box.clickedButton();
    return clicked ? ResultOf(box.standardButton(clicked)) : UnansweredResult(buttons);
}
