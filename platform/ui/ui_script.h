// The input of the headless dialogs: a script of user actions that modal
// dialogs play, and the record of the message boxes and common dialogs
// shown. Both are process-wide, as the user and the screen are.
//
// Actions name their control by id; the modal dialog that plays them finds
// it among its own controls, then among its visible child dialogs. An
// action at a control that is missing, hidden or disabled does nothing, as
// a user cannot reach it.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/ui/ui_types.h"

struct UiAction {
  enum class Kind {
    kSetText,      // focus the control, then type `text` (an edit keeps its limit)
    kClick,        // focus the control, then click it (checks toggle, radios check)
    kSelect,       // choose `row` of a combo box (CBN_SELCHANGE) or mark it in a list
    kDropDown,     // open a combo box's list (CBN_DROPDOWN)
    kDoubleClick,  // double-click the cell (`row`, `column`) of a list (NM_DBLCLK)
    kFocus,        // give the control the focus
    kKillFocus,    // take the focus from the control (to its dialog)
    kEnter,        // the Enter key at the focus window
    kEscape,       // the Escape key at the focus window
    kAnswer,       // the choice of the next file or folder dialog
    kCall,         // runs `call` (a test looking at the dialogs mid-run)
  };
  Kind kind = Kind::kClick;
  int id = 0;
  std::string text;
  int row = -1;
  int column = -1;
  std::function<void()> call;
};

struct RecordedMessage {
  std::string text;
  std::string caption;
  unsigned type = MB_OK;
};

struct RecordedDialog {
  enum class Kind { kOpen, kSave, kFolder };
  Kind kind = Kind::kOpen;
  std::string text;  // the filter of a file dialog, the title of the folder browser
  std::string defaultExt;
  unsigned flags = 0;
};

class UiScript {
 public:
  static UiScript& Current();

  // Actions are played in order by the modal dialog that runs.
  UiScript& SetText(int id, std::string text);
  UiScript& Click(int id);
  UiScript& Select(int id, int row);
  UiScript& DropDown(int id);
  UiScript& DoubleClick(int id, int row, int column);
  UiScript& Focus(int id);
  UiScript& KillFocus(int id);
  UiScript& Enter();
  UiScript& Escape();
  UiScript& Answer(std::string path);
  UiScript& Call(std::function<void()> call);
  bool Empty() const { return actions_.empty(); }
  UiAction Next();
  // When the next action is an Answer, takes it into `text`.
  bool TakeAnswer(std::string& text);
  // Drops the actions and the records.
  void Clear();

  void Record(RecordedMessage message) { messages_.push_back(std::move(message)); }
  const std::vector<RecordedMessage>& Messages() const { return messages_; }
  void RecordDialog(RecordedDialog dialog) { dialogs_.push_back(std::move(dialog)); }
  const std::vector<RecordedDialog>& Dialogs() const { return dialogs_; }

 private:
  UiScript& Add(UiAction action);
  std::deque<UiAction> actions_;
  std::vector<RecordedMessage> messages_;
  std::vector<RecordedDialog> dialogs_;
};

// Records the box and answers IDOK.
int MessageBoxA(HWND owner, const char* text, const char* caption, unsigned type);
