#include "Prompts.h"

bool AskYesNo(const QString &prompt, DefaultButton defaultButton)
{
    return AskYesNoOrClose(prompt, defaultButton).value_or(false);
}

std::optional<bool> AskYesNoOrClose(const QString &prompt, DefaultButton defaultButton)
{
    const MsgBoxAnswer answer = MsgBox(prompt, MsgBoxIcon::Question, MsgBoxButtons::YesNo, defaultButton);
    if (answer == MsgBoxAnswer::Cancel)
        return std::nullopt;
    return answer == MsgBoxAnswer::Yes;
}
