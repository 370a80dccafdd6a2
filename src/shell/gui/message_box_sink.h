#pragma once
// Messages shown in message boxes with an OK button, captioned with the
// program's title; installed when somebody can see the window.
#include "shell/messages.h"

namespace tabulor::shell::gui {

class MessageBoxSink : public MessageSink {
 public:
  void ShowMessage(const std::string& text) override;
  void ShowError(const std::string& text) override;
};

}  // namespace tabulor::shell::gui
