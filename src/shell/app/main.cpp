#include "shell/gui/startup.h"

int main(int argc, char** argv) { return tabulor::shell::gui::RunTabulor(argc, argv); }
