// KT::CImage: the still image of the object model.
//
// An image either links an image file by path (LinkName; only the names go
// into the scene file and the file is decoded again when the scene is
// read) or carries its content in the record: the encoded bytes of an
// image file (embedded, EnableEmbed set) or raw pixels. Pixels live in a
// KTImage pixel buffer whose storage kind is chosen at construction;
// decoding and encoding go through the codec bridge (image_codec.h).
//
// The embedded block is kept in a block of the memory-mapping library when
// it grants one (lMMFID is then its id, at least 0x10001) and on the heap
// otherwise (lMMFID 0). The embedded bytes and the pixels coexist after an
// embedded record is loaded: both describe the same image. Every pixel
// change frees the embedded block, so the next save encodes the current
// pixels again.
//
// Linked images are shared through a process-wide cache from a path
// (compared exactly) to the image first loaded for it, so one file is
// decoded once per process. When a linked file is not at its stored paths
// it is looked for in the image search folders (a process-wide list, empty
// unless a caller fills it) and beside the scene file being read.
//
// Record after the root-class part, little-endian: version pair 2, 5;
// LinkName, LastLoadName, RelName (wide strings); u16 storage kind of the
// pixel buffer. A linked image's record ends there. Otherwise u8
// EnableEmbed, then either u32 EmbedFormat, u32 EmbedSize and the bytes
// (embedded), or the raw pixel form of pixel_record.h (raw).
// Older forms: below 2.00 one u32 (and from 1.01 two more) after the
// version pair, which are skipped, and no EmbedFormat (IFF_JPG); below 2.03
// no LastLoadName (it is LinkName); below 2.04 no RelName (it is derived
// from the search folders); below 2.05 the stored storage kind is replaced
// by 1.
#pragma once

#include <map>
#include <memory>
#include <vector>

#include "objectmodel/base.h"
#include "render/images/pixel_buffer.h"

namespace KT {

class CKTSmartMap;

// Records of the image classes below 2.00 carry, after their version pair,
// one u32 (three from 1.01) that nothing reads any more: reads past them
// for a record of stored version `version`; nothing from 2.00 on. The
// stream's failure is returned.
Result SkipFormerImageWords(CStream& stream, i32 version);

class CImage : public CBase {
  KT_DECLARE_CLASS(CImage)

 public:
  // Version gates of the record (major x 100 + minor).
  static constexpr i32 kVersionCurrentForm = 200;          // below: skipped words, no EmbedFormat
  static constexpr i32 kVersionThreeSkippedWords = 101;    // below 2.00, from here: three skipped words
  static constexpr i32 kVersionLastLoadName = 203;
  static constexpr i32 kVersionRelName = 204;
  static constexpr i32 kVersionStorageKind = 205;

  // The names of the file format codes (image_codec.h), as the member
  // visitor reports EmbedFormat.
  static constexpr u32 kFormatNameCount = 8;
  static const char16_t* const kFormatNames[kFormatNameCount];

  // Library block ids start here (CMmf::kFirstId); smaller lMMFID values
  // mean a heap block.
  static constexpr u32 kFirstMmfId = KTImage::kFirstMmfId;

  using LinkedImageCache = std::map<WString, CPointer<CImage>>;

  // An image without content: empty names, EmbedFormat IFF_JPG, EnableEmbed
  // set, no embedded block, an empty pixel buffer of `storageKind` (0 heap,
  // 1 memory library, 2 borrowed) at 96 x 96 dpi. The class factory's
  // creator passes 1.
  explicit CImage(u16 storageKind = PixelStorage::kHeap);
  // Frees the embedded block and the pixels (every view closed first).
  ~CImage() override;
  CImage& operator=(const CImage&) = delete;

  // The class factory's creator: an image with storage kind 1.
  static void CreateForFactory(Result& result, CPointer<CBase>& out);

  // --- the root-class protocol --------------------------------------------

  // A new image (storage kind 1) holding copies of the names, EmbedFormat,
  // EnableEmbed, the picture and the embedded bytes. No memory:
  // kErrOutOfMemory. A failed copy of the pixels or of the embedded bytes
  // is reported only for an image whose content is stored (LinkName
  // empty): a linked image decodes its file again anyway.
  Result CreateInstance(CPointer<CBase>& out) const override;
  // null: kErrInvalidArg. Copies the Name; a target that is not an image:
  // kErrNotFound. Otherwise the three names, the picture, EmbedFormat,
  // EnableEmbed and the embedded bytes; a failed copy is returned.
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  // Reads the record (after the class name and body size).
  //  - linked image: finds the file (LinkName if it exists, else
  //    LastLoadName if it exists, else each search folder followed by
  //    RelName, else LinkName's file name beside the scene file being read,
  //    else the last path tried). A path already in the linked-image cache:
  //    the stream's record is pointed at the cached image (references to
  //    this record resolve to it) and the answer is kDone. Otherwise the
  //    file is decoded; on success the path enters the cache with this
  //    image and becomes LastLoadName, on failure LinkName enters the cache
  //    and becomes LastLoadName and the image stays without pixels. Either
  //    way the Modified flag is cleared and the answer is kOk.
  //  - embedded: a byte count of 0 leaves the image without pixels (kOk);
  //    otherwise the bytes are decoded by EmbedFormat (IFF_HDR by the RGBE
  //    codec, IFF_TGA and IFF_BMP by the image library, any other code by
  //    the system decoder) and kept as the embedded block; the decoder's
  //    failure is returned.
  //  - raw: the pixel form (pixel_record.h); a marker 0 creates no pixels.
  // Counts and sizes are checked against the bytes the record holds before
  // anything is allocated (kErrStream). A stored storage kind that is not
  // 0 or 1 loads as 0 (heap): memory owned by someone else cannot come
  // from a file.
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  // An image refers to nothing: kDone.
  Result Link(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  // Runs PrepareRuntime first and stops on a negative code; then registers
  // the id (already registered: kDone) and adds the image to the save list.
  Result RegisterForSave(CStream& stream, u32 flags) override;
  // Makes the embedded bytes for saving: kDone when embedded bytes already
  // exist, when EnableEmbed is clear or when there are no pixels to encode
  // (such an image saves an empty embedded block and loads back without
  // pixels); else the pixels are encoded in EmbedFormat and become the
  // embedded block. The encoder's failure is returned.
  Result PrepareRuntime(void* context) override;
  // Writes the record; stops at the first failing write.
  Result Save(CStream& stream, u32 flags) override;
  // Group "CImage Member": "LinkName", "LastLoadName", "RelName", "KTImage"
  // (a nested group of the buffer's shape), "EmbedFormat" (with the eight
  // names of kFormatNames), "EnableEmbed", "EmbedSize", "lMMFID"; then the
  // root-class members.
  void DescribeMembers(CMemberVisitor& visitor) override;
  // Stride x Height + 2 x the length of LinkName + 216.
  u32 GetMemorySize() const override;
  // Exactly the bytes Save writes.
  u32 GetSaveSize() const override;

  // --- own operations -------------------------------------------------------

  // Frees the embedded block, sets the Modified flag and decodes the file
  // at `path` into the pixel buffer (DecodeImageFile), which also sets
  // EmbedFormat from the extension. Answers the decoder's code; on failure
  // the image is left without pixels.
  Result LoadFile(const WString& path);
  // Resamples the pixels to `width` x `height` into `target` (null or this:
  // in place). The written image is marked modified and loses its embedded
  // block. Answers PixelBuffer::Resize's code.
  Result Resize(i32 width, i32 height, CImage* target);
  // Converts the pixels to `layout` into `target` (null or this: in
  // place), with the same bookkeeping. Answers PixelBuffer::Convert's code.
  Result ConvertPixelFormat(u32 layout, CImage* target);
  // Blends the `width` x `height` rectangle at (sx, sy) of `source` over
  // this image's pixels at (dx, dy) with the overall alpha `alpha`
  // (0-255); marks this image modified and frees its embedded block.
  // Answers PixelBuffer::Blend's code.
  Result DrawImage(i32 dx, i32 dy, const CImage& source, i32 sx, i32 sy, i32 width, i32 height, i32 alpha);
  // True when the pixel buffer has pixels (PixelBuffer::HasPixels).
  bool HasPixels() const { return PixelBuffer::HasPixels(image_); }

  // Replaces the embedded block by a copy of `size` bytes at `bytes`: a
  // block of the memory-mapping library when it grants one, else a heap
  // block. A null source or a zero size: kDone, nothing changed. No heap
  // memory: kErrOutOfMemory (the old block is gone).
  Result StoreEmbedded(const u8* bytes, u32 size);
  // Frees the embedded block (EmbedSize and lMMFID become 0).
  void FreeEmbedded();
  // A copy of the embedded bytes (empty without a block).
  std::vector<u8> GetEmbeddedBytes() const;

  const WString& GetLinkName() const { return linkName_; }
  void SetLinkName(const WString& value) {
    linkName_ = value;
    SetModified();
  }
  const WString& GetLastLoadName() const { return lastLoadName_; }
  void SetLastLoadName(const WString& value) {
    lastLoadName_ = value;
    SetModified();
  }
  const WString& GetRelName() const { return relName_; }
  void SetRelName(const WString& value) {
    relName_ = value;
    SetModified();
  }
  u32 GetEmbedFormat() const { return embedFormat_; }
  void SetEmbedFormat(u32 value) {
    embedFormat_ = value;
    SetModified();
  }
  bool GetEnableEmbed() const { return enableEmbed_; }
  void SetEnableEmbed(bool value) {
    enableEmbed_ = value;
    SetModified();
  }
  u32 GetEmbedSize() const { return embedSize_; }
  u32 GetMmfId() const { return mmfId_; }
  const KTImage& GetImage() const { return image_; }
  // The pixel buffer for direct changes; a caller that changes the pixels
  // frees the embedded block itself (FreeEmbedded).
  KTImage& EditImage() { return image_; }

  // --- process-wide state -----------------------------------------------------

  // The linked-image cache. It lives as long as the process and holds a
  // reference to every image in it.
  static const LinkedImageCache& GetLinkedImageCache();
  // The image cached for `path`, or null.
  static CImage* FindLinkedImage(const WString& path);
  // The image search folders, in search order (empty unless filled).
  static std::vector<WString>& GetSearchFolders();

 private:
  CImage(const CImage& other);
  // Copies every field but the root class's into `target` (which may be a
  // fresh image); the first failed copy is returned.
  Result CopyContentTo(CImage& target) const;
  Result LoadLinked(CStream& stream, CStreamLoadRecord& record);
  Result LoadEmbedded(CStream& stream, i32 version);
  // The file a linked record names, found as Load describes.
  WString FindLinkedFile(CStream& stream) const;
  // RelName of records older than 2.04: LinkName after the first search
  // folder that occurs in it.
  WString DeriveRelName() const;
  // Enters `path` with this image in the linked-image cache (a path
  // already there keeps its image); a linked image gives up its embedded
  // bytes first.
  void EnterLinkedImageCache(const WString& path);
  // The address of the embedded bytes while `map` is alive.
  const u8* EmbeddedBytes(const CKTSmartMap& map) const;

  WString linkName_;
  WString lastLoadName_;
  WString relName_;
  KTImage image_;
  u32 embedFormat_ = 2;  // IFF_JPG
  bool enableEmbed_ = true;
  u32 embedSize_ = 0;
  u32 mmfId_ = 0;  // lMMFID
  std::unique_ptr<u8[]> heapBlock_;
};

}  // namespace KT
