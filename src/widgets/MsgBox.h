#pragma once

#include <QString>

// The application's title: the caption of every message box.
inline const QString AppTitle = QStringLiteral("Tarnwick");

// The buttons of a message box, in the order shown.
enum class MsgBoxButtons
{
    Ok,
    YesNo,
    RetryCancel
};

enum class MsgBoxIcon
{
    None,
    Critical,
    Question,
    Warning,
    Information
};

// Which button Enter clicks.
enum class DefaultButton
{
    First,
    Second
};

// The button the person chose.
enum class MsgBoxAnswer
{
    Ok,
    Cancel,
    Yes,
    No,
    Retry
};

// The standard modal message box, no owner, captioned with the application's title, run through RunModal. The
// prompt is shown as plain text. Esc and the close box answer Ok in an Ok-only box and Cancel in every other, a
// Yes/No box too: an unanswered question.
MsgBoxAnswer MsgBox(const QString &prompt, MsgBoxIcon icon, MsgBoxButtons buttons = MsgBoxButtons::Ok,
                    DefaultButton defaultButton = DefaultButton::First);
// A Yes/No question as above whose two buttons say what they do ("&Keep", "&Discard").
MsgBoxAnswer MsgBox(const QString &prompt, MsgBoxIcon icon, const QString &yesText, const QString &noText);
