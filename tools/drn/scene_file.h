// Loading and saving whole scene files for the drn verbs.
#pragma once

#include <string>

#include "objectmodel/file_io.h"
#include "objectmodel/stream.h"

namespace drn {

// Registers every class the library can read (once).
void RegisterAllClasses();

// An open scene file and the stream that loaded it.
struct LoadedScene {
  KT::CFileIo device;
  KT::CStream stream;
  // False when the file could not be opened: the verb stops at once.
  bool opened = false;
};

// Opens `path` and loads it with the given masks into `scene`. A file that
// cannot be opened (missing, a folder, unreadable, too large) gets one line
// on stderr naming the file and the cause, and `scene.opened` stays false.
KT::Result LoadSceneFile(const std::string& path, KT::u32 skipMask, KT::u32 wantedMask, LoadedScene& scene);

// Writes what `stream` holds to `path` with `mask`.
KT::Result SaveSceneFile(const std::string& path, KT::u32 mask, KT::CStream& stream);

// Prints the closing lines of a verb: the meaning of a failure, then
// "result 0x%08X". Answers the exit status (0 or 1).
int FinishWithResult(KT::Result result);

}  // namespace drn
