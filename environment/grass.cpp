#include "environment/grass.h"

#include <type_traits>

#include "objectmodel/class_factory.h"
#include "objectmodel/member_visitor.h"
#include "objectmodel/owned_link.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"
#include "objectmodel/owned_walk.h"

namespace KT {

static_assert(sizeof(CGrass::CBlade) == 60 && std::is_trivially_copyable_v<CGrass::CBlade>,
              "blades are read and written as one block of 60-byte records");

namespace {

// Bytes of a region in the record, blades left out.
constexpr u32 kRegionBytes = 44;
constexpr u32 kBladeBytes = sizeof(CGrass::CBlade);

}  // namespace

CGrass::CGrass() { GrassBound.Max = CVector3<float>(1.0f, 1.0f, 1.0f); }

CGrass::CGrass(const CGrass& other)
    : CSpatial(other),
      LodFarDistance(other.LodFarDistance),
      LodTransitionLength(other.LodTransitionLength),
      WindDir(other.WindDir),
      WindPeriod(other.WindPeriod),
      WindAmplitude(other.WindAmplitude),
      WindFrequency(other.WindFrequency),
      NumRegionCols(other.NumRegionCols),
      NumRegionRows(other.NumRegionRows),
      Region(other.Region) {
  GrassBound.Min = other.GrassBound.Min;
  GrassBound.Max = other.GrassBound.Max;
  aux_[0] = other.aux_[0];
  aux_[1] = other.aux_[1];
}

CGrass::~CGrass() {
  Region.clear();
  aux_[1] = nullptr;
  aux_[0] = nullptr;
}

Result CGrass::SetAuxObject(u32 slot, CBase* object) {
  if (slot >= 2 || WouldHoldItself(object, this)) return kErrInvalidArg;
  aux_[slot] = object;
  SetModified();
  return kOk;
}

u32 CGrass::BladeCount() const {
  u32 blades = 0;
  for (const CRegion& region : Region) blades += static_cast<u32>(region.Blade.size());
  return blades;
}

// --- spatial protocol --------------------------------------------------------------------------

Result CGrass::CollectSpatials(std::vector<CSpatial*>& spatials) {
  spatials.push_back(this);
  return kOk;
}

Result CGrass::UpdateWorldBound() {
  // The blades are stored in world space: the field's own transform does
  // not move them.
  CBound bound = GrassBound;
  bound.Center = (GrassBound.Min + GrassBound.Max) * 0.5f;
  bound.Radius = (GrassBound.Min - GrassBound.Max).Length() * 0.5f;
  SetWorldBound(bound);
  return kDone;
}

// --- walks -------------------------------------------------------------------------------------

CBase* CGrass::Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) {
  if (CBase* hit = CSpatial::Find(name, record, includeDerived, onlyMarked)) return hit;
  return owned_walk::Find(Aux(), name, record, includeDerived, onlyMarked);
}

void CGrass::Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record, bool includeDerived,
                     bool onlyMarked) {
  CSpatial::Collect(out, name, record, includeDerived, onlyMarked);
  owned_walk::Collect(Aux(), out, name, record, includeDerived, onlyMarked);
}

bool CGrass::UpdateMarked(const ObjectSet& set) {
  const bool own = CSpatial::UpdateMarked(set);
  const bool marked = owned_walk::UpdateMarked(this, Aux(), set) || own;
  SetMarked(marked);
  return marked;
}

void CGrass::ClearMarked() {
  CSpatial::ClearMarked();
  owned_walk::ClearMarked(Aux());
}

Result CGrass::RegisterForSave(CStream& stream, u32 flags) {
  // The spatial level is not stored, so neither are its sub-objects.
  const Result r = CDorun::RegisterForSave(stream, flags);
  if (r != kOk) return r;
  return owned_walk::RegisterForSave(Aux(), stream, flags);
}

void CGrass::EnumReferences(CReferenceVisitor& visitor) {
  owned_walk::EnumReferences(Aux(), visitor);
  CSpatial::EnumReferences(visitor);
}

bool CGrass::HasSubObjects() const { return aux_[0] || aux_[1] || CDorun::HasSubObjects(); }

// --- copies ------------------------------------------------------------------------------------

Result CGrass::CreateInstance(CPointer<CBase>& out) const { return CreateCopy(*this, out); }

Result CGrass::Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) {
  Result r = CSpatial::Clone(out, cloneMap, flags);
  if (r != kOk) return r;
  auto* copy = static_cast<CGrass*>(out.Get());
  for (u32 i = 0; i < 2; ++i) {
    if (!aux_[i]) continue;
    r = owned_walk::CloneInto<CBase>(aux_[i].Get(), cloneMap, flags,
                                     [copy, i](CBase* clone) { copy->aux_[i] = clone; });
    if (Failed(r)) return r;
  }
  return kOk;
}

Result CGrass::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  // A null target or one of another class is refused before anything of
  // it changes.
  CGrass* other = DynamicCast<CGrass>(target);
  if (other == nullptr) return kErrNotFound;
  Result r = CSpatial::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  other->LodFarDistance = LodFarDistance;
  other->LodTransitionLength = LodTransitionLength;
  other->WindDir = WindDir;
  other->WindPeriod = WindPeriod;
  other->WindAmplitude = WindAmplitude;
  other->WindFrequency = WindFrequency;
  other->NumRegionCols = NumRegionCols;
  other->NumRegionRows = NumRegionRows;
  other->Region = Region;
  AssignPointerMember(displaced, aux_[0], other->aux_[0]);
  AssignPointerMember(displaced, aux_[1], other->aux_[1]);
  other->GrassBound.Min = GrassBound.Min;
  other->GrassBound.Max = GrassBound.Max;
  return kOk;
}

// --- persistence -------------------------------------------------------------------------------

Result CGrass::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CDorun::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Succeeded(r)) r = ReadU32(stream, LodFarDistance);
  if (Succeeded(r)) r = ReadU32(stream, LodTransitionLength);
  if (Succeeded(r)) r = ReadFloatBlock(stream, WindDir);
  if (Succeeded(r)) r = ReadU32(stream, WindPeriod);
  if (Succeeded(r)) r = ReadU32(stream, WindAmplitude);
  if (Succeeded(r)) r = ReadU32(stream, WindFrequency);
  if (Succeeded(r)) r = ReadU32(stream, NumRegionCols);
  if (Succeeded(r)) r = ReadU32(stream, NumRegionRows);
  u32 regions = 0;
  if (Succeeded(r)) r = ReadU32(stream, regions);
  if (Succeeded(r)) r = stream.CheckAvailable(regions, kRegionBytes);
  if (Failed(r)) return r;
  Region.resize(regions);
  for (CRegion& region : Region) {
    r = ReadFloatBlock(stream, region.Center);
    if (Succeeded(r)) r = ReadFloatBlock(stream, region.Min);
    if (Succeeded(r)) r = ReadFloatBlock(stream, region.Max);
    if (Succeeded(r)) r = ReadU32(stream, region.CullingRadius);
    u32 blades = 0;
    if (Succeeded(r)) r = ReadU32(stream, blades);
    region.Blade.clear();
    if (Succeeded(r)) r = ReadPodArray(stream, region.Blade, blades);
    if (Failed(r)) return r;
  }
  r = ReadFloatBlock(stream, GrassBound);
  // Records up to 2.00 kept 4-byte ids.
  const bool wide = stream.GetStoredVersion(StaticClassRecord()) > static_cast<i32>(kVersionNarrowIds);
  for (u32 i = 0; Succeeded(r) && i < 2; ++i) r = wide ? ReadObjectId(stream, record) : ReadObjectId32(stream, record);
  return r;
}

Result CGrass::Link(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CDorun::Link(stream, record, flags);
  for (u32 i = 0; Succeeded(r) && i < 2; ++i) r = LinkOwnedPointer(stream, record, this, aux_[i]);
  return Failed(r) ? r : kOk;
}

Result CGrass::Save(CStream& stream, u32 flags) {
  Result r = CDorun::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteFloat(stream, LodFarDistance);
  if (Succeeded(r)) r = WriteFloat(stream, LodTransitionLength);
  if (Succeeded(r)) r = WriteFloatBlock(stream, WindDir);
  if (Succeeded(r)) r = WriteFloat(stream, WindPeriod);
  if (Succeeded(r)) r = WriteFloat(stream, WindAmplitude);
  if (Succeeded(r)) r = WriteFloat(stream, WindFrequency);
  if (Succeeded(r)) r = WriteU32(stream, NumRegionCols);
  if (Succeeded(r)) r = WriteU32(stream, NumRegionRows);
  if (Succeeded(r)) r = WriteU32(stream, static_cast<u32>(Region.size()));
  for (const CRegion& region : Region) {
    if (Succeeded(r)) r = WriteFloatBlock(stream, region.Center);
    if (Succeeded(r)) r = WriteFloatBlock(stream, region.Min);
    if (Succeeded(r)) r = WriteFloatBlock(stream, region.Max);
    if (Succeeded(r)) r = WriteFloat(stream, region.CullingRadius);
    if (Succeeded(r)) r = WritePodVector(stream, region.Blade);
  }
  if (Succeeded(r)) r = WriteFloatBlock(stream, GrassBound);
  for (u32 i = 0; Succeeded(r) && i < 2; ++i) r = WriteObjectId(stream, aux_[i].Get());
  return r;
}

void CGrass::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CGrass Member");
  visitor.OpenGroup();
  visitor.Float(u"LodFarDistance", &LodFarDistance);
  visitor.Float(u"LodTransitionLength", &LodTransitionLength);
  visitor.Vector3(u"WindDir", &WindDir);
  visitor.Float(u"WindPeriod", &WindPeriod);
  visitor.Float(u"WindAmplitude", &WindAmplitude);
  visitor.Float(u"WindFrequency", &WindFrequency);
  visitor.UInt(u"NumRegionCols", &NumRegionCols);
  visitor.UInt(u"NumRegionRows", &NumRegionRows);
  visitor.Bound(u"GrassBound", &GrassBound);
  visitor.RecordArray(u"Region", static_cast<u32>(Region.size()), [this](u32 index, CMemberVisitor& v) {
    const CRegion& region = Region[index];
    v.OpenGroup();
    v.Vector3(u"Center", &region.Center);
    v.Vector3(u"Min", &region.Min);
    v.Vector3(u"Max", &region.Max);
    v.Float(u"CullingRadius", &region.CullingRadius);
    v.RecordArray(u"Blade", static_cast<u32>(region.Blade.size()), [&region](u32 b, CMemberVisitor& e) {
      const CBlade& blade = region.Blade[b];
      e.Vector3(u"Pos", &blade.Pos);
      e.Vector3(u"Normal", &blade.Normal);
      e.Float(u"Width", &blade.Width);
      e.Float(u"Height", &blade.Height);
      e.Float(u"Throw", &blade.Throw);
      // RGB colours: three floats each.
      e.Vector3(u"BottomColor", &blade.BottomColor);
      e.Vector3(u"TopColor", &blade.TopColor);
    });
    v.EndGroup();
  });
  visitor.EndGroup();
  CSpatial::DescribeMembers(visitor);
}

u32 CGrass::GetMemorySize() const {
  return CDorun::GetMemorySize() + 456 + kRegionBytes * static_cast<u32>(Region.size()) + kBladeBytes * BladeCount();
}

// Version pair 8, two distances 8, WindDir 12, three wind values 12, the
// grid 8, the region count 4, GrassBound 40, two ids 16; then the regions
// and their blades.
u32 CGrass::GetSaveSize() const {
  return CDorun::GetSaveSize() + 108 + kRegionBytes * static_cast<u32>(Region.size()) + kBladeBytes * BladeCount();
}

}  // namespace KT
