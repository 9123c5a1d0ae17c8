#include "platform/ui/ui_script.h"

UiScript& UiScript::Current() {
  static UiScript script;
  return script;
}

UiScript& UiScript::Add(UiAction action) {
  actions_.push_back(std::move(action));
  return *this;
}

UiScript& UiScript::SetText(int id, std::string text) {
  return Add({UiAction::Kind::kSetText, id, std::move(text), -1, -1, {}});
}

UiScript& UiScript::Click(int id) { return Add({UiAction::Kind::kClick, id, {}, -1, -1, {}}); }

UiScript& UiScript::Select(int id, int row) { return Add({UiAction::Kind::kSelect, id, {}, row, -1, {}}); }

UiScript& UiScript::DropDown(int id) { return Add({UiAction::Kind::kDropDown, id, {}, -1, -1, {}}); }

UiScript& UiScript::DoubleClick(int id, int row, int column) {
  return Add({UiAction::Kind::kDoubleClick, id, {}, row, column, {}});
}

UiScript& UiScript::Focus(int id) { return Add({UiAction::Kind::kFocus, id, {}, -1, -1, {}}); }

UiScript& UiScript::KillFocus(int id) { return Add({UiAction::Kind::kKillFocus, id, {}, -1, -1, {}}); }

UiScript& UiScript::Enter() { return Add({UiAction::Kind::kEnter, 0, {}, -1, -1, {}}); }

UiScript& UiScript::Escape() { return Add({UiAction::Kind::kEscape, 0, {}, -1, -1, {}}); }

UiScript& UiScript::Answer(std::string path) { return Add({UiAction::Kind::kAnswer, 0, std::move(path), -1, -1, {}}); }

UiScript& UiScript::Call(std::function<void()> call) {
  return Add({UiAction::Kind::kCall, 0, {}, -1, -1, std::move(call)});
}

UiAction UiScript::Next() {
  UiAction a = std::move(actions_.front());
  actions_.pop_front();
  return a;
}

bool UiScript::TakeAnswer(std::string& text) {
  if (actions_.empty() || actions_.front().kind != UiAction::Kind::kAnswer) return false;
  text = Next().text;
  return true;
}

void UiScript::Clear() {
  actions_.clear();
  messages_.clear();
  dialogs_.clear();
}

int MessageBoxA(HWND, const char* text, const char* caption, unsigned type) {
  UiScript::Current().Record({text != nullptr ? text : "", caption != nullptr ? caption : "", type});
  return IDOK;
}
