// Where the plug-in finds its files, and the code-page text conversions
// of its paths and names.
//
// The host folder is the host executable's path cut after its last `\` or
// `/`; every other path is built on it with `\` separators (the file layer
// accepts both). Data files live in "plugins\KTMaxExp\" under the host
// folder.
#pragma once

#include <string>
#include <string_view>

#include "objectmodel/types.h"

// The plug-in library's own file name.
inline constexpr const char* kPluginFileName = "Ostrel5MaxExp.dle";
// The template scenes of the data folder.
inline constexpr const char* kHandBaseBoneFile = "KTBoneGesture.drn";
inline constexpr const char* kFullBaseBoneFile = "KTBoneFullG1.DRN";
inline constexpr const char* kThumbnailTemplateFile = "AutoThumb.drn";
inline constexpr const char* kConversionProfileFile = "Profile_HumanG5_Full.prf";

// A path cut after its last `\` or `/`; a path with neither is kept whole.
std::string HostFolderOf(std::string_view executablePath);
// The folder of the host executable (GetModuleFileNameA of the process, at
// most 260 characters), cut as above.
std::string GetHostFolder();
// Host folder + "plugins\" + the plug-in's file name.
std::string GetPluginFilePath();
// Host folder + "plugins\KTMaxExp\" + name.
std::string GetDataFilePath(std::string_view name);
// The same on a given host folder.
std::string DataFilePathIn(std::string_view hostFolder, std::string_view name);
// The data file "KTBoneGesture.drn" for hand-only motions, else
// "KTBoneFullG1.DRN".
std::string GetBaseBoneFilePath(bool handOnly);
// The data file "AutoThumb.drn".
std::string GetThumbnailTemplatePath();

// Narrow text (the active code page, Windows-1252) to wide text; the text
// ends at its first zero byte. Empty gives empty.
KT::WString ToWide(std::string_view text);
// Wide text to the active code page; a character the code page cannot hold
// becomes "?"; the text ends at its first zero unit. Empty gives empty.
std::string ToNarrow(std::u16string_view text);

// Whether a file (or folder) exists at a narrow path.
bool FileExists(std::string_view path);
