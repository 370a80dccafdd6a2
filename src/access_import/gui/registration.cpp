// The two entries of the main window: the patients only, and the whole base (hidden).
#include <memory>

#include "access_import/gui/mdb_import_form.h"
#include "shell/gui/form_registry.h"
#include "shell/registry.h"

namespace {

using tabulor::access_import::gui::TfmMdbImport;
using tabulor::shell::FunctionContext;
using tabulor::shell::ShellFunction;

const tabulor::shell::gui::FormRegistration patients_form{
    ShellFunction::kImportAccessPatients, [](QWidget* owner, const FunctionContext& context) {
      return std::make_unique<TfmMdbImport>(owner, context, /*AccessFullImport=*/false);
    }};
const tabulor::shell::gui::FormRegistration full_form{
    ShellFunction::kImportAccessFull, [](QWidget* owner, const FunctionContext& context) {
      return std::make_unique<TfmMdbImport>(owner, context, /*AccessFullImport=*/true);
    }};

}  // namespace
