// KT::CVideo: one video file and its playback settings.
//
// The file is named by three paths: the path as given (VideoPath), the path
// where it was last found (VideoSearchPath) and a path relative to the
// application folder (ApRelativePath). Load and CopyTo look for the file
// along them (Resolve) and record in LostVideo whether it was found
// nowhere. Length is filled in by whatever plays the video; neither it nor
// LostVideo is stored.
//
// Record, after the KT::CDorun level (little-endian): version pair 1.06;
// VideoPath (wide string); PlayState (u32); Volume (f32); Mute, Still, Loop
// (one byte each); VideoSearchPath; ApRelativePath (wide strings). Older
// levels:
//   1.05  one u32 before VideoPath, read and dropped;
//   1.04  refused with kErrImageFormat (0x80000008);
//   below 1.03  Volume as a u32 percentage;
//   below 1.02  no ApRelativePath: derived from VideoPath and the
//               application folder;
//   below 1.01  no VideoSearchPath: VideoPath stands in for it.
#pragma once

#include <vector>

#include "objectmodel/dorun.h"

namespace KT {

class CVideo : public CDorun {
  KT_DECLARE_CLASS(CVideo)

 public:
  enum PlayStateType : u32 { PS_Playing = 0, PS_Paused = 1, PS_Stopped = 2 };

  // Version gates of the record.
  static constexpr u32 kVersionSearchPath = 101;      // VideoSearchPath stored
  static constexpr u32 kVersionRelativePath = 102;    // ApRelativePath stored
  static constexpr u32 kVersionFloatVolume = 103;     // Volume as f32 (a percentage before)
  static constexpr u32 kVersionRefused = 104;         // a form no reader accepts
  static constexpr u32 kVersionDroppedWord = 105;     // one extra word before VideoPath

  CVideo() = default;
  // Every field, Length and LostVideo included.
  CVideo(const CVideo& other) = default;

  // Process-wide settings of the file search: the application folder that
  // ApRelativePath is relative to, and the folders searched for a file
  // that is found neither at VideoPath nor at VideoSearchPath. Both start
  // empty.
  static WString& GetApplicationFolder();
  static std::vector<WString>& GetSearchFolders();

  // Looks for the file: LostVideo is cleared; a file at VideoPath makes it
  // VideoSearchPath; else a file at VideoSearchPath keeps it; else a file
  // at application folder + ApRelativePath (when that is not empty)
  // becomes VideoSearchPath; else VideoPath is looked for by its file name
  // in the search folders and `folder` (ResolveFilePath, '\' and '/' both
  // separators): a hit becomes VideoSearchPath, no hit sets LostVideo.
  void Resolve(const WString& folder);

  Result CreateInstance(CPointer<CBase>& out) const override;
  // The base's clone; any non-negative answer other than kDone is kOk.
  Result Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) override;
  // A null target or one that is not a video: kErrNotFound, nothing
  // changed. Else the base part, every stored field and Length, then the
  // target resolves its file with no folder.
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  // Ends with Resolve in the folder of the file being read (a failure to
  // tell the folder is returned).
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  // "CVideo Member": Mute, Still, Loop, Volume, VideoPath,
  // VideoSearchPath, ApRelativePath, LostVideo, Length (not PlayState);
  // then the base's.
  void DescribeMembers(CMemberVisitor& visitor) override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;

  WString VideoPath;
  WString VideoSearchPath;
  WString ApRelativePath;
  u32 PlayState = PS_Stopped;
  f32 Volume = 1.0f;
  bool Mute = false;
  bool Still = false;
  bool Loop = false;
  i32 Length = 0;  // ms; not stored
  bool LostVideo = false;  // not stored
};

}  // namespace KT
