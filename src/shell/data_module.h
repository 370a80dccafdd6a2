#pragma once
// The data module: it finds the configuration beside the program, binds the
// database alias, owns the one connection "DB" that every table of the
// program goes through, switches the language, and answers the schema version
// that gates the main window's functions.
#include <cstdint>
#include <functional>
#include <string>

#include "db/paradox/engine.h"
#include "shell/config.h"
#include "shell/messages.h"
#include "shell/startup_status.h"

namespace tabulor::shell {

struct DataModuleSetup {
  db::Session* session = nullptr;        // null: the process's default session
  std::string program_file;              // empty: the running program
  StartupStatus* status = nullptr;       // receives the termination request; may be null
  MessageSink* messages = nullptr;       // null: the process's sink
  // The language switch, given the locale (12 or 9); null: SwitchLanguage beside the program.
  std::function<void(int locale)> switch_language;
};

class TF_Data {
 public:
  explicit TF_Data(DataModuleSetup setup = {});
  ~TF_Data();
  TF_Data(const TF_Data&) = delete;
  TF_Data& operator=(const TF_Data&) = delete;

  // Sets ProgramDir, reads the configuration, creates or checks the alias,
  // opens DB and switches the language. An alias that must exist but does not
  // is told to the user and requests termination; errors of the alias creation
  // or of the connection are thrown (start-up reports them and goes on).
  void DataModuleCreate();
  void DataModuleDestroy();

  // The lowest "Version" of Version.db × 100 (0 for an empty table). Throws
  // the engine's error when the table cannot be read.
  int32_t SchemaVersion();

  db::Database DB;
  db::Table tVersion;  // "Version.db" on DB, closed between uses
  db::Field& tVersionNomTable();
  db::Field& tVersionVersion();

  // What the last DataModuleCreate read, and the locale it switched to (0: not switched).
  const MainSettings& Settings() const { return settings_; }
  int Locale() const { return locale_; }

 private:
  db::Session& session_;
  DataModuleSetup setup_;
  MainSettings settings_;
  int locale_ = 0;
};

}  // namespace tabulor::shell
