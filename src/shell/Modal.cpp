#include "Modal.h"

#include <QDialog>
#include <QScopeGuard>

#include <vector>

namespace {

ModalRunner *installedRunner = nullptr;
// Innermost last.
std::vector<QDialog *> openModals;

} // namespace

int RunModal(QDialog &dialog)
{
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
