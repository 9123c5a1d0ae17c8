#include "exporter/plugin/conversion_profile.h"

#include <cstdio>
#include <memory>

#include "exporter/plugin/plugin_paths.h"
#include "objectmodel/math_functions.h"
#include "objectmodel/matrix3.h"
#include "objectmodel/string_helpers.h"
#include "platform/file_system.h"

namespace {

// The lines of the file come in pieces of at most this many characters.
constexpr int kLineBuffer = 1024;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// Up to four whitespace-separated words of a line.
int SplitWords(std::string_view line, std::string_view (&words)[4]) {
  int count = 0;
  std::size_t i = 0;
  while (count < 4) {
    while (i < line.size() && IsSpace(line[i])) ++i;
    if (i == line.size()) break;
    const std::size_t start = i;
    while (i < line.size() && !IsSpace(line[i])) ++i;
    words[count++] = line.substr(start, i - start);
  }
  return count;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

struct FileCloser {
  void operator()(std::FILE* file) const { KT::Platform::CloseFile(file); }
};

// The next piece of a line, without the line feed that ends it; false at
// the end of the file.
bool ReadLine(std::FILE* file, std::string& line) {
  char buffer[kLineBuffer];
  if (std::fgets(buffer, kLineBuffer, file) == nullptr) return false;
  line.assign(buffer);
  if (!line.empty() && line.back() == '\n') line.pop_back();
  return true;
}

}  // namespace

void ParseProfileNumbers(std::string_view text, KT::i32 (&numbers)[6]) {
  for (KT::i32& number : numbers) {
    const std::size_t comma = text.find(',');
    number = KT::StringToInt(text.substr(0, comma));
    // Without a further "," the same text is read again.
    if (comma != std::string_view::npos) text.remove_prefix(comma + 1);
  }
}

KT::CMatrix4 ProfileMatrix(const KT::i32 (&axisCodes)[3], const KT::i32 (&angles)[3]) {
  KT::CMatrix3 a = KT::CMatrix3::Zero();
  for (int row = 0; row < 3; ++row) {
    const KT::i32 code = axisCodes[row];
    if (code >= 1 && code <= 3)
      a.m[row][code - 1] = 1.0f;
    else if (code >= -3 && code <= -1)
      a.m[row][-code - 1] = -1.0f;
    else
      a.m[row][row] = 1.0f;
  }
  const KT::CVector3<float> axes[3] = {{1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 1.0f}};
  // Rz first, then Ry, then Rx in front: Rx x Ry x Rz x A.
  for (int axis = 2; axis >= 0; --axis) {
    KT::CMatrix3 r;
    r.SetRotationAxisAngle(axes[axis], static_cast<float>(angles[axis]) * KT::kPi / 180.0f);
    a = r * a;
  }
  KT::CMatrix4 out = KT::CMatrix4::Zero();
  out.SetRotation3x3(a);
  out.m[3][3] = 1.0f;
  return out;
}

void LoadConversionProfile(KT::Result& result, const std::string& path, std::vector<ProfileRecord>& profile) {
  std::unique_ptr<std::FILE, FileCloser> file(KT::Platform::OpenFile(ToWide(path), KT::Platform::FileMode::kRead));
  if (!file) {
    result = KT::kErrTreeData;
    return;
  }
  std::string line;
  ReadLine(file.get(), line);  // the header
  while (ReadLine(file.get(), line)) {
    std::string_view words[4];
    // A line of fewer than four words holds no record.
    if (SplitWords(line, words) < 4) continue;
    if (EqualsNoCase(words[0], "Position") || EqualsNoCase(words[0], "FrameRate")) continue;
    ProfileRecord record;
    KT::i32 axisCodes[3] = {};
    KT::i32 angles[3] = {};
    if (words[0] == "*") {
      record.HostBone = kProfileDefaultName;
      record.RigBone = ToWide(words[1]);
      ParseProfileNumbers(words[3].substr(1), record.Numbers);
      for (int i = 0; i < 3; ++i) {
        axisCodes[i] = record.Numbers[i];
        angles[i] = record.Numbers[3 + i];
      }
    } else if (words[3].front() == '.') {
      record.HostBone = ToWide(words[0]);
      record.RigBone = ToWide(words[2]);
      ParseProfileNumbers(words[3].substr(1), record.Numbers);
      for (int i = 0; i < 3; ++i) axisCodes[i] = record.Numbers[i];
    } else {
      record.HostBone = ToWide(words[0]);
      record.RigBone = ToWide(words[2]);
      ParseProfileNumbers(words[3], record.Numbers);
      for (int i = 0; i < 3; ++i) {
        angles[i] = record.Numbers[i];
        axisCodes[i] = record.Numbers[3 + i];
      }
    }
    record.Matrix = ProfileMatrix(axisCodes, angles);
    profile.push_back(std::move(record));
  }
  result = KT::kOk;
}
