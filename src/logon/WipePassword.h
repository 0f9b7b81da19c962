#pragma once

#include <QString>

// Overwrites a typed password with spaces where its characters lie, then empties the string.
// The characters themselves are overwritten when the string holds the only reference to them,
// as the password prompts and PasswordBox::TakeText hand them out; otherwise only this copy is.
inline void WipePassword(QString &password)
{
    password.fill(u' ');
    password.clear();
}
