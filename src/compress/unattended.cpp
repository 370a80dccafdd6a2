#include "compress/unattended.h"

#include "compress/compress_run.h"
#include "shell/log_file.h"

namespace tabulor::compress {

namespace {

// Only the messages are told: nobody sees a report or a progress bar.
class MessageEvents : public CompressEvents {
 public:
  explicit MessageEvents(shell::MessageSink& sink) : sink_(sink) {}
  void ShowMessage(const std::string& text) override { sink_.ShowMessage(text); }

 private:
  shell::MessageSink& sink_;
};

}  // namespace

void RunUnattended(const shell::FunctionContext& context) {
  shell::LogFile log = shell::LogFile::InDirectory(context.program_dir, shell::kCompressLogName);
  MessageEvents events(context.Messages());
  CompressRun run(context.Session(), &log, events);
  run.Kompress(kDefaultThresholdText);
}

}  // namespace tabulor::compress
