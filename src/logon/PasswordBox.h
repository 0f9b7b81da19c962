#pragma once

#include <QLineEdit>

// A text box for a typed password: every character shown as "*", at most 50 characters, the
// whole text selected whenever it gets the focus. It refuses text with control characters (NUL
// among them) or a half of a surrogate pair, so a character cut off at the limit is left out whole.
class PasswordBox : public QLineEdit
{
public:
    static constexpr int MaxLength = 50;

    explicit PasswordBox(QWidget *parent);

    // Empties the box and returns its text, which then holds the only reference to the characters
    // the box kept, so that WipePassword on it overwrites them.
    QString TakeText();
    // Empties the box, overwriting its characters.
    void Wipe();

protected:
    void focusInEvent(QFocusEvent *event) override;
};
