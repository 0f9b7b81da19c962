#include "MsgBox.h"

#include "Modal.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>

namespace {

// Esc and the close box close the box without a click: a question can go unanswered, which QMessageBox would
// otherwise take for its No button.
class MessageBox final : public QMessageBox
{
protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        if (event->matches(QKeySequence::Cancel)) {
            reject();
            return;
        }
        QMessageBox::keyPressEvent(event);
    }

    void closeEvent(QCloseEvent *event) override { QDialog::closeEvent(event); }
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

// The buttons in their Windows order.
QList<QMessageBox::StandardButton> ButtonsOf(int style)
{
    switch (style & 0x7) {
    case vbOKCancel:
        return {QMessageBox::Ok, QMessageBox::Cancel};
    case vbYesNoCancel:
        return {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel};
    case vbYesNo:
        return {QMessageBox::Yes, QMessageBox::No};
    case vbRetryCancel:
        return {QMessageBox::Retry, QMessageBox::Cancel};
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
    case QMessageBox::Retry:
        return vbRetry;
    default:
        return vbCancel;
    }
}

// The answer of a box closed without a click (Esc, the close box, an interrupted question): OK in a box that has
// nothing else to say, otherwise Cancel, which never counts as consent.
int UnansweredResult(const QList<QMessageBox::StandardButton> &buttons)
{
    return buttons == QList{QMessageBox::Ok} ? vbOK : vbCancel;
}

int RunMessageBox(const QString &prompt, int style, const QString &title, const QString &yesText, const QString &noText)
{
    const QList<QMessageBox::StandardButton> buttons = ButtonsOf(style);
    MessageBox box;
    box.setWindowTitle(title.isEmpty() ? AppTitle : title);
    box.setTextFormat(Qt::PlainText);
    box.setText(prompt);
    box.setIcon(IconOf(style));
    for (QMessageBox::StandardButton button : buttons) {
        QAbstractButton *added = box.addButton(button);
        if (button == QMessageBox::Yes && !yesText.isEmpty())
            added->setText(yesText);
        else if (button == QMessageBox::No && !noText.isEmpty())
            added->setText(noText);
    }
    const bool second = (style & vbDefaultButton2) != 0 && buttons.size() > 1;
    box.setDefaultButton(buttons.at(second ? 1 : 0));
    RunModal(box);
    QAbstractButton *clicked = box.clickedButton();
    return clicked ? ResultOf(box.standardButton(clicked)) : UnansweredResult(buttons);
}

} // namespace

int MsgBox(const QString &prompt, int style, const QString &title)
{
    return RunMessageBox(prompt, style, title, QString(), QString());
}

int MsgBox(const QString &prompt, int style, const QString &yesText, const QString &noText)
{
    return RunMessageBox(prompt, style, QString(), yesText, noText);
}
