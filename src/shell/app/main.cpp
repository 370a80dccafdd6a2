#include "shell/gui/startup.h"
#include "shell/process_memory.h"

int main(int argc, char** argv) {
  tabulor::shell::ReturnFreedMemory();
  return tabulor::shell::gui::RunTabulor(argc, argv);
}
