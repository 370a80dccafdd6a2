#include "shell/gui/form_registry.h"

namespace tabulor::shell::gui {

void FormRegistry::Register(ShellFunction function, FormFactory factory) {
  factories_[function] = std::move(factory);
}

const FormFactory* FormRegistry::Find(ShellFunction function) const {
  const auto it = factories_.find(function);
  return it != factories_.end() && it->second ? &it->second : nullptr;
}

FormRegistry& FormRegistry::Global() {
  static FormRegistry registry;
  return registry;
}

}  // namespace tabulor::shell::gui
