#pragma once
// The directory of the program file, ending in a separator. Every file the
// program reads or writes by itself (configuration, logs, DATA) is built on it.
#include <string>

namespace tabulor::shell {

const std::string& ProgramDir();
// Set by the data module at the start of its creation; cleared at the end of the program.
void SetProgramDir(std::string dir);

// The running program's file (from /proc/self/exe), and the directory part of a
// path with its trailing separator.
std::string RunningProgramFile();
std::string DirectoryWithSeparator(const std::string& file_path);

}  // namespace tabulor::shell
