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

QMessageBox::Icon IconOf(MsgBoxIcon icon)
{
    switch (icon) {
    case MsgBoxIcon::Critical:
        return QMessageBox::Critical;
    case MsgBoxIcon::Question:
        return QMessageBox::Question;
    case MsgBoxIcon::Warning:
        return QMessageBox::Warning;
    case MsgBoxIcon::Information:
        return QMessageBox::Information;
    case MsgBoxIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

// The buttons in their Windows order.
QList<QMessageBox::StandardButton> ButtonsOf(MsgBoxButtons buttons)
{
    switch (buttons) {
    case MsgBoxButtons::YesNo:
        return {QMessageBox::Yes, QMessageBox::No};
    case MsgBoxButtons::RetryCancel:
        return {QMessageBox::Retry, QMessageBox::Cancel};
    case MsgBoxButtons::Ok:
        break;
    }
    return {QMessageBox::Ok};
}

MsgBoxAnswer AnswerOf(QMessageBox::StandardButton button)
{
    switch (button) {
    case QMessageBox::Ok:
        return MsgBoxAnswer::Ok;
    case QMessageBox::Yes:
        return MsgBoxAnswer::Yes;
    case QMessageBox::No:
        return MsgBoxAnswer::No;
    case QMessageBox::Retry:
        return MsgBoxAnswer::Retry;
    default:
        return MsgBoxAnswer::Cancel;
    }
}

// The answer of a box closed without a click (Esc, the close box, an interrupted question): Ok in a box that has
// nothing else to say, otherwise Cancel, which never counts as consent.
MsgBoxAnswer UnansweredResult(MsgBoxButtons buttons)
{
    return buttons == MsgBoxButtons::Ok ? MsgBoxAnswer::Ok : MsgBoxAnswer::Cancel;
}

MsgBoxAnswer RunMessageBox(const QString &prompt, MsgBoxIcon icon, MsgBoxButtons set, DefaultButton defaultButton,
                           const QString &yesText = QString(), const QString &noText = QString())
{
    const QList<QMessageBox::StandardButton> buttons = ButtonsOf(set);
    MessageBox box;
    box.setWindowTitle(AppTitle);
    box.setTextFormat(Qt::PlainText);
    box.setText(prompt);
    box.setIcon(IconOf(icon));
    for (QMessageBox::StandardButton button : buttons) {
        QAbstractButton *added = box.addButton(button);
        if (button == QMessageBox::Yes && !yesText.isEmpty())
            added->setText(yesText);
        else if (button == QMessageBox::No && !noText.isEmpty())
            added->setText(noText);
    }
    const bool second = defaultButton == DefaultButton::Second && buttons.size() > 1;
    box.setDefaultButton(buttons.at(second ? 1 : 0));
    RunModal(box);
    QAbstractButton *clicked = box.clickedButton();
    return clicked ? AnswerOf(box.standardButton(clicked)) : UnansweredResult(set);
}

} // namespace

MsgBoxAnswer MsgBox(const QString &prompt, MsgBoxIcon icon, MsgBoxButtons buttons, DefaultButton defaultButton)
{
    return RunMessageBox(prompt, icon, buttons, defaultButton);
}

MsgBoxAnswer MsgBox(const QString &prompt, MsgBoxIcon icon, const QString &yesText, const QString &noText)
{
    return RunMessageBox(prompt, icon, MsgBoxButtons::YesNo, DefaultButton::First, yesText, noText);
}
