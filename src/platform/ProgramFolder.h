#pragma once

#include <filesystem>

// The folder holding the running program's file, known before Qt starts. Throws std::filesystem::filesystem_error
// when the system does not say.
std::filesystem::path ProgramFolder();
