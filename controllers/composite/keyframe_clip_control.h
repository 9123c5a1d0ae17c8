// KT::CKeyframeClipControl: a keyframe transform controller that also
// carries a list of named clip records and a list of small marker records,
// and remembers the Frequency at which its keys were last baked. It
// evaluates exactly as KT::CKeyframeControl: no evaluation reads the clips
// or the markers; they are stored, loaded, copied by construction and sized
// as they are.
//
// A clip is 80 bytes, in memory as on disk: a name of 32 UTF-16 units,
// zero-terminated within the 32, then two u32 and two f32 values. A marker
// is three 32-bit values; one added by a resize is {0, -1, 1}.
//
// Record, after the KT::CKeyframeControl part (little-endian): version
// pair 2.00; u32 clip count, then the clips (80 bytes each); u32 marker
// count, then the markers (12 bytes each). Records below 2.00 store each
// clip name as 32 narrow bytes in the ANSI code page (Windows-1252), read
// up to the first zero (at most 31 characters), and stored the third and
// fourth values raised by the controller's Weight, which the load takes off
// again. A 2.00 record keeps its values as stored, so save and load are a
// fixed point. Counts are checked against the bytes left before anything
// is allocated (kErrStream). The member description is the keyframe
// controller's alone.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "controllers/core/control_level.h"
#include "controllers/core/keyframe_control.h"

namespace KT {

class CKeyframeClipControl
    : public CControlLevel<CKeyframeClipControl, CKeyframeControl, ClassIndex::CKeyframeClipControl> {
 public:
  // Version gate of the record.
  static constexpr u32 kVersionWideNames = 200;  // UTF-16 names and values as stored from here on
  static constexpr TimePolicy kTimePolicy = TimePolicy::kMapped;

  // Units of a clip's name field, the terminator included.
  static constexpr u32 kNameUnits = 32;

  struct Clip {
    char16_t Name[kNameUnits] = {};
    u32 First = 0;
    u32 Second = 0;
    f32 Third = 0.0f;
    f32 Fourth = 0.0f;

    // The name up to its terminator (all 32 units when a file left none).
    std::u16string GetName() const;
    // Stores at most the first 31 units of `name` and zero-fills the rest.
    void SetName(std::u16string_view name);
  };
  static_assert(sizeof(Clip) == 80, "a clip is stored as it lies in memory");

  struct Marker {
    i32 Values[3] = {0, -1, 1};
  };
  static_assert(sizeof(Marker) == 12, "a marker is stored as it lies in memory");

  CKeyframeClipControl() = default;
  // The keyframe controller's copy, the clips, the markers and
  // BakedFrequency; Repeat becomes RT_CLAMP whatever the source's, so every
  // copy (CreateInstance) clamps.
  CKeyframeClipControl(const CKeyframeClipControl& other);

  // --- fields ----------------------------------------------------------------------
  const std::vector<Clip>& GetClips() const { return clips_; }
  const std::vector<Marker>& GetMarkers() const { return markers_; }
  // Replace the lists; kErrOutOfMemory leaves them as they were. Mark
  // modified.
  Result SetClips(const std::vector<Clip>& clips);
  Result SetMarkers(const std::vector<Marker>& markers);
  // Grows (new markers {0, -1, 1}) or shrinks the marker list;
  // kErrOutOfMemory leaves it as it was. Marks modified.
  Result ResizeMarkers(u32 count);
  f32 GetBakedFrequency() const { return bakedFrequency_; }
  void SetBakedFrequency(f32 frequency) {
    bakedFrequency_ = frequency;
    SetModified();
  }

  // --- keyframe-controller protocol -----------------------------------------------
  // BakedFrequency = Frequency, then the keyframe controller's bake (key
  // times divided by Frequency, Frequency 1.0). A Frequency the bake
  // refuses (not a finite number above 0) answers its kErrInvalidArg and
  // changes nothing, BakedFrequency included.
  Result BakeFrequency() override;

  // --- root protocol ---------------------------------------------------------------
  // Always kErrInvalidArg (0x80000003), nothing changed: copies are made
  // by the copy constructor.
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  Result Save(CStream& stream, u32 flags) override;
  u32 GetSaveSize() const override;
  // The keyframe controller's members only (clips and markers are not
  // described).
  void DescribeMembers(CMemberVisitor& visitor) override { CKeyframeControl::DescribeMembers(visitor); }
  u32 GetMemorySize() const override;

  // --- the class level (control_level.h) ---
  // The record is irregular (fixed-size name fields, a legacy narrow form):
  // Save, GetSaveSize and LoadOwn write it by hand, so the field list is
  // empty.
  template <typename W, typename Self>
  static void Fields(W&, Self&) {}
  Result LoadOwn(CStream& stream, CStreamLoadRecord& record, u32 storedVersion);
  Result CopyOwnTo(CKeyframeClipControl&) const { return kErrInvalidArg; }

 private:
  Result LoadNarrowClips(CStream& stream);

  std::vector<Marker> markers_;
  std::vector<Clip> clips_;
  f32 bakedFrequency_ = 1.0f;
};

}  // namespace KT
