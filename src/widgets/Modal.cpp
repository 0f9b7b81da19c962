#include "Modal.h"

#include <QDialog>
#include <QFontDatabase>
#include <QLayout>
#include <QMessageBox>
#include <QScopeGuard>
#include <QScreen>

#include <algorithm>

#include <vector>

namespace {

ModalRunner *installedRunner = nullptr;
// Innermost last.
std::vector<QDialog *> openModals;

// A window manager cuts a title its frame cannot hold: a dialog is made at least as wide as its title in a bold face
// of the title font, with room for the frame's buttons, as far as the screen allows. A message box's title is the
// program's short name.
void FitToTitle(QDialog &dialog)
{
    QLayout *layout = dialog.layout();
    if (!layout || qobject_cast<QMessageBox *>(&dialog))
        return;
    QFont font = QFontDatabase::systemFont(QFontDatabase::TitleFont);
    font.setBold(true);
    const QFontMetrics metrics(font);
    const int frame = 6 * metrics.height();
    const int wanted = metrics.horizontalAdvance(dialog.windowTitle()) + frame;
    const QScreen *screen = dialog.screen();
    const int room = screen ? screen->availableGeometry().width() : wanted;
    const QMargins margins = layout->contentsMargins();
    const int inside = std::min(wanted, room) - margins.left() - margins.right();
    if (inside > layout->sizeHint().width() - margins.left() - margins.right())
        layout->addItem(new QSpacerItem(inside, 0, QSizePolicy::Fixed, QSizePolicy::Minimum));
}

} // namespace

int RunModal(QDialog &dialog)
{
    FitToTitle(dialog);
    openModals.push_back(&dialog);
    const auto closed = qScopeGuard([] { openModals.pop_back(); });
    return installedRunner ? installedRunner->Run(dialog) : dialog.exec();
}

QDialog *OpenModal()
{
    return openModals.empty() ? nullptr : openModals.back();
}

void SetModalRunner(ModalRunner *runner)
{
    installedRunner = runner;
}
