// The writing of content files by the conversion context: one file at the
// target path, or one file per clip.

#include "exporter/plugin/content_file.h"

#include <algorithm>
#include <cstdio>
#include <new>

#include "controllers/core/data_clip_control.h"
#include "controllers/core/keyframe_control.h"
#include "controllers/core/rts_clip_control.h"
#include "exporter/plugin/max_drn.h"
#include "exporter/plugin/plugin_paths.h"
#include "objectmodel/collectors.h"
#include "objectmodel/file_io.h"
#include "objectmodel/raw_data.h"
#include "objectmodel/stream.h"
#include "objectmodel/version_data.h"
#include "platform/file_system.h"
#include "platform/ui/ui_script.h"
#include "render/images/image.h"

namespace {

// The identification record of a content file, or null without memory.
KT::CPointer<KT::CVersionData> MakeVersionRecord() {
  KT::CPointer<KT::CVersionData> record(new (std::nothrow) KT::CVersionData());
  if (!record) return record;
  record->SetName(kVersionRecordName);
  record->SetApp(kVersionAppName, kVersionAppVersion);
  return record;
}

// Writes the stream to the open device; the first failure.
KT::Result WriteContent(KT::CStream& stream, KT::CBase* object, bool gesture, KT::CThumbnail* thumbnail) {
  stream.AddRootObject(object);
  KT::CPointer<KT::CRawData> marker(new (std::nothrow) KT::CRawData());
  if (!marker) return KT::kErrOutOfMemory;
  marker->SetName(kExporterRecordName);
  stream.AddRootObject(marker.Get());
  if (gesture) {
    KT::CPointer<KT::CVersionData> first = MakeVersionRecord();
    if (!first) return KT::kErrOutOfMemory;
    stream.AddExtendInfo(first.Get());
  }
  KT::CPointer<KT::CVersionData> version = MakeVersionRecord();
  if (!version) return KT::kErrOutOfMemory;
  version->SetDataVersion(kContentDataVersion);
  stream.AddExtendInfo(version.Get());
  if (thumbnail != nullptr) stream.SetThumbnail(thumbnail);
  return stream.Save(kContentSaveFlags);
}

// Without a node build (a biped motion keyed on a base-bone scene) every
// node carries one plain keyframe control per clip: those named after
// another clip of the list go, so that each clip file holds its own clip.
// Unnamed controls and those of names outside the list stay.
void RemoveOtherClipKeyframes(KT::CBase* copy, const KT::WString& clipName, const std::vector<ClipRecord>& clips) {
  std::vector<KT::CKeyframeControl*> controls;
  KT::CollectObjects(controls, copy, nullptr, false, false);
  for (KT::CKeyframeControl* control : controls) {
    const KT::WString& name = control->GetName();
    if (name.empty() || name == clipName) continue;
    const bool otherClip =
        std::any_of(clips.begin(), clips.end(), [&](const ClipRecord& c) { return c.Name == name; });
    if (!otherClip) continue;
    if (KT::CDorun* object = control->GetObject()) object->RemoveControl(control);
  }
}

// Shows the box of a file that was not written.
void ReportFailedSave(const std::string& path, KT::Result result) {
  MessageBoxA(nullptr, FailedSaveMessage(path, result).c_str(), "Error", MB_OK);
}

}  // namespace

bool IsUsableClipName(const KT::WString& name) {
  if (name.empty() || name == u"." || name == u"..") return false;
  return name.find_first_of(u"\\/") == KT::WString::npos;
}

KT::WString ClipFilePath(const std::string& folder, const KT::WString& name, const std::string& extension) {
  KT::WString path = ToWide(folder);
  if (path.empty() || (path.back() != u'\\' && path.back() != u'/')) path += u'\\';
  return path + name + ToWide(extension);
}

std::string FailedSaveMessage(const std::string& path, KT::Result result) {
  char code[16];
  std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(result));
  return "Failed to save \"" + path + "\" (" + code + ").";
}

void CMaxDrn::SaveContentFile(KT::Result& result, const KT::WString& path, KT::CBase* object, bool gesture) {
  KT::CFileIo file;
  result = file.OpenWrite(path);
  if (KT::Failed(result)) return;
  KT::Result r;
  {
    // The stream goes before the file is closed: it holds the device.
    KT::CStream stream;
    stream.SetDevice(&file);
    r = WriteContent(stream, object, gesture, thumbnail.Get());
  }
  file.Close();
  if (KT::Failed(r)) {
    // What the device holds is no content file: nothing is left behind
    // that a reader could take for one.
    KT::Platform::RemoveFile(path);
    result = r;
    return;
  }
  result = KT::kOk;
}

void CMaxDrn::SaveFile(KT::Result& result, const std::string& targetPath) {
  StepProgress(0, "Save File...");
  if (!root) {
    result = KT::kErrNotFound;
    ReportFailedSave(targetPath, result);
    return;
  }
  KT::Result prepared;
  PrepareForSave(prepared);
  SaveContentFile(result, ToWide(targetPath), root.Get(), false);
  if (KT::Failed(result)) ReportFailedSave(targetPath, result);
}

void CMaxDrn::SaveClipFiles(KT::Result& result, const std::string& folder, const std::string& extension) {
  StepProgress(0, "Save Animation Clip Files...");
  if (!root) {
    result = KT::kErrNotFound;
    for (const ClipRecord& clip : clips) ReportFailedSave(ToNarrow(ClipFilePath(folder, clip.Name, extension)), result);
    return;
  }
  std::vector<KT::CNode*> nodes;
  KT::CollectObjects(nodes, root.Get(), nullptr, true, false);
  if (nodes.empty()) {
    result = KT::kDone;
    return;
  }
  KT::Result prepared;
  PrepareForSave(prepared);
  const bool gesture = root->GetName() == kGestureRootName;
  const bool filterKeyframes = nodeBuildMode == 0 || nodeBuildMode == 2 || nodeBuildMode == 3;

  result = KT::kOk;
  for (const ClipRecord& clip : clips) {
    const KT::WString path = ClipFilePath(folder, clip.Name, extension);
    if (!IsUsableClipName(clip.Name)) {
      if (!KT::Failed(result)) result = KT::kErrInvalidArg;
      ReportFailedSave(ToNarrow(path), KT::kErrInvalidArg);
      continue;
    }
    KT::CloneMap cloneMap;
    KT::CPointer<KT::CBase> clone;
    KT::Result r = KT::CloneObject(clone, cloneMap, root.Get(), 0);
    if (KT::Succeeded(r)) r = clone->RemapAllReferences(cloneMap);
    if (KT::Failed(r)) {
      // A copy that cannot be made leaves nothing to write for any clip.
      ReportFailedSave(ToNarrow(path), r);
      if (!KT::Failed(result)) result = r;
      return;
    }
    auto* copy = KT::DynamicCast<KT::CNode>(clone.Get());

    if (filterKeyframes) {
      std::vector<KT::CKeyframeControl*> controls;
      KT::CollectObjects(controls, clone.Get(), nullptr, false, false);
      for (KT::CKeyframeControl* control : controls) {
        if (control->GetName() == clip.Name) continue;
        if (KT::CDorun* object = control->GetObject()) object->RemoveControl(control);
      }
      BakeProfileIntoKeys(copy);
    } else {
      std::vector<KT::CRTSClipControl*> containers;
      KT::CollectObjects(containers, clone.Get(), nullptr, false, false);
      for (KT::CRTSClipControl* container : containers) KeepClipChildren(*container, clip.Name);
      if (nodeBuildMode == kInitialNodeBuildMode) RemoveOtherClipKeyframes(clone.Get(), clip.Name, clips);
    }
    std::vector<KT::CUvwMapClipControl*> uvwContainers;
    KT::CollectObjects(uvwContainers, clone.Get(), nullptr, false, false);
    for (KT::CUvwMapClipControl* container : uvwContainers) KeepClipChildren(*container, clip.Name);

    SaveContentFile(r, path, clone.Get(), gesture);
    if (KT::Failed(r)) {
      ReportFailedSave(ToNarrow(path), r);
      if (!KT::Failed(result)) result = r;
    }
    clone.Release();
    cloneMap.clear();
  }
}

void CMaxDrn::SaveUnsupportedFile(KT::Result& result, const std::string&) { result = KT::kErrNotAvailable; }

void CMaxDrn::PrepareForSave(KT::Result& result) {
  if (!limitTextures) {
    result = KT::kDone;
    return;
  }
  std::vector<KT::CImage*> images;
  KT::CollectObjects(images, root.Get(), nullptr, false, false);
  for (KT::CImage* image : images) {
    const KT::KTImage& picture = image->GetImage();
    const KT::i32 width = std::min(picture.Width, maxTextureSize);
    const KT::i32 height = std::min(picture.Height, maxTextureSize);
    if (width != picture.Width || height != picture.Height) image->Resize(width, height, nullptr);
  }
  result = KT::kOk;
}
