#include "platform/ui/ui_script.h"

UiScript& UiScript::Current() {
  static UiScript script;
  return script;
}

UiScript& UiScript::SetText(int id, std::string text) {
  actions_.push_back({UiAction::Kind::kSetText, id, std::move(text)});
  return *this;
}

UiScript& UiScript::Click(int id) {
  actions_.push_back({UiAction::Kind::kClick, id, {}});
  return *this;
}

UiScript& UiScript::Enter() {
  actions_.push_back({UiAction::Kind::kEnter, 0, {}});
  return *this;
}

UiScript& UiScript::Escape() {
  actions_.push_back({UiAction::Kind::kEscape, 0, {}});
  return *this;
}

UiAction UiScript::Next() {
  UiAction a = actions_.front();
  actions_.pop_front();
  return a;
}

void UiScript::Clear() {
  actions_.clear();
  messages_.clear();
}

int MessageBoxA(HWND, const char* text, const char* caption, unsigned type) {
  UiScript::Current().Record({text != nullptr ? text : "", caption != nullptr ? caption : "", type});
  return IDOK;
}
