#pragma once

// Scripted answers for the program's modal dialogs and message boxes. While a ScriptedModals
// lives, every RunModal shows the real dialog without a modal loop and hands it the next answer
// in the queue, and the next one while the dialog stays open, until it closes. Each dialog is
// recorded in log() as it appears:
//   "MsgBox[<icon> <buttons>]: <text>", e.g. "MsgBox[Critical Ok]: Incorrect password."
//   otherwise "<class>: <caption>", e.g. "frmGetPass: Enter password for user bob"
// A message box owned by a window or showing rich text says so in its entry. A dialog that finds
// no answer left, or an answer that does not fit its dialog, fails the running test and closes
// the dialog as cancelled.

#include "Modal.h"
#include "MsgBox.h"
#include "frmGetNewPass.h"
#include "frmGetPass.h"
#include "frmUserList.h"

#include <QComboBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include <deque>
#include <functional>

// One answer: acts on the real dialog as a person would and returns the empty text, or returns why it cannot.
using Answer = std::function<QString(QDialog &)>;

namespace Answers {

inline QString Click(QAbstractButton *button)
{
    if (button)
        button->click();
    return button ? QString() : QStringLiteral("the answer found no button to click");
}

inline void Paste(QLineEdit &box, const QString &text)
{
    box.selectAll();
    box.insert(text);
}

// Fills in a dialog of class Form, then clicks its cmdOk.
template <typename Form, typename Fill> Answer FillAndOk(Fill fill)
{
    return [fill](QDialog &dialog) {
        auto *form = qobject_cast<Form *>(&dialog);
        if (form)
            fill(*form);
        return Click(form ? form->cmdOk : nullptr);
    };
}

// Clicks the message box's button that gives that answer.
inline Answer Button(MsgBoxAnswer answer)
{
    return [answer](QDialog &dialog) {
        using B = QMessageBox;
        // In MsgBoxAnswer's order.
        const B::StandardButton standard[] = {B::Ok, B::Cancel, B::Yes, B::No, B::Retry};
        auto *box = qobject_cast<QMessageBox *>(&dialog);
        return Click(box ? box->button(standard[static_cast<int>(answer)]) : nullptr);
    };
}

// Puts the password into the password box as a paste would (the box's limits apply) and clicks OK.
inline Answer Password(const QString &password)
{
    return FillAndOk<frmGetPass>([password](frmGetPass &form) { Paste(*form.txtPass, password); });
}

// Puts the two texts into frmGetNewPass's two boxes and clicks OK.
inline Answer NewPassword(const QString &password, const QString &confirmation)
{
    return FillAndOk<frmGetNewPass>([password, confirmation](frmGetNewPass &form) {
        Paste(*form.txtPass, password);
        Paste(*form.txtConfirm, confirmation);
    });
}

// Puts the name into frmUserList's edit field, as picking or typing it would, and clicks OK.
inline Answer PickUser(const QString &name)
{
    return FillAndOk<frmUserList>([name](frmUserList &form) { form.cmbUserName->setEditText(name); });
}

// Presses Esc where the focus is.
inline Answer Escape()
{
    return [](QDialog &dialog) {
        QTest::keyClick(dialog.focusWidget() ? dialog.focusWidget() : &dialog, Qt::Key_Escape);
        return QString();
    };
}

} // namespace Answers

Q_DECLARE_METATYPE(Answer)

class ScriptedModals final : public ModalRunner
{
public:
    explicit ScriptedModals(std::initializer_list<Answer> answers = {}) : answers_(answers) { SetModalRunner(this); }
    ~ScriptedModals() override { SetModalRunner(nullptr); }

    const QStringList &log() const { return log_; }
    void Add(Answer answer) { answers_.push_back(std::move(answer)); }

    int Run(QDialog &dialog) override
    {
        log_ << Describe(dialog);
        dialog.show();
        while (dialog.isVisible()) {
            QString error = QStringLiteral("no answer left");
            if (!answers_.empty()) {
                const Answer answer = std::move(answers_.front());
                answers_.pop_front();
                error = answer(dialog);
            }
            if (!error.isEmpty()) {
                const QString failure = error + QStringLiteral(" for \"%1\"").arg(log_.last());
                QTest::qFail(qPrintable(failure), __FILE__, __LINE__);
                dialog.done(QDialog::Rejected);
            }
        }
        return dialog.result();
    }

private:
    static QString Describe(const QDialog &dialog)
    {
        if (const auto *box = qobject_cast<const QMessageBox *>(&dialog))
            return QStringLiteral("MsgBox[%1]%2: %3")
                .arg(StyleOf(*box))
                .arg(box->textFormat() == Qt::PlainText && !box->parent() ? "" : " owned or rich text")
                .arg(box->text());
        return QString::fromLatin1(dialog.metaObject()->className()) + QStringLiteral(": ") + dialog.windowTitle();
    }

    // The names of the MsgBoxIcon and MsgBoxButtons that show this box's icon and buttons.
    static QString StyleOf(const QMessageBox &box)
    {
        const char *set = box.button(QMessageBox::Yes)     ? "YesNo"
                          : box.button(QMessageBox::Retry) ? "RetryCancel"
                                                           : "Ok";
        const char *icons[] = {"None", "Information", "Warning", "Critical", "Question"};
        return QString::fromLatin1(icons[box.icon()]) + u' ' + QString::fromLatin1(set);
    }

    std::deque<Answer> answers_;
    QStringList log_;
};
