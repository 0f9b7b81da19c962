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
    return MsgBox(prompt, style | vbYesNo, TitleOf(title)) == vbYes;
}

int AskYesNoCancel(const QString &prompt, const QString &title, int &style)
{
    return MsgBox(prompt, style | vbYesNoCancel, TitleOf(title));
}
