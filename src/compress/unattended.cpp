#include "compress/unattended.h"

#include "compress/compress_run.h"
#include "shell/log_file.h"

namespace tabulor::compress {

void RunUnattended() {
  shell::LogFile log = shell::LogFile::InProgramDir(shell::kCompressLogName);
  CompressEvents events;
  CompressRun run(db::Session::Default(), &log, events);
  run.Kompress(kDefaultThresholdText);
}

}  // namespace tabulor::compress
