// The database import entry of the main window (menu item and button).
#include <memory>

#include "paradox_import/gui/db_import_form.h"
#include "shell/gui/form_registry.h"
#include "shell/registry.h"

namespace {

const tabulor::shell::gui::FormRegistration db_import_form{
    tabulor::shell::ShellFunction::kImportDatabase,
    [](QWidget* owner, const tabulor::shell::FunctionContext& context) {
      return std::make_unique<tabulor::paradox_import::gui::TfmDbImport>(owner, context);
    }};

}  // namespace
