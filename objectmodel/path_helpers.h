// Splitting of wide paths and the search for a file whose stored path no
// longer points at it. Both '\' and '/' are separators unless a function
// says otherwise.
#pragma once

#include <vector>

#include "objectmodel/types.h"

namespace KT {

// The folder part of `path`:
// - empty when the path has no separator;
// - the whole path when its last component has no '.' and the path does
//   not end with a separator (it names a folder): C:\a\b gives C:\a\b;
// - else the text before the last separator: C:\a\b.txt and C:\a\ give C:\a.
WString GetFolder(const WString& path);

// The text after the last separator, or the whole path when it has none.
WString GetFileName(const WString& path);

// The text after the last '.' of the whole path, or empty when there is no
// '.'. Separators are not looked at: C:\a.b\c gives b\c (stored names were
// classified this way and the callers expect it).
WString GetFileExtension(const WString& path);

// GetFileName without the text from its last '.' on: C:\a\b.tar.gz gives b.tar.
WString GetFileTitle(const WString& path);

// `path` without its last character when that is '\' (only '\' counts).
WString StripTrailingBackslash(const WString& path);

// Finds the file that `storedPath` named, for files moved together with the
// scene. Only the file name of `storedPath` is kept (an empty name, "." or
// ".." finds nothing); it is looked for in each search folder in order and
// the first candidate that exists (KT::PathExists) is answered, else empty.
//
// A search folder is absolute when it holds ':' (a drive), begins with '/'
// or with two backslashes (a network share), or when `storedPath` itself is
// a network path (begins with two backslashes); then the candidate is the
// folder plus '\' (unless it already ends with a separator) plus the name.
// Any other folder is relative to `baseFolder` (the folder of the scene
// file being read, used as given) and is skipped when `baseFolder` is empty:
// it is walked component by component from the base, where "." stays, ".."
// goes up one level (the walk stops when the base has no separator left)
// and any other component goes down; the candidate is the result plus '\'
// plus the name. With D:\old\tex.png, the folder ..\maps and the base
// C:\s\scene the candidate is C:\s\maps\tex.png.
//
// With no search folders the base folder itself is tried.
WString ResolveFilePath(const WString& storedPath, const std::vector<WString>& searchFolders,
                        const WString& baseFolder);

}  // namespace KT
