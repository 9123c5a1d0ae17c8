#include "platform/host/bitmap_manager.h"

#include <filesystem>
#include <system_error>

#include "platform/file_system.h"
#include "platform/host/host_scene.h"
#include "platform/text_encoding.h"

namespace {

// The native form of a narrow host path; false when it names no file.
bool NativePath(const std::string& narrow, std::string& native) {
  return KT::Platform::ToNativePath(KT::Platform::Windows1252ToUtf16(narrow), native);
}

bool IsRegularFile(const std::string& native) {
  std::error_code ignored;
  return std::filesystem::is_regular_file(native, ignored);
}

}  // namespace

BOOL BMMIsFile(const TCHAR* name) {
  std::string native;
  if (name == nullptr || *name == '\0' || !NativePath(name, native)) return FALSE;
  return IsRegularFile(native) ? TRUE : FALSE;
}

BOOL BMMGetFullFilename(BitmapInfo* bi) {
  if (bi == nullptr) return FALSE;
  const std::string name = bi->Name();
  if (BMMIsFile(name.c_str())) return TRUE;
  const KT::Host::HostScene* scene = KT::Host::HostScene::Active();
  if (scene == nullptr || name.empty()) return FALSE;
  const std::size_t cut = name.find_last_of("\\/");
  const std::string fileName = cut == std::string::npos ? name : name.substr(cut + 1);
  std::string nativeFile;
  if (fileName.empty() || !NativePath(fileName, nativeFile)) return FALSE;
  for (const std::string& folder : scene->Description().mapFolders) {
    const std::string candidate = folder + "/" + nativeFile;
    if (!IsRegularFile(candidate)) continue;
    // The host hands out narrow names: a folder the code page cannot spell is
    // passed over.
    std::u16string wide;
    std::string narrow;
    if (!KT::Platform::Utf8ToUtf16(candidate, wide) || !KT::Platform::Utf16ToWindows1252(wide, narrow)) continue;
    bi->SetName(narrow.c_str());
    return TRUE;
  }
  return FALSE;
}
