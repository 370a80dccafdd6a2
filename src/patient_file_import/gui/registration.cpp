// The entry of the main window (hidden until revealed), and the instance kept
// hidden from start-up to the end.
#include <memory>

#include "patient_file_import/gui/pedora_form.h"
#include "shell/gui/form_registry.h"
#include "shell/registry.h"

namespace {

const tabulor::shell::gui::FormRegistration pedora_form{
    tabulor::shell::ShellFunction::kImportPatientFile,
    [](QWidget* owner, const tabulor::shell::FunctionContext& context) {
      return std::make_unique<tabulor::patient_file_import::gui::TfmPedora>(owner, context);
    }};

}  // namespace
