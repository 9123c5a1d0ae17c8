// The records that identify the exporter in every content file, and the
// paths, names and child filtering of the per-clip files. The writing
// itself is CMaxDrn's (SaveContentFile, SaveFile, SaveClipFiles).
#pragma once

#include <string>

#include "objectmodel/types.h"

// Name of the empty KT::CRawData root that marks the exporter's files.
inline constexpr const char16_t* kExporterRecordName = u"OstrelMaxExp_500";
// Name, application and version of the KT::CVersionData records.
inline constexpr const char16_t* kVersionRecordName = u"FileAppVersion";
inline constexpr const char16_t* kVersionAppName = u"Ostrel";
inline constexpr KT::u32 kVersionAppVersion = 5000100;
// DataVersion of the record every content file carries (-1); gesture files
// carry one with the default DataVersion 0 ahead of it.
inline constexpr KT::u32 kContentDataVersion = 0xFFFFFFFFu;
// Sections written: header, thumbnail, object list, extensions, root tree.
inline constexpr KT::u32 kContentSaveFlags = 0x1F;
// The root of a hand-only motion, whose clip files are gesture files.
inline constexpr const char16_t* kGestureRootName = u"GestureRoot";

// Whether a clip Name can name a file inside the export folder: not empty,
// not "." or "..", and without `\` or `/`. A Name comes from the scene's
// file properties, so nothing else vouches for it.
bool IsUsableClipName(const KT::WString& name);

// The file of one clip: the folder (narrow, the active code page), a `\`
// unless the folder already ends in `\` or `/` (the rule of the one-file
// target path, so both kinds of export land in the same folder), the clip
// Name and the extension.
KT::WString ClipFilePath(const std::string& folder, const KT::WString& name, const std::string& extension);

// The text of the box that reports a file that was not written:
// `Failed to save "PATH" (0xXXXXXXXX).`
std::string FailedSaveMessage(const std::string& path, KT::Result result);

// Leaves in a clip container the children named `name`: scanning from the
// first child, a child named otherwise is removed while more than one child
// is left. So at least one child always stays, and when none carries the
// name the last one does. A child the container refuses to remove (an
// empty slot of a loaded list) is passed over.
template <typename Container>
void KeepClipChildren(Container& container, const KT::WString& name) {
  KT::u32 k = 0;
  while (container.GetChildCount() > 1 && k < container.GetChildCount()) {
    auto* child = container.GetChild(k);
    if (child != nullptr && child->GetName() == name) {
      ++k;
    } else if (child == nullptr || KT::Failed(container.RemoveChild(child))) {
      ++k;
    }
  }
}
