#include "render/images/image.h"

#include <cstring>
#include <new>

#include "objectmodel/file_utils.h"
#include "objectmodel/path_helpers.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"
#include "platform/mmf.h"
#include "render/images/image_codec.h"
#include "render/images/pixel_record.h"
#include "render/images/rgbe_codec.h"

namespace KT {

namespace {

// Bytes of the record after the root-class part that every image writes:
// version pair (8), the three string counts (12), the storage kind (2).
constexpr u32 kFixedBytes = 8 + 3 * 4 + 2;
// EnableEmbed (1); the embedded form's EmbedFormat and EmbedSize (8).
constexpr u32 kEnableEmbedBytes = 1;
constexpr u32 kEmbeddedHeadBytes = 8;

// The in-memory size the format's tools report besides the pixel rows and
// the link name.
constexpr u32 kMemoryOverhead = 216;

// Both caches and the search-folder list live as long as the process: they
// are made on first use and never destroyed, so no image they hold is
// released after the services its destructor calls (unique ids, the
// memory-mapping library) are gone.
CImage::LinkedImageCache& Cache() {
  static auto* cache = new CImage::LinkedImageCache();
  return *cache;
}

}  // namespace

Result SkipFormerImageWords(CStream& stream, i32 version) {
  if (version >= CImage::kVersionCurrentForm) return kOk;
  u32 ignored[3] = {0, 0, 0};
  const u32 count = version >= CImage::kVersionThreeSkippedWords ? 3 : 1;
  return stream.Read(ignored, sizeof(ignored), count * 4);
}

const char16_t* const CImage::kFormatNames[kFormatNameCount] = {
    u"IFF_UNKNOWN", u"IFF_BMP", u"IFF_JPG", u"IFF_PNG", u"IFF_TGA", u"IFF_GIF", u"IFF_TIF", u"IFF_HDR",
};

CImage::CImage(u16 storageKind) { image_.Storage = storageKind; }

CImage::CImage(const CImage& other)
    : CBase(other), embedFormat_(other.embedFormat_), enableEmbed_(other.enableEmbed_) {
  image_.Storage = PixelStorage::kMapped;
}

CImage::~CImage() {
  PixelBuffer::UnMapAll(image_);
  FreeEmbedded();
}

void CImage::CreateForFactory(Result& result, CPointer<CBase>& out) {
  CPointer<CImage> image = new (std::nothrow) CImage(PixelStorage::kMapped);
  result = image ? kOk : kErrOutOfMemory;
  if (image) out = image;
}

const CImage::LinkedImageCache& CImage::GetLinkedImageCache() { return Cache(); }

CImage* CImage::FindLinkedImage(const WString& path) {
  const auto it = Cache().find(path);
  return it != Cache().end() ? it->second.Get() : nullptr;
}

std::vector<WString>& CImage::GetSearchFolders() {
  static auto* folders = new std::vector<WString>();
  return *folders;
}

// ---------------------------------------------------------------------------
// The embedded block

const u8* CImage::EmbeddedBytes(const CKTSmartMap& map) const {
  if (mmfId_ >= kFirstMmfId) return static_cast<const u8*>(map.GetMapAddress(nullptr));
  return heapBlock_.get();
}

void CImage::FreeEmbedded() {
  if (mmfId_ >= kFirstMmfId) CMmf::MemFree(mmfId_);
  mmfId_ = 0;
  heapBlock_.reset();
  embedSize_ = 0;
}

Result CImage::StoreEmbedded(const u8* bytes, u32 size) {
  if (bytes == nullptr || size == 0) return kDone;
  FreeEmbedded();
  u32 id = 0;
  if (CMmf::MemAlloc(size, id)) {
    CKTSmartMap map(id);
    if (void* block = map.GetMapAddress(nullptr)) {
      std::memcpy(block, bytes, size);
      mmfId_ = id;
      embedSize_ = size;
      return kOk;
    }
    CMmf::MemFree(id);
  }
  // The library refused: the block goes on the heap.
  heapBlock_.reset(new (std::nothrow) u8[size]);
  if (!heapBlock_) return kErrOutOfMemory;
  std::memcpy(heapBlock_.get(), bytes, size);
  embedSize_ = size;
  return kOk;
}

std::vector<u8> CImage::GetEmbeddedBytes() const {
  if (embedSize_ == 0) return {};
  CKTSmartMap map(mmfId_);
  const u8* bytes = EmbeddedBytes(map);
  if (bytes == nullptr) return {};
  return std::vector<u8>(bytes, bytes + embedSize_);
}

// ---------------------------------------------------------------------------
// Copies

Result CImage::CopyContentTo(CImage& target) const {
  target.linkName_ = linkName_;
  target.lastLoadName_ = lastLoadName_;
  target.relName_ = relName_;
  target.embedFormat_ = embedFormat_;
  target.enableEmbed_ = enableEmbed_;
  Result r = PixelBuffer::CopyPicture(target.image_, image_);
  if (Failed(r)) return r;
  if (embedSize_ == 0) {
    target.FreeEmbedded();
    return kOk;
  }
  const std::vector<u8> bytes = GetEmbeddedBytes();
  if (bytes.size() != embedSize_) return kErrMissingObject;
  r = target.StoreEmbedded(bytes.data(), embedSize_);
  return Failed(r) ? r : kOk;
}

Result CImage::CreateInstance(CPointer<CBase>& out) const {
  CPointer<CImage> copy = new (std::nothrow) CImage(*this);
  if (!copy) return kErrOutOfMemory;
  const Result r = CopyContentTo(*copy);
  // A linked image decodes its file again when it is read back, so only
  // an image whose content is stored depends on the copy.
  if (Failed(r) && linkName_.empty()) return r;
  out = copy;
  return kOk;
}

Result CImage::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  Result r = CBase::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  CImage* other = DynamicCast<CImage>(target);
  if (other == nullptr) return kErrNotFound;
  if (other == this) return kOk;
  return CopyContentTo(*other);
}

// ---------------------------------------------------------------------------
// Loading

WString CImage::DeriveRelName() const {
  for (const WString& folder : GetSearchFolders()) {
    if (folder.empty()) continue;
    const std::size_t at = linkName_.find(folder);
    // The name after the folder where it occurs (for a folder the path
    // starts with, the path without the folder's length).
    if (at != WString::npos) return linkName_.substr(at + folder.size());
  }
  return WString();
}

WString CImage::FindLinkedFile(CStream& stream) const {
  WString last;
  const auto exists = [&last](const WString& path) {
    last = path;
    return PathExists(path);
  };
  if (exists(linkName_)) return linkName_;
  if (exists(lastLoadName_)) return lastLoadName_;
  for (const WString& folder : GetSearchFolders()) {
    const WString candidate = folder + relName_;
    if (exists(candidate)) return candidate;
  }
  // Files moved together with the scene: the file name beside it.
  WString sceneFolder;
  if (Succeeded(stream.GetFolder(sceneFolder))) {
    WString resolved = ResolveFilePath(linkName_, {}, sceneFolder);
    if (!resolved.empty()) return resolved;
  }
  return last;
}

void CImage::EnterLinkedImageCache(const WString& path) {
  if (!linkName_.empty()) {
    enableEmbed_ = false;
    FreeEmbedded();
  }
  Cache().emplace(path, CPointer<CImage>(this));
}

Result CImage::LoadLinked(CStream& stream, CStreamLoadRecord& record) {
  const WString candidate = FindLinkedFile(stream);
  if (CImage* cached = FindLinkedImage(candidate)) {
    // The file is decoded once per process: this record stands for the
    // image that already holds it.
    record.SetObject(cached);
    return kDone;
  }
  // A missing or undecodable linked file leaves an image without pixels;
  // the scene still loads.
  if (Succeeded(LoadFile(candidate))) {
    EnterLinkedImageCache(candidate);
    lastLoadName_ = candidate;
  } else {
    EnterLinkedImageCache(linkName_);
    lastLoadName_ = linkName_;
  }
  SetModified(false);
  return kOk;
}

Result CImage::LoadEmbedded(CStream& stream, i32 version) {
  Result r = kOk;
  // Records before 2.00 carry no format: their bytes are JPEG.
  if (version >= kVersionCurrentForm) r = ReadU32(stream, embedFormat_);
  u32 size = 0;
  if (Succeeded(r)) r = ReadU32(stream, size);
  if (Failed(r) || size == 0) return r;
  r = stream.CheckAvailable(size, 1);
  if (Failed(r)) return r;
  std::unique_ptr<u8[]> bytes(new (std::nothrow) u8[size]);
  if (!bytes) return kErrOutOfMemory;
  r = stream.Read(bytes.get(), size, size);
  if (Failed(r)) return r;
  switch (GetDecodeRoute(embedFormat_)) {
    case ImageCodecRoute::kRgbe:
      r = DecodeRgbe(reinterpret_cast<const char*>(bytes.get()), size, embedFormat_, image_);
      break;
    case ImageCodecRoute::kImgrt: r = DecodeImageImgrt(image_, embedFormat_, bytes.get(), size); break;
    default: r = DecodeImageGdiplus(image_, bytes.get(), size); break;
  }
  if (Failed(r)) return r;
  r = StoreEmbedded(bytes.get(), size);
  return Failed(r) ? r : kOk;
}

Result CImage::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CBase::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Failed(r)) return r;
  const i32 version = stream.GetStoredVersion(StaticClassRecord());
  r = SkipFormerImageWords(stream, version);
  if (Failed(r)) return r;
  r = ReadWString(stream, linkName_);
  if (Failed(r)) return r;
  if (version >= kVersionLastLoadName) {
    r = ReadWString(stream, lastLoadName_);
    if (Failed(r)) return r;
    if (lastLoadName_.empty()) lastLoadName_ = linkName_;
  } else {
    lastLoadName_ = linkName_;
  }
  if (version >= kVersionRelName) {
    r = ReadWString(stream, relName_);
    if (Failed(r)) return r;
  } else {
    relName_ = DeriveRelName();
  }
  u16 storage = 0;
  r = stream.Read(&storage, sizeof(storage), sizeof(storage));
  if (Failed(r)) return r;
  // Records before 2.05 stored a kind that no longer applies: their pixels
  // go to the memory library. Borrowed memory (or an unknown kind) cannot
  // come from a file: such pixels go to the heap.
  if (version < kVersionStorageKind) storage = PixelStorage::kMapped;
  if (storage != PixelStorage::kHeap && storage != PixelStorage::kMapped) storage = PixelStorage::kHeap;
  PixelBuffer::Free(image_);
  image_.Storage = storage;
  FreeEmbedded();

  if (!linkName_.empty()) return LoadLinked(stream, record);
  r = ReadBool(stream, enableEmbed_);
  if (Failed(r)) return r;
  if (enableEmbed_) return LoadEmbedded(stream, version);
  PixelRecord::Header header;
  r = PixelRecord::ReadHeader(stream, header);
  if (Succeeded(r)) r = PixelRecord::ReadPixels(stream, header, image_);
  return r;
}

Result CImage::Link(CStream&, CStreamLoadRecord&, u32) { return kDone; }

// ---------------------------------------------------------------------------
// Saving

Result CImage::RegisterForSave(CStream& stream, u32 flags) {
  const Result r = PrepareRuntime(nullptr);
  if (Failed(r)) return r;
  return CBase::RegisterForSave(stream, flags);
}

Result CImage::PrepareRuntime(void*) {
  if (embedSize_ != 0 || !enableEmbed_) return kDone;
  // Nothing to encode: the record says so with an empty block.
  if (!HasPixels()) return kDone;
  CBuffer<char> encoded;
  Result r = EncodeImageFile(image_, embedFormat_, encoded);
  if (Failed(r)) return r;
  r = StoreEmbedded(reinterpret_cast<const u8*>(encoded.GetData()), encoded.GetCount());
  return Failed(r) ? r : kOk;
}

Result CImage::Save(CStream& stream, u32 flags) {
  Result r = CBase::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteWString(stream, linkName_);
  if (Succeeded(r)) r = WriteWString(stream, lastLoadName_);
  if (Succeeded(r)) r = WriteWString(stream, relName_);
  if (Succeeded(r)) r = stream.Write(&image_.Storage, sizeof(image_.Storage));
  if (Failed(r) || !linkName_.empty()) return r;
  r = WriteBool(stream, enableEmbed_);
  if (Failed(r)) return r;
  if (!enableEmbed_) return PixelRecord::Write(stream, image_);
  r = WriteU32(stream, embedFormat_);
  if (Succeeded(r)) r = WriteU32(stream, embedSize_);
  if (Failed(r) || embedSize_ == 0) return r;
  CKTSmartMap map(mmfId_);
  const u8* bytes = EmbeddedBytes(map);
  // A library id whose block is gone cannot give the bytes the size
  // promised.
  if (bytes == nullptr) return kErrStream;
  return stream.Write(bytes, embedSize_);
}

void CImage::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CImage Member");
  visitor.OpenGroup();
  visitor.WideString(u"LinkName", &linkName_);
  visitor.WideString(u"LastLoadName", &lastLoadName_);
  visitor.WideString(u"RelName", &relName_);
  PixelRecord::Describe(visitor, u"KTImage", image_);
  visitor.Enum(u"EmbedFormat", reinterpret_cast<const i32*>(&embedFormat_), kFormatNames, kFormatNameCount);
  visitor.Bool(u"EnableEmbed", &enableEmbed_);
  visitor.UInt(u"EmbedSize", &embedSize_);
  visitor.UInt(u"lMMFID", &mmfId_);
  visitor.EndGroup();
  CBase::DescribeMembers(visitor);
}

u32 CImage::GetMemorySize() const {
  return PixelBuffer::GetPixelBytes(image_) + 2 * static_cast<u32>(linkName_.size()) + kMemoryOverhead;
}

u32 CImage::GetSaveSize() const {
  u32 size = CBase::GetSaveSize() + kFixedBytes + 2 * static_cast<u32>(linkName_.size() + lastLoadName_.size() + relName_.size());
  if (!linkName_.empty()) return size;
  size += kEnableEmbedBytes;
  return size + (enableEmbed_ ? kEmbeddedHeadBytes + embedSize_ : PixelRecord::GetSaveSize(image_));
}

// ---------------------------------------------------------------------------
// Pixel operations

Result CImage::LoadFile(const WString& path) {
  FreeEmbedded();
  SetModified();
  const Result r = DecodeImageFile(image_, &embedFormat_, path.c_str());
  if (Failed(r)) PixelBuffer::Free(image_);
  return r;
}

Result CImage::Resize(i32 width, i32 height, CImage* target) {
  CImage& written = target != nullptr ? *target : *this;
  written.SetModified();
  written.FreeEmbedded();
  return PixelBuffer::Resize(image_, &written.image_, width, height);
}

Result CImage::ConvertPixelFormat(u32 layout, CImage* target) {
  CImage& written = target != nullptr ? *target : *this;
  written.SetModified();
  written.FreeEmbedded();
  return PixelBuffer::Convert(image_, &written.image_, layout);
}

Result CImage::DrawImage(i32 dx, i32 dy, const CImage& source, i32 sx, i32 sy, i32 width, i32 height, i32 alpha) {
  SetModified();
  FreeEmbedded();
  return PixelBuffer::Blend(image_, source.image_, dx, dy, sx, sy, width, height, alpha);
}

}  // namespace KT
