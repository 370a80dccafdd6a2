#pragma once
// Where the program's message boxes go. The window installs a sink that shows
// a message box with an OK button; an unattended run (no display, or "no_ihm"
// on the command line) keeps the default, which writes to standard error and
// never waits for anybody.
//
// Code of any subsystem shows its messages through ShowMessage/ShowError, so
// that the same code runs behind the window and unattended.
#include <string>
#include <string_view>

namespace tabulor::shell {

class MessageSink {
 public:
  virtual ~MessageSink() = default;
  // A plain message with an OK button.
  virtual void ShowMessage(const std::string& text) = 0;
  // The application's standard error message (an error nothing else caught).
  virtual void ShowError(const std::string& text) = 0;
};

class StderrMessageSink : public MessageSink {
 public:
  void ShowMessage(const std::string& text) override;
  void ShowError(const std::string& text) override;
};

// The process's sink; the stderr one until another is installed.
MessageSink& Messages();
// Installs `sink` (not owned; null restores the stderr sink).
void SetMessageSink(MessageSink* sink);

inline void ShowMessage(std::string_view text) { Messages().ShowMessage(std::string(text)); }
inline void ShowError(std::string_view text) { Messages().ShowError(std::string(text)); }

}  // namespace tabulor::shell
