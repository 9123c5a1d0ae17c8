// KT::CHeightMap: a square height field of 513 x 513 samples with
// per-sample vector and integer data, a few renderer settings, an ordered
// list of owned objects and one further owned object.
//
// Sample (row r, column c) is element r x 513 + c of Heights and lies at
// x = c x 50 + Offset.x, y = r x 50 + Offset.y, z = height + Offset.z.
// After a load the field is cut into 8 x 8 blocks of 65 x 65 samples
// (neighbouring blocks share their edge samples) and each block gets an
// axis-aligned bound, with one bound around them all, so that a renderer
// can cull the field block by block. The bounds live only in memory.
//
// Record, after the KT::CDorun part (little-endian): version pair 1.01;
// Scale (f32); Offset (3 f32); Heights, Vectors, Values (each a u32 count,
// then the elements: f32, 3 f32, u32); MinHeight, MaxHeight (f32); Flag1,
// Flag2, Flag3 (one byte each); Setting (u32); the list (u32 count, then
// 8-byte ids); the id of SubObject; from 1.01 Flag4 (one byte).
//
// The height map describes no members of its own and does not forward
// ResolveReferences to the objects it holds.
#pragma once

#include <array>
#include <cfloat>
#include <vector>

#include "objectmodel/buffer.h"
#include "objectmodel/dorun.h"
#include "objectmodel/vector.h"
#include "scene/bound.h"

namespace KT {

class CHeightMap : public CDorun {
  KT_DECLARE_CLASS(CHeightMap)

 public:
  // Version gate of the record: Flag4 is stored from here on.
  static constexpr u32 kVersionFlag4 = 101;

  // Grid geometry.
  static constexpr u32 kSamplesPerSide = 513;
  static constexpr u32 kSampleCount = kSamplesPerSide * kSamplesPerSide;
  static constexpr u32 kBlocksPerSide = 8;
  static constexpr u32 kBlockCount = kBlocksPerSide * kBlocksPerSide;
  static constexpr u32 kCellsPerBlock = 64;  // a block spans 65 samples a side
  static constexpr f32 kCellSize = 50.0f;

  // Scale 1, Offset 0, empty buffers and list, MinHeight the largest float
  // and MaxHeight its negative, Flag1..Flag3 true, Flag4 false, Setting 2,
  // every bound empty.
  CHeightMap() = default;
  ~CHeightMap() override;

  // --- owned objects -----------------------------------------------------------------------
  const std::vector<CPointer<CBase>>& GetSubObjectList() const { return subObjectList_; }
  CBase* GetSubObject() const { return subObject_.Get(); }
  // Appends `object` (null: an empty entry). kErrInvalidArg, nothing
  // changed, when `object` is this height map or holds it.
  Result AddListObject(CBase* object);
  // Replaces SubObject (null empties it); the same refusal.
  Result SetSubObject(CBase* object);

  // --- bounds ------------------------------------------------------------------------------
  // Computes the 64 block bounds and the total bound from Heights (Load
  // runs it). Every bound is emptied first; a Heights buffer that does not
  // hold exactly 513 x 513 samples (empty included) leaves them empty and
  // answers kDone, else kOk.
  Result ComputeBlockBounds();
  // Block (row i, column j), 0 <= i, j < 8, is element i x 8 + j.
  const std::array<CBound, kBlockCount>& GetBlockBounds() const { return blockBounds_; }
  const CBound& GetTotalBound() const { return totalBound_; }

  // --- CBase protocol ----------------------------------------------------------------------
  // The CDorun part first, then the set list entries in order, then
  // SubObject.
  CBase* Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) override;
  void Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record, bool includeDerived,
               bool onlyMarked) override;
  bool UpdateMarked(const ObjectSet& set) override;
  void ClearMarked() override;
  // A new height map (fresh name, id and chains) with the values and
  // buffers of this one; no list entries, no SubObject, empty bounds.
  // kErrOutOfMemory when a buffer cannot be copied.
  Result CreateInstance(CPointer<CBase>& out) const override;
  // Clones of the list entries (at the same indices) and of SubObject.
  Result Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) override;
  // A target that is null or not a height map: kErrNotFound, nothing
  // changed. Otherwise the CDorun part, the values and buffers; the target
  // shares this map's list entries and SubObject, its former ones going to
  // `displaced`. Its bounds stay.
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  // Counts that cannot fit in the record: kErrStream. Ends with
  // ComputeBlockBounds, whose answer does not change the load's.
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  // Refuses (kErrNotFound) an entry that would make the map hold itself.
  Result Link(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result RegisterForSave(CStream& stream, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  // Every list entry (empty ones included), then SubObject, as owned;
  // then the CDorun part.
  void EnumReferences(CReferenceVisitor& visitor) override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;
  bool HasSubObjects() const override;

  // --- stored values -------------------------------------------------------------------
  f32 Scale = 1.0f;
  CVector3<float> Offset = kVectorZero;
  CBuffer<f32> Heights;
  CBuffer<CVector3<float>> Vectors;
  CBuffer<u32> Values;
  f32 MinHeight = FLT_MAX;
  f32 MaxHeight = -FLT_MAX;
  bool Flag1 = true;
  bool Flag2 = true;
  bool Flag3 = true;
  bool Flag4 = false;
  u32 Setting = 2;

 private:
  // Copies Scale, Offset, the three buffers (new storage), MinHeight,
  // MaxHeight, the flags and Setting into `other`, in that order; a buffer
  // that cannot be made stops it with kErrOutOfMemory.
  Result CopyValuesTo(CHeightMap& other) const;
  // The walk list: the list entries, then SubObject.
  std::vector<CBase*> Owned() const;

  std::vector<CPointer<CBase>> subObjectList_;
  CPointer<CBase> subObject_;
  std::array<CBound, kBlockCount> blockBounds_{};
  CBound totalBound_;
  // What Load queued for Link.
  u32 queuedEntries_ = 0;
  bool queuedSubObject_ = false;
};

}  // namespace KT
