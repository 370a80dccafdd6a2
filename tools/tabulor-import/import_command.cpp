#include "import_command.h"

namespace tabulor::import_tool {

std::map<std::string, ImportCommandInfo>& ImportCommands() {
  static std::map<std::string, ImportCommandInfo> commands;
  return commands;
}

}  // namespace tabulor::import_tool
