#pragma once
// The program from its start to its end: the refusal to run beside a sibling
// application, the data module, the main window (whose creation runs the
// command-line switches), the hidden patient-file form, then the message loop.
//
// Unattended use: without a display the program runs on the offscreen
// platform; there, and whenever "no_ihm" is given, messages go to standard
// error instead of waiting for a click. The exit status is 0 only when
// nothing failed (every switch ran, the alias was found, the base opened).
namespace tabulor::shell::gui {

int RunTabulor(int argc, char** argv);

}  // namespace tabulor::shell::gui
