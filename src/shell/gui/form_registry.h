#pragma once
// The forms the main window opens, registered by the subsystems that build
// them (see shell/registry.h for the whole registration). A form is created
// afresh for each use with the main window as owner and the program's context,
// shown modally and freed when its modal display returns.
#include <QDialog>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>

#include "shell/registry.h"

namespace tabulor::shell::gui {

using FormFactory = std::function<std::unique_ptr<QDialog>(QWidget* owner, const FunctionContext& context)>;

class FormRegistry {
 public:
  void Register(ShellFunction function, FormFactory factory);
  // Null when this build has no form for the function.
  const FormFactory* Find(ShellFunction function) const;

  // The program's forms, filled by static registrations.
  static FormRegistry& Global();

 private:
  std::map<ShellFunction, FormFactory> factories_;
};

struct FormRegistration {
  FormRegistration(ShellFunction function, FormFactory factory) {
    FormRegistry::Global().Register(function, std::move(factory));
  }
};

}  // namespace tabulor::shell::gui
