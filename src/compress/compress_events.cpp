#include "compress/compress_events.h"

#include "shell/messages.h"

namespace tabulor::compress {

void CompressEvents::ShowMessage(const std::string& text) { shell::ShowMessage(text); }

}  // namespace tabulor::compress
