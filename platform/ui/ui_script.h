// The input of the headless dialogs: a script of user actions that modal
// dialogs play, and the record of the message boxes shown. Both are
// process-wide, as the user and the screen are.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "platform/ui/ui_types.h"

struct UiAction {
  enum class Kind { kSetText, kClick, kEnter, kEscape };
  Kind kind = Kind::kClick;
  int id = 0;
  std::string text;
};

struct RecordedMessage {
  std::string text;
  std::string caption;
  unsigned type = MB_OK;
};

class UiScript {
 public:
  static UiScript& Current();

  // Actions are played in order by the modal dialog that runs.
  UiScript& SetText(int id, std::string text);
  UiScript& Click(int id);
  UiScript& Enter();
  UiScript& Escape();
  bool Empty() const { return actions_.empty(); }
  UiAction Next();
  void Clear();

  void Record(RecordedMessage message) { messages_.push_back(std::move(message)); }
  const std::vector<RecordedMessage>& Messages() const { return messages_; }

 private:
  std::deque<UiAction> actions_;
  std::vector<RecordedMessage> messages_;
};

// Records the box and answers IDOK.
int MessageBoxA(HWND owner, const char* text, const char* caption, unsigned type);
