#pragma once
// The compression without a window ("zip_data" on the command line): the
// default threshold, COMPRESS.log beside the program, messages through the
// process's message sink (standard error when nobody sees windows), errors
// thrown to the command line, which reports them and fails.
#include "shell/function_context.h"

namespace tabulor::compress {

// On the context's session; COMPRESS.log in its program directory; messages to its sink.
void RunUnattended(const shell::FunctionContext& context);

}  // namespace tabulor::compress
