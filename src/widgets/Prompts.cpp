#include "Prompts.h"

#include "MsgBox.h"

namespace {

QString TitleOf(const QString &title)
{
    return title == u"Default" ? AppTitle : title;
}

} // namespace

bool AskYesNo(const QString &prompt, const QString &title, int &style)
{
    return AskYesNoOrClose(prompt, title, style).value_or(false);
}

std::optional<bool> AskYesNoOrClose(const QString &prompt, const QString &title, int &style)
{
    const int answer = MsgBox(prompt, style | vbYesNo, TitleOf(title));
    if (answer == vbCancel)
        return std::nullopt;
    return answer == vbYes;
}

int AskYesNoCancel(const QString &prompt, const QString &title, int &style)
{
    return MsgBox(prompt, style | vbYesNoCancel, TitleOf(title));
}
