// KT::CThumbnail: the preview picture a scene file carries in its thumbnail
// section.
//
// It holds raw pixels only (never a linked file or encoded bytes) in a heap
// pixel buffer, plus the frame count and current frame of an animated
// preview and a key colour that marks transparent pixels. The stream writes
// it as the thumbnail section and reads it back through the class factory
// (register it with KT::ImageFactory::RegisterImageClasses).
//
// Record after the root-class part, little-endian: version pair 2, 1; u32
// Width, u32 Height, u32 Layout, u16 AlignRows, u32 DpiX, u32 DpiY; u32
// pixel marker (1 when pixel bytes follow), then Stride x Height bytes, rows
// as held in memory; u32 TotalFrame, u32 CurrentFrame, u8 EnableKeyColor,
// u32 KeyColor.
#pragma once

#include "objectmodel/base.h"
#include "render/images/pixel_buffer.h"

namespace KT {

class CThumbnail : public CBase {
  KT_DECLARE_CLASS(CThumbnail)

 public:
  // Files from 2.00 up to (not including) 3.01 carry, between the root-class
  // part and this class's version block, the part of a former intermediate
  // base class, which is read and ignored.
  static constexpr i32 kFirstRootPartVersion = 200;
  static constexpr i32 kFirstVersionWithoutFormerBase = 301;
  // Version gates inside that former part: from 2.01 its three values are
  // 64-bit, before they are 32-bit and only one of them exists before 1.01.
  static constexpr u32 kFormerBaseWideValues = 201;
  static constexpr u32 kFormerBaseThreeValues = 101;

  // Empty picture (resolution 96 x 96), TotalFrame 1, CurrentFrame 0, key
  // colour off and 0.
  CThumbnail();
  // The pixel buffer frees its storage itself.
  ~CThumbnail() override = default;
  CThumbnail& operator=(const CThumbnail&) = delete;

  // --- the root-class protocol --------------------------------------------

  // A new thumbnail with the Name, the four frame fields and a copy of the
  // picture (pixels, AlignRows, resolution). No memory: kErrOutOfMemory;
  // a failed pixel copy answers its code and `out` is left unchanged.
  Result CreateInstance(CPointer<CBase>& out) const override;
  // null: kErrInvalidArg. Copies the Name; a target that is not a
  // thumbnail: kErrNotFound. Otherwise the four frame fields and the
  // picture (an empty picture empties the target's); the pixel copy's
  // failure is returned.
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  // Reads the record (after the class name and body size). Besides the
  // stream's own failures: a layout code above 6 answers kErrNotFound; a
  // width or height beyond 2^31-1, or pixel bytes (Stride x Height) that
  // the stream does not hold, kErrStream before anything is allocated;
  // a marked record with a zero width or height kErrInvalidArg.
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  // A thumbnail refers to nothing: kDone.
  Result Link(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  // Writes the record; stops at the first failing write.
  Result Save(CStream& stream, u32 flags) override;
  // Group "CThumbnail Member": "KTImage" (a nested group of the buffer's
  // Width, Height, Layout, BytesPerPixel, Stride, AlignRows, DpiX, DpiY),
  // "TotalFrame", "CurrentFrame", "EnableKeyColor", "KeyColor"; then the
  // root-class members.
  void DescribeMembers(CMemberVisitor& visitor) override;
  // Stride x Height + 124.
  u32 GetMemorySize() const override;
  // Exactly the bytes Save writes.
  u32 GetSaveSize() const override;

  // --- own operations -------------------------------------------------------

  // Replaces the picture by a copy of `image` and resets the frame fields
  // (CurrentFrame 0, EnableKeyColor false, KeyColor 0, TotalFrame 1); marks
  // the thumbnail modified. Answers the pixel copy's code: kErrInvalidArg
  // for an image without pixels (the frame fields are reset all the same).
  Result SetImage(const KTImage& image);
  const KTImage& GetImage() const { return image_; }

  u32 GetTotalFrame() const { return totalFrame_; }
  void SetTotalFrame(u32 value) {
    totalFrame_ = value;
    SetModified();
  }
  u32 GetCurrentFrame() const { return currentFrame_; }
  void SetCurrentFrame(u32 value) {
    currentFrame_ = value;
    SetModified();
  }
  bool GetEnableKeyColor() const { return enableKeyColor_; }
  void SetEnableKeyColor(bool value) {
    enableKeyColor_ = value;
    SetModified();
  }
  u32 GetKeyColor() const { return keyColor_; }
  void SetKeyColor(u32 value) {
    keyColor_ = value;
    SetModified();
  }

 private:
  // Copies everything but the pixels, which can fail and are copied by the
  // callers (CreateInstance) with a result code.
  CThumbnail(const CThumbnail& other);
  // Takes the picture of `source` (pixels, AlignRows, resolution).
  Result CopyPicture(const KTImage& source);
  // Reads the former intermediate base part of files before 3.01.
  static Result SkipFormerBasePart(CStream& stream);

  KTImage image_;
  u32 totalFrame_ = 1;
  u32 currentFrame_ = 0;
  bool enableKeyColor_ = false;
  u32 keyColor_ = 0;
};

}  // namespace KT
