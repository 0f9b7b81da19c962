#include "Modal.h"

#include <QDialog>

namespace {

ModalRunner *installedRunner = nullptr;

} // namespace

int RunModal(QDialog &dialog)
{
    return installedRunner ? installedRunner->Run(dialog) : dialog.exec();
}

void SetModalRunner(ModalRunner *runner)
{
    installedRunner = runner;
}
