#pragma once

#include <QString>

// The application's title: the caption of every message box unless a caller names another.
inline const QString AppTitle = QStringLiteral("Tarnwick");

// Icon (style & 0x70), button set (style & 0x7) and default button of a message box, added together.
enum MsgBoxStyle : int
{
    vbOKOnly = 0,
    vbOKCancel = 1,
    vbYesNoCancel = 3,
    vbYesNo = 4,
    vbRetryCancel = 5,
    vbCritical = 16,
    vbQuestion = 32,
    vbExclamation = 48,
    vbInformation = 64,
    vbDefaultButton2 = 256
};

// The button the person chose.
enum MsgBoxResult : int
{
    vbOK = 1,
    vbCancel = 2,
    vbRetry = 4,
    vbYes = 6,
    vbNo = 7
};

// The standard modal message box, no owner, run through RunModal; an empty title means the
// application's title. The prompt is shown as plain text. Returns the code of the button clicked.
// Esc and the close box answer OK in an OK-only box and Cancel in every other, a Yes/No box too: an
// unanswered question. A button set other than the five above shows OK only. The first button is the
// default (Enter) unless vbDefaultButton2 makes it the second.
int MsgBox(const QString &prompt, int style = vbOKOnly, const QString &title = QString());
// A Yes/No question as above whose two buttons say what they do ("&Keep", "&Discard").
int MsgBox(const QString &prompt, int style, const QString &yesText, const QString &noText);
