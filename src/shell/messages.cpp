#include "shell/messages.h"

#include <cstdio>

#include "shell/msg.h"

namespace tabulor::shell {
namespace {
MessageSink* installed = nullptr;

void WriteLine(const char* prefix, const std::string& text) {
  std::fprintf(stderr, "%s%s\n", prefix, text.c_str());
  std::fflush(stderr);
}
}  // namespace

void StderrMessageSink::ShowMessage(const std::string& text) { WriteLine("tabulor: ", text); }
void StderrMessageSink::ShowError(const std::string& text) { WriteLine(msg::ErrorPrefix().c_str(), text); }

MessageSink& Messages() {
  static StderrMessageSink fallback;
  return installed ? *installed : fallback;
}

void SetMessageSink(MessageSink* sink) { installed = sink; }

}  // namespace tabulor::shell
