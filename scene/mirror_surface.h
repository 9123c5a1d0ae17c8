// KT::CMirrorSurface: a geometry that a renderer draws as a reflecting
// surface, and KT::CUvwMappedGeometry, the part it shares with
// KT::CBillboard (scene/billboard.h).
//
// Both hold a list of UVW maps (KT::CUvwMap) that map what the surface
// shows; entries may be empty. Every frame (their Update, run by the data
// pass) they copy level 0's positions into WorldXYZ, let their data
// controllers deform them, and move them into world space unless a
// controller has already done so (WorldXYZReady).
//
// Record, after the KT::CGeometry record (little-endian): version pair
// 1.00; UVWMapQuantity (u32); one 8-byte id per map (0 for an empty entry).
#pragma once

#include <vector>

#include "scene/geometry.h"

namespace KT {

class CUvwMap;

// The list of UVW maps with the object operations over it, and the
// per-frame update, shared by the mirror surface and the billboard. It has
// no class record of its own (objects report their concrete class), so it
// is only ever a base.
class CUvwMappedGeometry : public CGeometry {
 public:
  using MapList = std::vector<CPointer<CUvwMap>>;

  ~CUvwMappedGeometry() override;

  // --- maps ----------------------------------------------------------------------
  u32 GetUVWMapQuantity() const { return static_cast<u32>(maps_.size()); }
  const MapList& GetUvwMaps() const { return maps_; }
  // Map `index`, or null for an empty entry or an index past the end.
  CUvwMap* GetUvwMap(u32 index) const;
  // Replaces the list (entries may be null).
  void SetUvwMaps(const MapList& maps);
  // Appends `map` (null appends an empty entry).
  void AddUvwMap(CUvwMap* map);

  // --- per-frame update ------------------------------------------------------------
  // Clears WorldXYZReady, makes WorldXYZ a copy of level 0's positions, runs
  // the controllers (a deformer may overwrite WorldXYZ and set
  // WorldXYZReady), then moves WorldXYZ to world space unless it is ready.
  // kOk; the first failure of the controllers; kDone without a level 0
  // (nothing is updated then and nothing is drawn).
  Result Update(i32 time) override;
  // Every WorldXYZ entry up to level 0's vertex count becomes its transform
  // by WorldMatrix (divided by w); WorldXYZReady is set. kOk.
  virtual Result TransformVerticesToWorld();

  // --- overrides --------------------------------------------------------------------
  // The geometry's answer first, then each map's in order.
  CBase* Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) override;
  void Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record, bool includeDerived,
               bool onlyMarked) override;
  bool UpdateMarked(const ObjectSet& set) override;
  void ClearMarked() override;
  // Null root: kErrInvalidArg; each map's first (the first failure is
  // returned), then the geometry's.
  Result ResolveReferences(CBase* root) override;
  // True when any map entry is set, else the geometry's answer.
  bool HasSubObjects() const override;
  // The geometry's (its kDone or failure is returned as is), then every
  // map's.
  Result RegisterForSave(CStream& stream, u32 flags) override;
  // Every map entry as owned (empty ones included), then the geometry's.
  void EnumReferences(CReferenceVisitor& visitor) override;
  // The geometry's collection, the object itself (it updates every frame),
  // then every map's; the first failure of the maps is returned.
  Result CollectAnimated(std::vector<CDorun*>& animated) override;
  // The geometry's clone, then every map cloned through the same map.
  Result Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) override;
  // The geometry's link, then each map entry from the next queued id (an id
  // that names no map leaves the entry empty; an ownership cycle:
  // kErrNotFound).
  Result Link(CStream& stream, CStreamLoadRecord& record, u32 flags) override;

 protected:
  CUvwMappedGeometry();
  // The geometry copy; the copy shares the source's maps.
  CUvwMappedGeometry(const CUvwMappedGeometry& other);

  // The record helpers of the derived classes. SaveMaps writes the count and
  // one 8-byte id per map. LoadMaps reads the count, checks it against the
  // bytes left (kErrStream) before making `count` empty entries, then queues
  // one id per entry (8 bytes, or 4 widened with a zero high word).
  Result SaveMaps(CStream& stream) const;
  Result LoadMaps(CStream& stream, CStreamLoadRecord& record, bool wideIds);
  u32 GetMapsSaveSize() const { return 4 + 8 * GetUVWMapQuantity(); }
  // The target's current maps go to `displaced`; the target then holds
  // exactly this object's maps (shared).
  void CopyMapsTo(CUvwMappedGeometry& target, DisplacedList& displaced) const;

 private:
  MapList maps_;
};

class CMirrorSurface : public CUvwMappedGeometry {
  KT_DECLARE_CLASS(CMirrorSurface)

 public:
  // No levels, no maps.
  CMirrorSurface();
  // The geometry copy and the source's maps, shared.
  CMirrorSurface(const CMirrorSurface& other);
  ~CMirrorSurface() override;

  // A new default surface into `out`: kOk, or kErrOutOfMemory.
  static Result Create(CPointer<CMirrorSurface>& out);

  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;
  Result CreateInstance(CPointer<CBase>& out) const override;
  // The target must be a mirror surface (null: kErrInvalidArg; another
  // class: kErrNotFound; checked before anything is copied). The geometry
  // part, then the maps shared (the target's former maps go to
  // `displaced`).
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  void DescribeMembers(CMemberVisitor& visitor) override;
};

}  // namespace KT
