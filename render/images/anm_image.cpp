#include "render/images/anm_image.h"

#include <new>

#include "objectmodel/file_utils.h"
#include "objectmodel/path_helpers.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"
#include "platform/text_encoding.h"
#include "render/images/image_codec.h"

namespace KT {

namespace {

// Bytes of the record after the root-class part that every animated image
// writes: version pair (8), the FileName count (4); stored frames add
// their count (4).
constexpr u32 kFixedBytes = 8 + 4;
constexpr u32 kFrameCountBytes = 4;

// The in-memory size the format's tools report.
constexpr u32 kMemorySize = 116;

// Made on first use and never destroyed, like the linked-image cache.
CAnmImage::LinkedAnimationCache& Cache() {
  static auto* cache = new CAnmImage::LinkedAnimationCache();
  return *cache;
}

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

bool HasSeparator(const WString& path) {
  for (const char16_t c : path) {
    if (IsSeparator(c)) return true;
  }
  return false;
}

// A path that names its drive ("C:...") or starts at a root.
bool IsRooted(const WString& path) {
  return (path.size() >= 2 && path[1] == u':') || (!path.empty() && IsSeparator(path[0]));
}

// The five values of a stored frame, as they lie on disk.
struct StoredFrameValues {
  u32 delay;
  u32 frameValue1;
  i32 offsetX;
  i32 offsetY;
  u8 frameColor[4];
};
static_assert(sizeof(StoredFrameValues) == 20);

}  // namespace

CAnmImage::CAnmImage() = default;

CAnmImage::CAnmImage(const CAnmImage& other) : CBase(other), frames_(other.frames_) {}

const CAnmImage::LinkedAnimationCache& CAnmImage::GetLinkedAnimationCache() { return Cache(); }

// ---------------------------------------------------------------------------
// Walks over the frame images (images hold nothing further, so one level)

CBase* CAnmImage::Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) {
  if (CBase* hit = CBase::Find(name, record, includeDerived, onlyMarked)) return hit;
  for (const CFrame& frame : frames_) {
    if (!frame.Image) continue;
    if (CBase* hit = frame.Image->Find(name, record, includeDerived, onlyMarked)) return hit;
  }
  return nullptr;
}

void CAnmImage::Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record,
                        bool includeDerived, bool onlyMarked) {
  CBase::Collect(out, name, record, includeDerived, onlyMarked);
  for (const CFrame& frame : frames_) {
    if (frame.Image) frame.Image->Collect(out, name, record, includeDerived, onlyMarked);
  }
}

bool CAnmImage::UpdateMarked(const ObjectSet& set) {
  bool marked = CBase::UpdateMarked(set);
  for (const CFrame& frame : frames_) {
    if (frame.Image) marked = frame.Image->UpdateMarked(set) || marked;
  }
  SetMarked(marked);
  return marked;
}

void CAnmImage::ClearMarked() {
  CBase::ClearMarked();
  for (const CFrame& frame : frames_) {
    if (frame.Image) frame.Image->ClearMarked();
  }
}

void CAnmImage::EnumReferences(CReferenceVisitor& visitor) {
  for (const CFrame& frame : frames_) visitor.Visit(frame.Image.Get(), 1);
  CBase::EnumReferences(visitor);
}

bool CAnmImage::HasSubObjects() const {
  for (const CFrame& frame : frames_) {
    if (frame.Image) return true;
  }
  return false;
}

// ---------------------------------------------------------------------------
// Copies

Result CAnmImage::CreateInstance(CPointer<CBase>& out) const {
  CPointer<CAnmImage> copy = new (std::nothrow) CAnmImage(*this);
  if (!copy) return kErrOutOfMemory;
  out = copy;
  return kOk;
}

Result CAnmImage::Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) {
  Result r = CBase::Clone(out, cloneMap, flags);
  if (Failed(r) || r == kDone) return r;
  CAnmImage* copy = DynamicCast<CAnmImage>(out.Get());
  if (copy == nullptr) return kErrNotFound;
  for (std::size_t i = 0; i < frames_.size(); ++i) {
    const Result cloned = CloneMember(copy->frames_[i].Image, cloneMap, frames_[i].Image.Get(), flags);
    if (Failed(cloned)) return cloned;
  }
  return r;
}

Result CAnmImage::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  const Result r = CBase::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  CAnmImage* other = DynamicCast<CAnmImage>(target);
  if (other == nullptr) return kErrNotFound;
  if (other == this) return kOk;
  other->fileName_ = fileName_;
  for (const CFrame& former : other->frames_) {
    if (former.Image) displaced.emplace_back(former.Image.Get());
  }
  other->frames_ = frames_;
  return kOk;
}

// ---------------------------------------------------------------------------
// Frames

Result CAnmImage::GetFrame(u32 index, CFrame& out) const {
  if (index >= frames_.size()) return kErrInvalidArg;
  out = frames_[index];
  return kOk;
}

Result CAnmImage::AddFrame(const CFrame& values, CImage* image) {
  if (image == nullptr) return kErrInvalidArg;
  CFrame frame = values;
  frame.FrameColor[3] = 0;
  frame.Image = image;
  frames_.push_back(std::move(frame));
  SetModified();
  return kOk;
}

Result CAnmImage::LoadFile(const WString& path, u16 storageKind) {
  frames_.clear();
  std::vector<u8> bytes;
  Result r = ReadWholeFile(bytes, path);
  if (Failed(r)) return r;
  const u32 format = GetImageFormatFromPath(Platform::Utf16ToUtf8Lossy(path));
  if (format == ImageFormat::kNone) return kErrImageFormat;
  if (bytes.size() > 0xFFFFFFFFu) return kErrFileSize;
  std::vector<CFrame> frames;
  r = DecodeImageFramesImgrt(
      format, bytes.data(), static_cast<u32>(bytes.size()), storageKind,
      [&frames, format, storageKind](KTImage& pixels, const ImgrtFrameInfo& info) -> Result {
        CPointer<CImage> image = new (std::nothrow) CImage(storageKind);
        if (!image) return kErrOutOfMemory;
        image->EditImage() = std::move(pixels);
        image->SetEmbedFormat(format);
        image->SetModified();
        CFrame frame;
        frame.Delay = info.delay;
        frame.FrameValue1 = info.dispose;
        frame.OffsetX = info.x;
        frame.OffsetY = info.y;
        frame.FrameColor[0] = info.color[0];
        frame.FrameColor[1] = info.color[1];
        frame.FrameColor[2] = info.color[2];
        frame.Image = image;
        frames.push_back(std::move(frame));
        return kOk;
      });
  if (Failed(r)) return r;
  frames_ = std::move(frames);
  SetModified();
  return kOk;
}

// ---------------------------------------------------------------------------
// Loading

Result CAnmImage::LoadLinked(CStream& stream, CStreamLoadRecord& record) {
  WString sceneFolder;
  if (Failed(stream.GetFolder(sceneFolder))) sceneFolder.clear();
  WString path = fileName_;
  if (!IsRooted(path)) path = sceneFolder + u"\\" + fileName_;
  if (!PathExists(path)) {
    if (!HasSeparator(fileName_)) return kErrNotFound;
    // Files moved together with the scene: the file name beside it.
    path = sceneFolder + u"\\" + KT::GetFileName(fileName_);
  }
  if (const auto it = Cache().find(path); it != Cache().end()) {
    record.SetObject(it->second.Get());
    return kOk;
  }
  Cache().emplace(path, CPointer<CAnmImage>(this));
  fileName_ = path;
  return LoadFile(path, PixelStorage::kHeap);
}

Result CAnmImage::LoadFrames(CStream& stream, CStreamLoadRecord& record, i32 version) {
  u32 count = 0;
  Result r = ReadU32(stream, count);
  if (Failed(r)) return r;
  const bool wideIds = version >= kVersionWideFrameIds;
  r = stream.CheckAvailable(count, wideIds ? kFrameBytes : kNarrowFrameBytes);
  if (Failed(r)) return r;
  frames_.assign(count, CFrame());
  for (CFrame& frame : frames_) {
    StoredFrameValues values;
    r = stream.Read(&values, sizeof(values), sizeof(values));
    u64 id = 0;
    if (Succeeded(r) && wideIds) {
      r = ReadU64(stream, id);
    } else if (Succeeded(r)) {
      u32 narrowId = 0;
      r = ReadU32(stream, narrowId);
      id = narrowId;
    }
    if (Failed(r)) return r;
    frame.Delay = values.delay;
    frame.FrameValue1 = values.frameValue1;
    frame.OffsetX = values.offsetX;
    frame.OffsetY = values.offsetY;
    frame.FrameColor[0] = values.frameColor[0];
    frame.FrameColor[1] = values.frameColor[1];
    frame.FrameColor[2] = values.frameColor[2];
    record.pendingIds.push_back(id);
    // Sections without a link pass (the object list) keep the frames whose
    // images were read before this record; the link pass of the root tree
    // resolves every id again.
    frame.Image = DynamicCast<CImage>(stream.ObjectFromId(id));
  }
  return kOk;
}

Result CAnmImage::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CBase::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Failed(r)) return r;
  const i32 version = stream.GetStoredVersion(StaticClassRecord());
  r = SkipFormerImageWords(stream, version);
  if (Failed(r)) return r;
  r = ReadWString(stream, fileName_);
  if (Failed(r)) return r;
  frames_.clear();
  if (!fileName_.empty()) return LoadLinked(stream, record);
  return LoadFrames(stream, record, version);
}

Result CAnmImage::Link(CStream& stream, CStreamLoadRecord& record, u32) {
  if (!fileName_.empty()) return kOk;
  for (CFrame& frame : frames_) LinkNextPointer(stream, record, frame.Image);
  return kOk;
}

// ---------------------------------------------------------------------------
// Saving

Result CAnmImage::RegisterForSave(CStream& stream, u32 flags) {
  Result r = CBase::RegisterForSave(stream, flags);
  if (r != kOk || !fileName_.empty()) return r;
  for (const CFrame& frame : frames_) {
    if (!frame.Image) continue;
    const Result registered = frame.Image->RegisterForSave(stream, flags);
    if (Failed(registered)) return registered;
  }
  return kOk;
}

Result CAnmImage::Save(CStream& stream, u32 flags) {
  Result r = CBase::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteWString(stream, fileName_);
  if (Failed(r) || !fileName_.empty()) return r;
  r = WriteU32(stream, static_cast<u32>(frames_.size()));
  for (std::size_t i = 0; i < frames_.size() && Succeeded(r); ++i) {
    const CFrame& frame = frames_[i];
    const StoredFrameValues values = {frame.Delay,
                                      frame.FrameValue1,
                                      frame.OffsetX,
                                      frame.OffsetY,
                                      {frame.FrameColor[0], frame.FrameColor[1], frame.FrameColor[2], 0}};
    r = stream.Write(&values, sizeof(values));
    if (Succeeded(r)) r = WriteObjectId(stream, frame.Image.Get());
  }
  return r;
}

void CAnmImage::DescribeMembers(CMemberVisitor& visitor) { CBase::DescribeMembers(visitor); }

u32 CAnmImage::GetMemorySize() const { return kMemorySize; }

u32 CAnmImage::GetSaveSize() const {
  const u32 size = CBase::GetSaveSize() + kFixedBytes + 2 * static_cast<u32>(fileName_.size());
  if (!fileName_.empty()) return size;
  return size + kFrameCountBytes + kFrameBytes * static_cast<u32>(frames_.size());
}

}  // namespace KT
