// KT::CAnmImage: an image made of frames, such as an animated GIF.
//
// Each frame record places one still image (KT::CImage) with its display
// time and position. An animated image either links an image file by path
// (FileName), decoded into frames when the scene is read, or stores its
// frames in the record with references to the frame images, which are
// records of their own.
//
// Linked animations are shared through a process-wide cache from a path to
// the animated image first loaded for it.
//
// Record after the root-class part, little-endian: version pair 2, 1;
// FileName (wide string); a linked animation's record ends there.
// Otherwise u32 frame count and per frame u32 Delay, u32 FrameValue1, i32
// OffsetX, i32 OffsetY, 4 bytes FrameColor, then the frame image's 8-byte
// id (0 for none): 28 bytes per frame. Older forms: below 2.00 one u32
// (and from 1.01 two more) after the version pair, which are skipped; up
// to 2.00 the frames are 24-byte records whose last 4 bytes are the frame
// image's 4-byte id.
#pragma once

#include <map>
#include <vector>

#include "objectmodel/base.h"
#include "render/images/image.h"

namespace KT {

class CAnmImage : public CBase {
  KT_DECLARE_CLASS(CAnmImage)

 public:
  // Version gates of the record (major x 100 + minor).
  static constexpr i32 kVersionWideFrameIds = 201;       // from here frames carry 8-byte ids
  // Bytes of one stored frame: five 4-byte values and the image id.
  static constexpr u32 kFrameBytes = 5 * 4 + 8;
  static constexpr u32 kNarrowFrameBytes = 5 * 4 + 4;

  struct CFrame {
    u32 Delay = 0;        // display time in hundredths of a second
    u32 FrameValue1 = 0;  // the decoder's second per-frame value (its disposal method)
    i32 OffsetX = 0;      // where the frame image is drawn
    i32 OffsetY = 0;
    u8 FrameColor[4] = {0, 0, 0, 0};  // three colour bytes from the decoder, then 0
    CPointer<CImage> Image;
  };

  using LinkedAnimationCache = std::map<WString, CPointer<CAnmImage>>;

  // Empty FileName, no frames.
  CAnmImage();
  // Releases every frame image.
  ~CAnmImage() override = default;
  CAnmImage& operator=(const CAnmImage&) = delete;

  // --- the root-class protocol --------------------------------------------

  // The object itself or a frame image that passes the filters.
  CBase* Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) override;
  // This object and every frame image that pass the filters.
  void Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record, bool includeDerived,
               bool onlyMarked) override;
  // Marked when this object or any frame image is in the set.
  bool UpdateMarked(const ObjectSet& set) override;
  void ClearMarked() override;
  // A new animated image with a copy of the frame list (the frame images
  // shared) and an empty FileName. No memory: kErrOutOfMemory.
  Result CreateInstance(CPointer<CBase>& out) const override;
  // The root class's clone, then every frame image is cloned through the
  // same map and the copy's frame refers to the clone. The first failure
  // is returned; an object already in the map answers kDone.
  Result Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) override;
  // null: kErrInvalidArg. Copies the Name; a target of another class:
  // kErrNotFound. Otherwise FileName and the frame records (frame images
  // shared; the target's former ones go to `displaced`).
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  // Reads the record (after the class name and body size).
  //  - linked: a FileName without a drive colon that does not start with a
  //    separator is taken in the folder of the scene file being read; when
  //    that file does not exist, a FileName without any separator ends the
  //    load with kErrNotFound, any other is replaced by its file name in
  //    the scene file's folder. A path already in the linked-animation
  //    cache: the stream's record is pointed at the cached animation
  //    (references to this record resolve to it) and the answer is kOk.
  //    Otherwise the path enters the cache with this object, becomes
  //    FileName and LoadFile decodes it into heap images; its code is the
  //    answer.
  //  - stored frames: the frame count is checked against the bytes left
  //    before anything is allocated (kErrStream); each frame's image id is
  //    queued for Link. A frame image whose record was read earlier in the
  //    same section is taken at once, so that frames survive in sections
  //    that have no link pass (the object list).
  // Both '\' and '/' separate path components.
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  // Stored frames: each frame's image id is resolved (an id that names no
  // image leaves the frame without one). kOk.
  Result Link(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  // Registers the id (already registered: kDone) and adds the object to
  // the save list; then, for stored frames, every frame image that is set.
  // A linked animation saves only FileName, so its frames are not saved.
  Result RegisterForSave(CStream& stream, u32 flags) override;
  // Writes the record; stops at the first failing write.
  Result Save(CStream& stream, u32 flags) override;
  // Only the root-class members (frames are objects of their own).
  void DescribeMembers(CMemberVisitor& visitor) override;
  // Every frame image, owned.
  void EnumReferences(CReferenceVisitor& visitor) override;
  // 116.
  u32 GetMemorySize() const override;
  // Exactly the bytes Save writes: 28 per stored frame.
  u32 GetSaveSize() const override;
  // True when at least one frame has an image.
  bool HasSubObjects() const override;

  // --- own operations -------------------------------------------------------

  // A copy of frame `index` (its image shared). An index at or beyond the
  // frame count: kErrInvalidArg.
  Result GetFrame(u32 index, CFrame& out) const;
  // Appends a frame with these values and image (the fourth colour byte is
  // stored as 0). A null image: kErrInvalidArg.
  Result AddFrame(const CFrame& values, CImage* image);
  u32 GetFrameCount() const { return static_cast<u32>(frames_.size()); }

  // Reads the whole file, takes the format from its extension (none:
  // kErrImageFormat) and decodes every frame through the image library
  // into new images with pixel storage `storageKind`, replacing the frame
  // list. Each image is marked modified, has no embedded bytes and the
  // file's format as EmbedFormat. The failure of reading the file or of
  // the decoder is returned (no image: kErrTreeData) and leaves no frames.
  Result LoadFile(const WString& path, u16 storageKind = PixelStorage::kHeap);

  const WString& GetFileName() const { return fileName_; }
  void SetFileName(const WString& value) {
    fileName_ = value;
    SetModified();
  }

  // The linked-animation cache; it lives as long as the process.
  static const LinkedAnimationCache& GetLinkedAnimationCache();

 private:
  CAnmImage(const CAnmImage& other);
  Result LoadLinked(CStream& stream, CStreamLoadRecord& record);
  Result LoadFrames(CStream& stream, CStreamLoadRecord& record, i32 version);

  WString fileName_;
  std::vector<CFrame> frames_;
};

}  // namespace KT
