#include "environment/tree_instance.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <type_traits>
#include <utility>

#include "objectmodel/class_factory.h"
#include "objectmodel/owned_link.h"
#include "objectmodel/owned_walk.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"
#include "treeruntime/tree_rt.h"

namespace KT {
namespace {

using Vec3 = CVector3<float>;
using Geometry = trt::CTreeRT::SGeometry;

static_assert(sizeof(CTreeInstance::LightShaderParamsRecord) == 32, "eight scalars, unpadded");
static_assert(sizeof(CTreeInstance::MaterialRecord) == 52, "thirteen floats, unpadded");
static_assert(std::is_standard_layout_v<CTreeInstance::MaterialRecord>);

// Version pair 8, two ids 16, WindMatrixOffset 4, light scalars 32,
// materials 156.
constexpr u32 kOwnSaveSize = 8 + 16 + 4 + 32 + 156;

struct RayHit {
  bool hit = false;
  f64 best = std::numeric_limits<f32>::max();
  u32 index = 0;
  Vec3 point;
};

// The triangles of the last level of one part (branches or fronds): the
// strip of that level, with the winding of even triangles reversed, every
// vertex taken through `world`.
void IntersectLastLod(const Geometry::SIndexed& part, const CMatrix4& world, const Vec3& origin,
                      const Vec3& direction, RayHit& result) {
  if (part.m_nNumLods < 1 || part.m_pNumStrips == nullptr || part.m_pStripLengths == nullptr ||
      part.m_pStrips == nullptr || part.m_pCoords == nullptr) {
    return;
  }
  const i32 lod = part.m_nNumLods - 1;
  const i32 strips = part.m_pNumStrips[lod];
  if (strips < 1 || part.m_pStrips[lod] == nullptr || part.m_pStripLengths[lod] == nullptr) return;
  const i32* strip = part.m_pStrips[lod][0];
  // The tree computes with strips combined, so the level holds one strip.
  // Should it hold more, the first strip is walked no further than its own
  // length.
  const i32 length = std::min(part.m_pStripLengths[lod][strips - 1], part.m_pStripLengths[lod][0]);
  if (strip == nullptr || length < 3) return;

  const i32 vertices = part.m_nNumVertices;
  std::vector<Vec3> placed(static_cast<std::size_t>(std::max(vertices, 0)));
  for (i32 v = 0; v < vertices; ++v) {
    const f32* p = part.m_pCoords + 3 * static_cast<std::size_t>(v);
    placed[static_cast<std::size_t>(v)] = TransformCoord(Vec3(p[0], p[1], p[2]), world);
  }
  for (i32 t = 0; t + 2 < length; ++t) {
    const i32 ia = strip[t];
    const i32 ib = strip[t + 1];
    const i32 ic = strip[t + 2];
    if (ia < 0 || ib < 0 || ic < 0 || ia >= vertices || ib >= vertices || ic >= vertices) continue;
    const Vec3& a = placed[static_cast<std::size_t>(ia)];
    const Vec3& b = placed[static_cast<std::size_t>(ib)];
    const Vec3& c = placed[static_cast<std::size_t>(ic)];
    Vec3 hit;
    const bool met = (t % 2 == 0) ? IntersectTriangle(b, a, c, origin, direction, hit)
                                  : IntersectTriangle(a, b, c, origin, direction, hit);
    if (!met) continue;
    result.hit = true;
    const f64 dx = static_cast<f64>(hit.x) - origin.x;
    const f64 dy = static_cast<f64>(hit.y) - origin.y;
    const f64 dz = static_cast<f64>(hit.z) - origin.z;
    const f64 d = std::sqrt(dx * dx + dy * dy + dz * dz);
    if (d < result.best) {
      result.best = d;
      result.index = static_cast<u32>(t);
      result.point = hit;
    }
  }
}

}  // namespace

// --- picking ---------------------------------------------------------------------------------

bool IntersectTriangle(const Vec3& a, const Vec3& b, const Vec3& c, const Vec3& origin, const Vec3& direction,
                       Vec3& hit) {
  Vec3 normal = (b - a).Cross(c - a);
  normal.Normalize();
  const f32 facing = normal.Dot(direction);
  if (facing >= 0.0f) return false;
  const f32 t = (normal.Dot(a) - normal.Dot(origin)) / facing;
  if (t < 0.0f) return false;
  hit = origin + direction * t;
  for (const auto& [e0, e1] : {std::pair{&a, &b}, std::pair{&b, &c}, std::pair{&c, &a}}) {
    if ((*e1 - *e0).Cross(hit - *e0).Dot(normal) < 0.0f) return false;
  }
  return true;
}

bool CTreeInstance::IntersectRay(const Vec3& origin, const Vec3& direction, u32& triangleIndex, f32& distance,
                                 Vec3& point) const {
  RayHit result;
  trt::CTreeRT* model = tree_ ? tree_->GetModel() : nullptr;
  // Geometry exists only once the model is computed; before that there is
  // nothing to meet.
  if (model != nullptr && model->IsComputed()) {
    Geometry geometry;
    model->GetGeometry(geometry, trt::CTreeRT::kBranchGeometry);
    IntersectLastLod(geometry.m_sBranches, GetWorldMatrix(), origin, direction, result);
    model->GetGeometry(geometry, trt::CTreeRT::kFrondGeometry);
    IntersectLastLod(geometry.m_sFronds, GetWorldMatrix(), origin, direction, result);
  }
  triangleIndex = result.index;
  distance = static_cast<f32>(result.best);
  if (result.hit) point = result.point;
  return result.hit;
}

// --- spatial protocol ----------------------------------------------------------------------------

Result CTreeInstance::CollectSpatials(std::vector<CSpatial*>& spatials) {
  spatials.push_back(this);
  return kOk;
}

Result CTreeInstance::UpdateTransform(i32 time) {
  const Result r = CSpatial::UpdateTransform(time);
  if (Failed(r)) return r;
  GetWorldMatrix().Decompose(Rotation, Position, Scale);
  return kOk;
}

Result CTreeInstance::UpdateWorldBound() {
  if (!tree_) return kOk;
  const std::vector<Vec3>& corners = tree_->GetCorners();
  box_.resize(corners.size());
  for (std::size_t i = 0; i < corners.size(); ++i) box_[i] = TransformCoord(corners[i], GetWorldMatrix());
  CBound bound;
  bound.FromPoints(box_);
  SetWorldBound(bound);
  return kOk;
}

// --- traversal ------------------------------------------------------------------------------------

CBase* CTreeInstance::Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) {
  if (CBase* hit = CSpatial::Find(name, record, includeDerived, onlyMarked)) return hit;
  return owned_walk::Find({tree_.Get(), auxObject_.Get()}, name, record, includeDerived, onlyMarked);
}

void CTreeInstance::Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record,
                            bool includeDerived, bool onlyMarked) {
  CSpatial::Collect(out, name, record, includeDerived, onlyMarked);
  owned_walk::Collect({tree_.Get(), auxObject_.Get()}, out, name, record, includeDerived, onlyMarked);
}

bool CTreeInstance::UpdateMarked(const ObjectSet& set) {
  bool marked = CSpatial::UpdateMarked(set);
  marked = owned_walk::UpdateMarked(&tree_, {tree_.Get(), auxObject_.Get()}, set) || marked;
  SetMarked(marked);
  return marked;
}

void CTreeInstance::ClearMarked() {
  CSpatial::ClearMarked();
  owned_walk::ClearMarked({tree_.Get(), auxObject_.Get()});
}

Result CTreeInstance::ResolveReferences(CBase* root) {
  if (root == nullptr) return kErrInvalidArg;
  const Result r = owned_walk::ResolveReferences({tree_.Get(), auxObject_.Get()}, root);
  if (Failed(r)) return r;
  return CSpatial::ResolveReferences(root);
}

Result CTreeInstance::CollectAnimated(std::vector<CDorun*>& animated) {
  const Result r = CSpatial::CollectAnimated(animated);
  if (Failed(r)) return r;
  owned_walk::CollectAnimated({tree_.Get(), auxObject_.Get()}, animated);
  return r;
}

Result CTreeInstance::RegisterForSave(CStream& stream, u32 flags) {
  const Result r = CSpatial::RegisterForSave(stream, flags);
  if (r != kOk) return r;
  return owned_walk::RegisterForSave({tree_.Get(), auxObject_.Get()}, stream, flags);
}

void CTreeInstance::EnumReferences(CReferenceVisitor& visitor) {
  owned_walk::EnumReferences({tree_.Get(), auxObject_.Get()}, visitor);
  CSpatial::EnumReferences(visitor);
}

bool CTreeInstance::HasSubObjects() const { return tree_ || auxObject_ || CSpatial::HasSubObjects(); }

// --- copies -----------------------------------------------------------------------------------------

Result CTreeInstance::CreateInstance(CPointer<CBase>& out) const { return CreateCopy(*this, out); }

Result CTreeInstance::Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) {
  Result r = CSpatial::Clone(out, cloneMap, flags);
  if (r != kOk) return r;
  CPointer<CTreeInstance> copy(static_cast<CTreeInstance*>(out.Get()));
  if (auxObject_) {
    r = owned_walk::CloneInto<CBase>(auxObject_.Get(), cloneMap, flags,
                                     [copy](CBase* clone) { copy->auxObject_ = clone; });
    if (Failed(r)) return r;
  }
  if (tree_) {
    r = owned_walk::CloneInto<CTree>(tree_.Get(), cloneMap, flags, [copy](CTree* clone) { copy->tree_ = clone; });
    if (Failed(r)) return r;
  }
  return kOk;
}

Result CTreeInstance::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  CTreeInstance* other = DynamicCast<CTreeInstance>(target);
  if (other == nullptr) return kErrNotFound;
  Result r = CSpatial::CopyTo(target, displaced, flags);
  if (Succeeded(r)) r = AssignPointerMember(displaced, tree_, other->tree_);
  if (Succeeded(r)) r = AssignPointerMember(displaced, auxObject_, other->auxObject_);
  if (Failed(r)) return r;
  other->WindMatrixOffset = WindMatrixOffset;
  other->Position = Position;
  other->box_ = box_;
  other->Scale = Scale;
  other->Rotation = Rotation;
  other->LightShaderParams = LightShaderParams;
  other->Material = Material;
  return kOk;
}

// --- persistence ----------------------------------------------------------------------------------

Result CTreeInstance::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CSpatial::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Failed(r)) return r;
  const bool wideIds = stream.GetStoredVersion(StaticClassRecord()) >= static_cast<i32>(kVersionWideIds);
  for (int i = 0; i < 2 && Succeeded(r); ++i) {
    r = wideIds ? ReadObjectId(stream, record) : ReadObjectId32(stream, record);
  }
  if (Succeeded(r)) r = ReadU32(stream, WindMatrixOffset);
  if (Succeeded(r)) r = ReadFloatBlock(stream, LightShaderParams);
  for (MaterialRecord& material : Material) {
    if (Succeeded(r)) r = ReadFloatBlock(stream, material);
  }
  return r;
}

Result CTreeInstance::Link(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CSpatial::Link(stream, record, flags);
  if (Succeeded(r)) r = LinkOwnedPointer(stream, record, this, tree_);
  if (Succeeded(r)) r = LinkOwnedPointer(stream, record, this, auxObject_);
  return Failed(r) ? r : kOk;
}

Result CTreeInstance::Save(CStream& stream, u32 flags) {
  Result r = CSpatial::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteObjectId(stream, tree_.Get());
  if (Succeeded(r)) r = WriteObjectId(stream, auxObject_.Get());
  if (Succeeded(r)) r = WriteFloat(stream, WindMatrixOffset);
  if (Succeeded(r)) r = WriteFloatBlock(stream, LightShaderParams);
  for (const MaterialRecord& material : Material) {
    if (Succeeded(r)) r = WriteFloatBlock(stream, material);
  }
  return r;
}

void CTreeInstance::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CTreeInstance Member");
  visitor.OpenGroup();
  visitor.Float(u"WindMatrixOffset", &WindMatrixOffset);
  visitor.Vector3(u"Position", &Position);
  visitor.Vector3(u"Scale", &Scale);
  visitor.Matrix3(u"Rotation", &Rotation);
  visitor.VectorArray(u"Box", box_.data(), static_cast<u32>(box_.size()));
  visitor.BeginGroup(u"LightShaderParams");
  visitor.OpenGroup();
  visitor.Float(u"GlobalLightScalar", &LightShaderParams.GlobalLightScalar);
  visitor.Float(u"BranchLightScalar", &LightShaderParams.BranchLightScalar);
  visitor.Float(u"FrondLightScalar", &LightShaderParams.FrondLightScalar);
  visitor.Float(u"LeafLightScalar", &LightShaderParams.LeafLightScalar);
  visitor.Float(u"AmbientScalar", &LightShaderParams.AmbientScalar);
  visitor.Float(u"BillboardDarkSideLightScalar", &LightShaderParams.BillboardDarkSideLightScalar);
  visitor.Float(u"BillboardBrightSideLightScalar", &LightShaderParams.BillboardBrightSideLightScalar);
  visitor.Float(u"BillboardAmbientScalar", &LightShaderParams.BillboardAmbientScalar);
  visitor.EndGroup();
  visitor.RecordArray(u"Material", kMaterialCount, [this](u32 i, CMemberVisitor& v) {
    v.Vector3(u"Ambient", &Material[i].Ambient);
    v.Vector3(u"Diffuse", &Material[i].Diffuse);
    v.Vector3(u"Specular", &Material[i].Specular);
    v.Vector3(u"Emission", &Material[i].Emission);
    v.Float(u"Shininess", &Material[i].Shininess);
  });
  visitor.EndGroup();
  CSpatial::DescribeMembers(visitor);
}

u32 CTreeInstance::GetMemorySize() const { return CSpatial::GetMemorySize() + 288; }

u32 CTreeInstance::GetSaveSize() const { return CSpatial::GetSaveSize() + kOwnSaveSize; }

}  // namespace KT
