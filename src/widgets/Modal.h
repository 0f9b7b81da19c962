#pragma once

// Every modal dialog and message box of the program runs through RunModal, so tests can answer them.

class QDialog;

// Runs one modal dialog to its end and returns its result, as QDialog::exec would.
class ModalRunner
{
public:
    virtual ~ModalRunner() = default;
    virtual int Run(QDialog &dialog) = 0;
};

// The installed runner's Run, else dialog.exec(). A dialog is first made wide enough for its title.
int RunModal(QDialog &dialog);
// The innermost dialog RunModal is running, or nullptr.
QDialog *OpenModal();
// Installs the runner every later RunModal uses; nullptr restores exec(). The caller keeps
// ownership and removes the runner before it ends. For tests.
void SetModalRunner(ModalRunner *runner);
