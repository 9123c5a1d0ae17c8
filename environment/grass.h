// KT::CGrass: a field of grass blades in the scene tree. The blades are
// grouped in regions (each with its own box and culling radius); the field
// keeps level-of-detail distances, wind parameters, the box of the whole
// field and two owned objects it never reads. Drawing and swaying the
// blades is the renderer's business: the library stores, copies, describes
// and bounds them.
//
// The record builds directly on the KT::CDorun part: a field's spatial
// transform, parent and spatial sub-objects are not stored, so moving a
// field and saving it stores the same record. Record, after the CDorun
// part (little-endian): version pair 2.01; LodFarDistance,
// LodTransitionLength (f32); WindDir (3 f32); WindPeriod, WindAmplitude,
// WindFrequency (f32); NumRegionCols, NumRegionRows (u32); the region
// count, then each region: Center, Min, Max (3 f32 each), CullingRadius
// (f32), the blade count and the 60-byte blades; GrassBound (40 bytes:
// radius, centre, min, max); the ids of AuxObject1 and AuxObject2 (8 bytes
// each from 2.01, 4 bytes before).
#pragma once

#include <vector>

#include "scene/spatial.h"

namespace KT {

class CGrass : public CSpatial {
  KT_DECLARE_CLASS(CGrass)

 public:
  // Version gate of the record: 8-byte ids above 2.00.
  static constexpr u32 kVersionNarrowIds = 200;

  // One blade: 60 bytes in memory and in the record.
  struct CBlade {
    CVector3<float> Pos = kVectorZero;
    CVector3<float> Normal = kVectorZero;
    f32 Width = 0.0f;
    f32 Height = 0.0f;
    f32 Throw = 0.0f;
    CVector3<float> BottomColor = kVectorZero;
    CVector3<float> TopColor = kVectorZero;
    bool operator==(const CBlade&) const = default;
  };

  // A region: 44 bytes and its blades in the record. A region made by a
  // load starts from these values before the stored ones replace them.
  struct CRegion {
    CVector3<float> Center{0.5f, 0.5f, 0.5f};
    CVector3<float> Min = kVectorZero;
    CVector3<float> Max{1.0f, 1.0f, 1.0f};
    f32 CullingRadius = 1.0f;
    std::vector<CBlade> Blade;
    bool operator==(const CRegion&) const = default;
  };

  // Every scalar 0 but WindAmplitude and WindFrequency (1); no regions;
  // GrassBound from (0, 0, 0) to (1, 1, 1) with radius and centre 0; no
  // objects.
  CGrass();
  // The spatial copy, every value and the regions; GrassBound takes the
  // source's min and max only; the two objects are shared.
  CGrass(const CGrass& other);
  // Drops the regions, then releases AuxObject2 and AuxObject1.
  ~CGrass() override;

  // --- owned objects -----------------------------------------------------------------------
  // Slot 0 is AuxObject1, 1 is AuxObject2; another index answers null.
  CBase* GetAuxObject(u32 slot) const { return slot < 2 ? aux_[slot].Get() : nullptr; }
  // Sets a slot (null empties it). kErrInvalidArg, nothing changed, for an
  // index past the slots or an object that is this field or holds it.
  Result SetAuxObject(u32 slot, CBase* object);

  // --- spatial protocol ----------------------------------------------------------------------
  // Appends the field.
  Result CollectSpatials(std::vector<CSpatial*>& spatials) override;
  // The world bound becomes GrassBound's box, not moved by the world
  // matrix, with centre (min + max) / 2 and radius |min - max| / 2; kDone.
  Result UpdateWorldBound() override;

  // --- CBase protocol ------------------------------------------------------------------------
  // The spatial's walks, then AuxObject1 and AuxObject2.
  CBase* Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) override;
  void Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record, bool includeDerived,
               bool onlyMarked) override;
  bool UpdateMarked(const ObjectSet& set) override;
  void ClearMarked() override;
  Result CreateInstance(CPointer<CBase>& out) const override;
  // The spatial's clone, then clones of the two objects.
  Result Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) override;
  // A target that is null or not a field: kErrNotFound, nothing changed.
  // Otherwise the spatial part, every value and the regions; the target
  // shares the two objects (its former ones go to `displaced`) and takes
  // GrassBound's min and max.
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  // Counts that cannot fit in the record: kErrStream, the regions read so
  // far kept.
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  // Refuses (kErrNotFound) an object that would make the field hold
  // itself.
  Result Link(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  // The CDorun registration, then the two objects.
  Result RegisterForSave(CStream& stream, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  // "CGrass Member", then the spatial's members.
  void DescribeMembers(CMemberVisitor& visitor) override;
  // AuxObject1, AuxObject2 (null ones included) as owned; then the
  // spatial's.
  void EnumReferences(CReferenceVisitor& visitor) override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;
  bool HasSubObjects() const override;

  // --- stored values -------------------------------------------------------------------
  f32 LodFarDistance = 0.0f;
  f32 LodTransitionLength = 0.0f;
  CVector3<float> WindDir = kVectorZero;
  f32 WindPeriod = 0.0f;
  f32 WindAmplitude = 1.0f;
  f32 WindFrequency = 1.0f;
  // The grid the regions form; not checked against the region count.
  u32 NumRegionCols = 0;
  u32 NumRegionRows = 0;
  std::vector<CRegion> Region;
  // Only Min and Max are used.
  CBound GrassBound;

 private:
  std::vector<CBase*> Aux() const { return {aux_[0].Get(), aux_[1].Get()}; }
  u32 BladeCount() const;

  CPointer<CBase> aux_[2];
};

}  // namespace KT
