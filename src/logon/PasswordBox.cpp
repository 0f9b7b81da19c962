#include "PasswordBox.h"

#include "SecretField.h"
#include "WipePassword.h"

#include <QValidator>

namespace {

class PasswordValidator final : public QValidator
{
public:
    using QValidator::QValidator;

    State validate(QString &input, int &) const override
    {
        for (qsizetype i = 0; i < input.size(); ++i) {
            const QChar unit = input.at(i);
            if (unit.category() == QChar::Other_Control)
                return Invalid;
            if (unit.isHighSurrogate() && i + 1 < input.size() && input.at(i + 1).isLowSurrogate())
                ++i;
            else if (unit.isSurrogate())
                return Invalid;
        }
        return Acceptable;
    }
};

} // namespace

PasswordBox::PasswordBox(QWidget *parent) : QLineEdit(parent)
{
    setEchoMode(QLineEdit::Password);
    setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));
    setMaxLength(MaxLength);
    setValidator(new PasswordValidator(this));
    ProtectSecretField(*this);
}

QString PasswordBox::TakeText()
{
    QString taken = text();
    // setText, unlike clear, also drops the undo history, which holds the typed characters too.
    setText(QString());
    return taken;
}

void PasswordBox::Wipe()
{
    QString taken = TakeText();
    WipePassword(taken);
}

void PasswordBox::focusInEvent(QFocusEvent *event)
{
    QLineEdit::focusInEvent(event);
    selectAll();
}
