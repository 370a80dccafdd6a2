#pragma once
// What a function of the program works with: the window's forms, the
// unattended switches and the headless importer are all handed one context by
// their caller (start-up, the main window, tabulor-import or a test) instead of
// reaching for the data module or other process-wide state.
#include <stdexcept>
#include <string>

#include "db/paradox/engine.h"
#include "shell/messages.h"

namespace tabulor::shell {

struct FunctionContext {
  db::Session* session = nullptr;     // the engine session the database's alias lives in
  std::string database = "DB";        // the database every table of the function is opened in
  db::Table* version_table = nullptr; // Version.db on that database (the data module's tVersion)
  std::string program_dir;            // with its trailing separator: configuration, logs, letters, videos
  MessageSink* messages = nullptr;    // message boxes in the window, standard error unattended

  db::Session& Session() const {
    if (!session) throw std::logic_error("the function was given no database session");
    return *session;
  }
  db::Table& VersionTable() const {
    if (!version_table) throw std::logic_error("the function was given no version table");
    return *version_table;
  }
  MessageSink& Messages() const {
    if (!messages) throw std::logic_error("the function was given nowhere to show its messages");
    return *messages;
  }
  // The program directory, or the working directory when none is known.
  std::string ProgramDirOrCurrent() const { return program_dir.empty() ? "./" : program_dir; }
};

}  // namespace tabulor::shell
