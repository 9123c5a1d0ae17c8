#include "render/effects/video.h"

#include "objectmodel/class_factory.h"
#include "objectmodel/file_utils.h"
#include "objectmodel/member_visitor.h"
#include "objectmodel/path_helpers.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"

namespace KT {

WString& CVideo::GetApplicationFolder() {
  static WString folder;
  return folder;
}

std::vector<WString>& CVideo::GetSearchFolders() {
  static std::vector<WString> folders;
  return folders;
}

void CVideo::Resolve(const WString& folder) {
  LostVideo = false;
  if (PathExists(VideoPath)) {
    VideoSearchPath = VideoPath;
    return;
  }
  if (PathExists(VideoSearchPath)) return;
  if (!ApRelativePath.empty()) {
    const WString relative = GetApplicationFolder() + ApRelativePath;
    if (PathExists(relative)) {
      VideoSearchPath = relative;
      return;
    }
  }
  const WString found = ResolveFilePath(VideoPath, GetSearchFolders(), folder);
  if (found.empty()) {
    LostVideo = true;
  } else {
    VideoSearchPath = found;
  }
}

Result CVideo::CreateInstance(CPointer<CBase>& out) const { return CreateCopy(*this, out); }

Result CVideo::Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) {
  const Result r = CDorun::Clone(out, cloneMap, flags);
  return Failed(r) || r == kDone ? r : kOk;
}

Result CVideo::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  CVideo* other = DynamicCast<CVideo>(target);
  if (other == nullptr) return kErrNotFound;
  const Result r = CDorun::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  other->VideoPath = VideoPath;
  other->PlayState = PlayState;
  other->Volume = Volume;
  other->Mute = Mute;
  other->Still = Still;
  other->Loop = Loop;
  other->Length = Length;
  other->VideoSearchPath = VideoSearchPath;
  other->ApRelativePath = ApRelativePath;
  other->Resolve(WString());
  return kOk;
}

Result CVideo::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CDorun::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Failed(r)) return r;
  const i32 stored = stream.GetStoredVersion(StaticClassRecord());
  const u32 v = stored < 0 ? 0u : static_cast<u32>(stored);
  // Files of this one version hold a layout that was never readable.
  if (v == kVersionRefused) return kErrImageFormat;
  if (v == kVersionDroppedWord) {
    u32 dropped = 0;
    r = ReadU32(stream, dropped);
  }
  if (Succeeded(r)) r = ReadWString(stream, VideoPath);
  if (Succeeded(r)) r = ReadU32(stream, PlayState);
  if (Succeeded(r)) {
    if (v < kVersionFloatVolume) {
      u32 percent = 0;
      r = ReadU32(stream, percent);
      Volume = static_cast<f32>(percent) * 0.01f;
    } else {
      r = ReadU32(stream, Volume);
    }
  }
  if (Succeeded(r)) r = ReadBool(stream, Mute);
  if (Succeeded(r)) r = ReadBool(stream, Still);
  if (Succeeded(r)) r = ReadBool(stream, Loop);
  if (Failed(r)) return r;
  if (v < kVersionSearchPath) {
    VideoSearchPath = VideoPath;
  } else {
    r = ReadWString(stream, VideoSearchPath);
  }
  if (Failed(r)) return r;
  if (v < kVersionRelativePath) {
    // Only a path that starts with the application folder is relative to
    // it; with no application folder there is nothing to be relative to.
    ApRelativePath.clear();
    const WString& application = GetApplicationFolder();
    if (!application.empty() && VideoPath.compare(0, application.size(), application) == 0) {
      ApRelativePath = VideoPath.substr(application.size());
    }
  } else {
    r = ReadWString(stream, ApRelativePath);
    if (Failed(r)) return r;
  }
  WString folder;
  r = stream.GetFolder(folder);
  if (Failed(r)) return r;
  Resolve(folder);
  return kOk;
}

Result CVideo::Save(CStream& stream, u32 flags) {
  Result r = CDorun::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteWString(stream, VideoPath);
  if (Succeeded(r)) r = WriteU32(stream, PlayState);
  if (Succeeded(r)) r = WriteFloat(stream, Volume);
  if (Succeeded(r)) r = WriteBool(stream, Mute);
  if (Succeeded(r)) r = WriteBool(stream, Still);
  if (Succeeded(r)) r = WriteBool(stream, Loop);
  if (Succeeded(r)) r = WriteWString(stream, VideoSearchPath);
  if (Succeeded(r)) r = WriteWString(stream, ApRelativePath);
  return r;
}

void CVideo::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CVideo Member");
  visitor.OpenGroup();
  visitor.Bool(u"Mute", &Mute);
  visitor.Bool(u"Still", &Still);
  visitor.Bool(u"Loop", &Loop);
  visitor.Float(u"Volume", &Volume);
  visitor.WideString(u"VideoPath", &VideoPath);
  visitor.WideString(u"VideoSearchPath", &VideoSearchPath);
  visitor.WideString(u"ApRelativePath", &ApRelativePath);
  visitor.Bool(u"LostVideo", &LostVideo);
  visitor.Time(u"Length", &Length);
  visitor.EndGroup();
  CDorun::DescribeMembers(visitor);
}

u32 CVideo::GetMemorySize() const { return CDorun::GetMemorySize() + 112; }

u32 CVideo::GetSaveSize() const {
  const auto chars = static_cast<u32>(VideoPath.size() + VideoSearchPath.size() + ApRelativePath.size());
  return CDorun::GetSaveSize() + 31 + 2 * chars;
}

}  // namespace KT
