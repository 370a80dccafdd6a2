// What the compression offers the main window: its form, and its run without
// a window for the "zip_data" switch.
#include <memory>

#include "compress/gui/compress_form.h"
#include "compress/unattended.h"
#include "shell/gui/form_registry.h"
#include "shell/registry.h"

namespace {

const tabulor::shell::UnattendedRegistration compress_run{tabulor::shell::ShellFunction::kCompress,
                                                          [](const tabulor::shell::FunctionContext& context) {
                                                            tabulor::compress::RunUnattended(context);
                                                          }};

const tabulor::shell::gui::FormRegistration compress_form{
    tabulor::shell::ShellFunction::kCompress,
    [](QWidget* owner, const tabulor::shell::FunctionContext& context) {
      return std::make_unique<tabulor::compress::gui::TfmCompress>(owner, tabulor::compress::gui::CompressFormSetup{context, {}});
    }};

}  // namespace
