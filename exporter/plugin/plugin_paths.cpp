#include "exporter/plugin/plugin_paths.h"

#include "objectmodel/file_utils.h"
#include "objectmodel/string_helpers.h"
#include "platform/host/scene_export.h"
#include "platform/text_encoding.h"

namespace {
// The size of the buffer the executable's path is read into.
constexpr DWORD kMaxPath = 260;
}  // namespace

std::string HostFolderOf(std::string_view executablePath) {
  const std::size_t cut = executablePath.find_last_of("\\/");
  if (cut == std::string_view::npos) return std::string(executablePath);
  return std::string(executablePath.substr(0, cut + 1));
}

std::string GetHostFolder() {
  char buffer[kMaxPath] = {};
  const DWORD length = GetModuleFileNameA(nullptr, buffer, kMaxPath);
  return HostFolderOf(std::string_view(buffer, length));
}

std::string GetPluginFilePath() { return GetHostFolder() + "plugins\\" + kPluginFileName; }

std::string DataFilePathIn(std::string_view hostFolder, std::string_view name) {
  std::string path(hostFolder);
  path += "plugins\\KTMaxExp\\";
  path += name;
  return path;
}

std::string GetDataFilePath(std::string_view name) { return DataFilePathIn(GetHostFolder(), name); }

std::string GetBaseBoneFilePath(bool handOnly) {
  return GetDataFilePath(handOnly ? kHandBaseBoneFile : kFullBaseBoneFile);
}

std::string GetThumbnailTemplatePath() { return GetDataFilePath(kThumbnailTemplateFile); }

KT::WString ToWide(std::string_view text) { return KT::AnsiToWide(text); }

std::string ToNarrow(std::u16string_view text) {
  const std::size_t end = text.find(u'\0');
  return KT::Platform::Utf16ToWindows1252Lossy(end == std::u16string_view::npos ? text : text.substr(0, end));
}

bool FileExists(std::string_view path) { return KT::PathExists(ToWide(path)); }
