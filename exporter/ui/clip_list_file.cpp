#include "exporter/ui/clip_list_file.h"

#include <cstdio>
#include <locale>
#include <sstream>

#include "platform/file_system.h"
#include "platform/text_encoding.h"
#include "platform/ui/ui_script.h"

std::string DefaultClipName(unsigned number) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "DefaultClip%02u", number);
  return buffer;
}

std::string ClipValidationMessage(int start, int end, int first, int last) {
  if (start < 0) return "The \"From\" value is less than 0.";
  if (end < 0) return "The \"To\" value is less than 0.";
  if (end < start) return "The \"To\" value must be larger than \"From\".";
  if (start < first || start > last) return "The \"From\" value is out of range.";
  if (end < first || end > last) return "The \"To\" value is out of range.";
  return {};
}

bool SaveClipListText(const std::u16string& path, int contentType, const std::vector<ClipRow>& rows) {
  std::FILE* file = KT::Platform::OpenFile(path, KT::Platform::FileMode::kWrite);
  if (file == nullptr) {
    MessageBoxA(nullptr, "Open file failed.", "Error", MB_OK | MB_ICONSTOP);
    return false;
  }
  const std::u16string key = ClipListKey(contentType);
  std::string text(1, '#');
  text.append(std::to_string(contentType)).append(1, ' ').append(KT::Platform::Utf16ToUtf8Lossy(key)).append("\r\n");
  text.append("#Name, Start, End\r\n");
  for (const ClipRow& row : rows) {
    // A name goes through the code page to wide text and back one byte per
    // character; a character above U+00FF fails the stream there, and
    // nothing after it is written.
    const std::u16string wide = KT::Platform::Windows1252ToUtf16(row.name);
    std::size_t kept = 0;
    while (kept < wide.size() && wide[kept] <= 0xFF) ++kept;
    text.append(row.name, 0, kept);
    if (kept < wide.size()) break;
    text.append(1, ' ').append(std::to_string(row.start)).append(1, ' ');
    text.append(std::to_string(row.end)).append("\r\n");
  }
  // A failure part way is not reported, as the dialog never did.
  KT::Platform::WriteFile(file, text.data(), text.size());
  KT::Platform::CloseFile(file);
  return true;
}

bool LoadClipListText(const std::u16string& path, std::vector<ClipRow>& rows) {
  std::FILE* file = KT::Platform::OpenFile(path, KT::Platform::FileMode::kRead);
  if (file == nullptr) {
    MessageBoxA(nullptr, "Failed to open this file.", "Error", MB_OK | MB_ICONEXCLAMATION);
    return false;
  }
  std::string text;
  char chunk[4096];
  for (std::size_t n; (n = KT::Platform::ReadFile(file, chunk, sizeof chunk)) > 0;) text.append(chunk, n);
  KT::Platform::CloseFile(file);

  std::istringstream in(text);
  in.imbue(std::locale::classic());
  // Two header lines, each read into a buffer of 256 characters.
  char line[256];
  in.getline(line, sizeof line);
  in.getline(line, sizeof line);
  rows.clear();
  ClipRow row;
  while (in >> row.name >> row.start >> row.end) rows.push_back(row);
  return true;
}
