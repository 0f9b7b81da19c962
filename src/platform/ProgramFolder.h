#pragma once

#include <QString>

#include <filesystem>

// The folder holding the running program's file, known before Qt starts. Throws std::filesystem::filesystem_error
// when the system does not say.
std::filesystem::path ProgramFolder();

// The folder of the account database. A program that runs from the folder it was built to be installed to (the
// install prefix's bin folder, fixed at configure time) uses the shared data folder fixed then too; a program
// anywhere else, such as the build folder, keeps the database beside itself. Throws as ProgramFolder does.
std::filesystem::path DataFolder();

// A second line for "Cannot open database." when the system refuses this user access to the file of this name in
// the data folder: it names the file and says how to get access. Empty when access is granted or fails for another
// reason, such as a missing file.
QString AccessAdvice(const std::filesystem::path &fileName);
