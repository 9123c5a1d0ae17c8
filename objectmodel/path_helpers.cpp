#include "objectmodel/path_helpers.h"

#include <algorithm>
#include <string_view>

#include "objectmodel/file_utils.h"

namespace KT {
namespace {

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

std::size_t FindLastSeparator(const WString& path) { return path.find_last_of(u"\\/"); }

bool EndsWithSeparator(const WString& path) { return !path.empty() && IsSeparator(path.back()); }

bool StartsWith(const WString& text, std::u16string_view prefix) {
  return text.size() >= prefix.size() && std::u16string_view(text).substr(0, prefix.size()) == prefix;
}

bool IsAbsoluteFolder(const WString& folder) {
  return folder.find(u':') != WString::npos || StartsWith(folder, u"/") || StartsWith(folder, u"\\\\");
}

WString JoinName(const WString& folder, const WString& name) {
  return EndsWithSeparator(folder) ? folder + name : folder + u'\\' + name;
}

// The base folder walked along the relative folder `relative`.
WString WalkRelative(const WString& baseFolder, std::u16string_view relative) {
  WString b = baseFolder;
  // A trailing separator would make ".." drop an empty component only.
  while (b.size() > 1 && IsSeparator(b.back())) b.pop_back();

  while (!relative.empty()) {
    if (IsSeparator(relative.front())) {
      relative.remove_prefix(1);
      continue;
    }
    const std::size_t end = std::min(relative.find_first_of(u"\\/"), relative.size());
    const std::u16string_view component = relative.substr(0, end);
    relative.remove_prefix(end);
    if (component == u".") continue;
    if (component == u"..") {
      const std::size_t sep = FindLastSeparator(b);
      if (sep == WString::npos) break;  // nothing left to go up from
      b.resize(sep);
      continue;
    }
    b += u'\\';
    b += component;
  }
  return b;
}

}  // namespace

WString GetFolder(const WString& path) {
  const std::size_t sep = FindLastSeparator(path);
  if (sep == WString::npos) return WString();
  const bool lastHasDot = path.find(u'.', sep + 1) != WString::npos;
  if (sep + 1 < path.size() && !lastHasDot) return path;  // names a folder
  return path.substr(0, sep);
}

WString GetFileName(const WString& path) {
  const std::size_t sep = FindLastSeparator(path);
  return sep == WString::npos ? path : path.substr(sep + 1);
}

WString GetFileExtension(const WString& path) {
  const std::size_t dot = path.rfind(u'.');
  return dot == WString::npos ? WString() : path.substr(dot + 1);
}

WString GetFileTitle(const WString& path) {
  WString name = GetFileName(path);
  const std::size_t dot = name.rfind(u'.');
  if (dot != WString::npos) name.resize(dot);
  return name;
}

WString StripTrailingBackslash(const WString& path) {
  if (!path.empty() && path.back() == u'\\') return path.substr(0, path.size() - 1);
  return path;
}

WString ResolveFilePath(const WString& storedPath, const std::vector<WString>& searchFolders,
                        const WString& baseFolder) {
  const WString name = GetFileName(storedPath);
  // These would name a folder, never the file that was stored.
  if (name.empty() || name == u"." || name == u"..") return WString();

  if (searchFolders.empty()) {
    if (baseFolder.empty()) return WString();
    WString candidate = JoinName(baseFolder, name);
    return PathExists(candidate) ? candidate : WString();
  }

  const bool networkStored = StartsWith(storedPath, u"\\\\");
  for (const WString& folder : searchFolders) {
    WString candidate;
    if (IsAbsoluteFolder(folder) || networkStored) {
      candidate = JoinName(folder, name);
    } else if (baseFolder.empty()) {
      continue;
    } else {
      candidate = JoinName(WalkRelative(baseFolder, folder), name);
    }
    if (PathExists(candidate)) return candidate;
  }
  return WString();
}

}  // namespace KT
