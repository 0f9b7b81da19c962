#pragma once

// Scripted answers for the program's modal dialogs and message boxes. While a ScriptedModals
// lives, every RunModal shows the real dialog without a modal loop and hands it the next answer
// in the queue, and the next one while the dialog stays open, until it closes. Each dialog is
// recorded in log() as it appears:
//   "MsgBox[<icon + buttons>]: <text>", e.g. "MsgBox[16]: Incorrect password."
//   "frmUserList: <entries joined by ','>", e.g. "frmUserList: alice,bob"
//   otherwise "<class>: <caption>", e.g. "frmGetPass: Enter password for user bob"
// and its caption in titles(). A dialog that finds no answer left, or an answer that does not fit
// its dialog, fails the running test, is recorded in errors() and closes the dialog as cancelled.

#include "Modal.h"
#include "MsgBox.h"
#include "frmGetNewPass.h"
#include "frmGetPass.h"
#include "frmUserList.h"

#include <QComboBox>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>
#include <QTest>

#include <deque>
#include <functional>
#include <initializer_list>
#include <utility>

// One answer: acts on the real dialog as a person would and returns the empty text, or returns
// why it cannot.
class Answer
{
public:
    using Act = std::function<QString(QDialog &)>;

    explicit Answer(Act act) : act_(std::move(act)) {}
    QString operator()(QDialog &dialog) const { return act_(dialog); }

    // Clicks the message box's button with that code (vbOK, vbCancel, vbYes, vbNo).
    static Answer Button(int code)
    {
        return Answer([code](QDialog &dialog) {
            auto *box = qobject_cast<QMessageBox *>(&dialog);
            if (!box)
                return QStringLiteral("Button(%1) answered a dialog that is no message box").arg(code);
            QAbstractButton *button = box->button(StandardButtonOf(code));
            if (!button)
                return QStringLiteral("the message box has no button %1").arg(code);
            button->click();
            return QString();
        });
    }

    // Puts the password into the password box as a paste would (the box's limits apply) and clicks OK.
    static Answer Password(const QString &password)
    {
        return Answer([password](QDialog &dialog) {
            auto *form = qobject_cast<frmGetPass *>(&dialog);
            if (!form)
                return QStringLiteral("Password answered a dialog that is no frmGetPass");
            Paste(*form->txtPass, password);
            form->cmdOk->click();
            return QString();
        });
    }

    // Puts the two texts into frmGetNewPass's two boxes and clicks OK.
    static Answer NewPassword(const QString &password, const QString &confirmation)
    {
        return Answer([password, confirmation](QDialog &dialog) {
            auto *form = qobject_cast<frmGetNewPass *>(&dialog);
            if (!form)
                return QStringLiteral("NewPassword answered a dialog that is no frmGetNewPass");
            Paste(*form->txtPass, password);
            Paste(*form->txtConfirm, confirmation);
            form->cmdOk->click();
            return QString();
        });
    }

    // Picks the name in frmUserList when it is listed, else types it, and clicks OK.
    static Answer PickUser(const QString &name)
    {
        return Answer([name](QDialog &dialog) {
            auto *form = qobject_cast<frmUserList *>(&dialog);
            if (!form)
                return QStringLiteral("PickUser answered a dialog that is no frmUserList");
            const int index = form->cmbUserName->findText(name, Qt::MatchExactly | Qt::MatchCaseSensitive);
            if (index >= 0)
                form->cmbUserName->setCurrentIndex(index);
            else
                form->cmbUserName->setEditText(name);
            form->cmdOk->click();
            return QString();
        });
    }

    // Clicks the dialog's cmdCancel, or the message box's Cancel button.
    static Answer Cancel()
    {
        return Answer([](QDialog &dialog) {
            auto *button = dialog.findChild<QPushButton *>(QStringLiteral("cmdCancel"));
            if (auto *box = qobject_cast<QMessageBox *>(&dialog))
                button = qobject_cast<QPushButton *>(box->button(QMessageBox::Cancel));
            if (!button)
                return QStringLiteral("Cancel answered a dialog without a Cancel button");
            button->click();
            return QString();
        });
    }

    // Presses Esc where the focus is.
    static Answer Escape()
    {
        return Answer([](QDialog &dialog) {
            QTest::keyClick(dialog.focusWidget() ? dialog.focusWidget() : &dialog, Qt::Key_Escape);
            return QString();
        });
    }

    // Clicks the close box.
    static Answer Close()
    {
        return Answer([](QDialog &dialog) {
            dialog.close();
            return QString();
        });
    }

private:
    static QMessageBox::StandardButton StandardButtonOf(int code)
    {
        switch (code) {
        case vbOK:
            return QMessageBox::Ok;
        case vbCancel:
            return QMessageBox::Cancel;
        case vbYes:
            return QMessageBox::Yes;
        case vbNo:
            return QMessageBox::No;
        default:
            return QMessageBox::NoButton;
        }
    }

    static void Paste(QLineEdit &box, const QString &text)
    {
        box.selectAll();
        box.insert(text);
    }

    Act act_;
};

class ScriptedModals final : public ModalRunner
{
public:
    explicit ScriptedModals(std::initializer_list<Answer> answers = {}) : answers_(answers) { SetModalRunner(this); }
    ~ScriptedModals() override { SetModalRunner(nullptr); }
    ScriptedModals(const ScriptedModals &) = delete;
    ScriptedModals &operator=(const ScriptedModals &) = delete;

    void Add(Answer answer) { answers_.push_back(std::move(answer)); }

    const QStringList &log() const { return log_; }
    const QStringList &titles() const { return titles_; }
    const QStringList &errors() const { return errors_; }
    // Answers not used yet.
    qsizetype remaining() const { return static_cast<qsizetype>(answers_.size()); }

    int Run(QDialog &dialog) override
    {
        log_ << Describe(dialog);
        titles_ << dialog.windowTitle();
        dialog.show();
        while (dialog.isVisible()) {
            if (answers_.empty()) {
                Fail(QStringLiteral("no answer left for \"%1\"").arg(log_.last()));
                break;
            }
            const Answer answer = std::move(answers_.front());
            answers_.pop_front();
            if (const QString error = answer(dialog); !error.isEmpty()) {
                Fail(error);
                break;
            }
        }
        if (dialog.isVisible())
            dialog.done(QDialog::Rejected);
        return dialog.result();
    }

private:
    static QString Describe(const QDialog &dialog)
    {
        if (const auto *box = qobject_cast<const QMessageBox *>(&dialog))
            return QStringLiteral("MsgBox[%1]: %2").arg(QString::number(StyleOf(*box)), box->text());
        if (const auto *form = qobject_cast<const frmUserList *>(&dialog)) {
            QStringList names;
            for (int i = 0; i < form->cmbUserName->count(); ++i)
                names << form->cmbUserName->itemText(i);
            return QStringLiteral("frmUserList: ") + names.join(u',');
        }
        return QString::fromLatin1(dialog.metaObject()->className()) + QStringLiteral(": ") + dialog.windowTitle();
    }

    static int StyleOf(const QMessageBox &box)
    {
        const QMessageBox::StandardButtons buttons = box.standardButtons();
        int style = vbOKOnly;
        if (buttons.testFlags(QMessageBox::Yes | QMessageBox::No))
            style = buttons.testFlag(QMessageBox::Cancel) ? vbYesNoCancel : vbYesNo;
        else if (buttons.testFlag(QMessageBox::Cancel))
            style = vbOKCancel;
        switch (box.icon()) {
        case QMessageBox::Critical:
            return style | vbCritical;
        case QMessageBox::Question:
            return style | vbQuestion;
        case QMessageBox::Warning:
            return style | vbExclamation;
        case QMessageBox::Information:
            return style | vbInformation;
        default:
            return style;
        }
    }

    void Fail(const QString &message)
    {
        errors_ << message;
        QTest::qFail(qPrintable(message), __FILE__, __LINE__);
    }

    std::deque<Answer> answers_;
    QStringList log_;
    QStringList titles_;
    QStringList errors_;
};
