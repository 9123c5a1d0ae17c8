#include "scene/particles.h"

#include <algorithm>
#include <new>

#include "objectmodel/class_factory.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"
#include "objectmodel/time_helpers.h"
#include "scene/geometry_data.h"

namespace KT {

const char16_t* const CParticles::kBlendModeNames[3] = {u"EAlphaBlend", u"EAdditive", u"ESubtractive"};
const char16_t* const CParticles::kFaceToModeNames[3] = {u"EFaceCam", u"EVertical", u"EHorizontal"};

CParticles::CParticles() = default;

CParticles::CParticles(const CParticles& other)
    : CGeometry(other),
      blendMode_(other.blendMode_),
      faceToMode_(other.faceToMode_),
      softness_(other.softness_),
      origin_(other.origin_) {}

CParticles::~CParticles() = default;

Result CParticles::Create(CPointer<CParticles>& out) {
  CParticles* particles = new (std::nothrow) CParticles();
  if (particles == nullptr) return kErrOutOfMemory;
  out = particles;
  return kOk;
}

// --- capacity ---------------------------------------------------------------------------------

Result CParticles::SetMaxQuantity(u32 n) {
  if (n > kMaxQuantityLimit) return kErrInvalidArg;
  if (n == 0) {
    maxQuantity_ = 0;
    particleCounter_ = 0;
    SetModified();
    return kOk;
  }
  CGeometryData* level = GetLod(0);
  if (GetLodCount() != 1 || level == nullptr) return kErrInvalidArg;
  // Unified vertices that would name a position past the new ones would
  // send every reader of them out of bounds.
  const CBuffer<u32>& vertexMap = level->GetVertexXYZMap();
  if (std::any_of(vertexMap.begin(), vertexMap.end(), [n](u32 index) { return index >= n; })) {
    return kErrInvalidArg;
  }

  // Everything that can fail comes first, so a refusal changes nothing.
  CBuffer<Vec3> positions;
  CBuffer<u32> materialIds;
  CBuffer<Vec3> world;
  CBuffer<CColor> colors;
  Result r = positions.Create(n);
  if (Succeeded(r) && !level->GetXYZMtlID().IsEmpty()) r = materialIds.Create(n);
  if (Succeeded(r)) r = world.Create(n);
  if (Succeeded(r)) r = colors.Create(n);
  if (Failed(r)) return r;
  try {
    for (std::vector<Vec3>* v : {&size_, &baseVelocity_, &velocity_}) v->reserve(n);
    for (std::vector<f32>* v : {&life_, &remainingLife_, &angle_, &spin_, &jitterTimer_, &fallSpeed_}) {
      v->reserve(n);
    }
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }

  // Reserved above: none of these allocates.
  for (std::vector<Vec3>* v : {&size_, &baseVelocity_, &velocity_}) v->resize(n);
  for (std::vector<f32>* v : {&life_, &remainingLife_, &angle_, &spin_, &jitterTimer_, &fallSpeed_}) v->resize(n);
  level->GetXYZ().Swap(positions);
  if (!materialIds.IsEmpty()) level->GetXYZMtlID().Swap(materialIds);
  level->UpdateBoundingBox();
  level->SetModified();
  GetWorldXYZ().Swap(world);
  color_.Swap(colors);
  maxQuantity_ = n;
  particleCounter_ = 0;
  SetModified();
  ResetParticles();
  return kOk;
}

void CParticles::ResetParticles() {
  for (u32 i = 0; i < maxQuantity_; ++i) {
    life_[i] = 0.0f;
    remainingLife_[i] = 0.0f;
    spin_[i] = 0.0f;
    jitterTimer_[i] = 0.0f;
    fallSpeed_[i] = 0.0f;
    baseVelocity_[i] = Vec3();
    velocity_[i] = Vec3();
  }
}

// --- spatial protocol -----------------------------------------------------------------------------

Result CParticles::Update(i32 time) {
  SetWorldXYZReady(false);
  SetWorldNormalReady(false);
  // The start of playback: every slot starts free.
  if (time == kZeroTime) ResetParticles();
  const Result r = CGeometry::Update(time);
  if (Failed(r)) return r;
  SetWorldXYZReady(true);
  SetWorldNormalReady(true);
  return kOk;
}

Result CParticles::UpdateWorldBound() {
  CBound bound = GetWorldBound();
  bound.Center = GetWorldMatrix().GetTranslation();
  SetWorldBound(bound);
  return kDone;
}

Result CParticles::CollectAnimated(std::vector<CDorun*>& animated) {
  const Result r = CGeometry::CollectAnimated(animated);
  if (Failed(r)) return r;
  if (std::find(animated.begin(), animated.end(), this) == animated.end()) animated.push_back(this);
  return kOk;
}

// --- object-model protocol -------------------------------------------------------------------------

Result CParticles::Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) {
  const Result r = CGeometry::Clone(out, cloneMap, flags);
  if (r != kOk) return r;
  CParticles* copy = DynamicCast<CParticles>(out.Get());
  if (copy == nullptr) return kErrNotFound;
  return copy->SetMaxQuantity(maxQuantity_);
}

Result CParticles::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  // Checked before the geometry part is copied, so a refused target stays
  // as it was.
  CParticles* other = DynamicCast<CParticles>(target);
  if (other == nullptr) return target == nullptr ? kErrInvalidArg : kErrNotFound;
  const Result r = CGeometry::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  other->blendMode_ = blendMode_;
  other->faceToMode_ = faceToMode_;
  other->particleFlag_ = particleFlag_;
  other->softness_ = softness_;
  if (other->maxQuantity_ != maxQuantity_) return other->SetMaxQuantity(maxQuantity_);
  return kOk;
}

Result CParticles::CreateInstance(CPointer<CBase>& out) const { return CreateCopy(*this, out); }

u32 CParticles::GetMemorySize() const {
  return CGeometry::GetMemorySize() + 272 + 120 * maxQuantity_ + 16 * (color_.GetCount() + 6 * GetLodVertexCount(0));
}

u32 CParticles::GetSaveSize() const {
  // Version pair (8) and four u32.
  return CGeometry::GetSaveSize() + 24;
}

Result CParticles::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CGeometry::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Failed(r)) return r;
  const i32 v = stream.GetStoredVersion(StaticClassRecord());
  loadedQuantity_ = 0;
  r = ReadU32(stream, loadedQuantity_);
  if (Succeeded(r)) r = ReadU32(stream, blendMode_);
  if (Succeeded(r) && v >= static_cast<i32>(kVersionFaceToMode)) r = ReadU32(stream, faceToMode_);
  if (Succeeded(r) && v >= static_cast<i32>(kVersionSoftness)) r = ReadU32(stream, softness_);
  return r;
}

Result CParticles::Link(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  const Result r = CGeometry::Link(stream, record, flags);
  if (Failed(r)) return r;
  // A capacity the node cannot take fails the load: a node left without
  // its arrays would be stepped by its controllers all the same.
  return SetMaxQuantity(loadedQuantity_);
}

Result CParticles::Save(CStream& stream, u32 flags) {
  Result r = CGeometry::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteU32(stream, maxQuantity_);
  if (Succeeded(r)) r = WriteU32(stream, blendMode_);
  if (Succeeded(r)) r = WriteU32(stream, faceToMode_);
  if (Succeeded(r)) r = WriteU32(stream, softness_);
  return r;
}

void CParticles::DescribeMembers(CMemberVisitor& visitor) {
  i32 blendMode = static_cast<i32>(blendMode_);
  i32 faceToMode = static_cast<i32>(faceToMode_);
  visitor.BeginGroup(u"CParticles Member");
  visitor.OpenGroup();
  visitor.UInt(u"MaxQuantity", &maxQuantity_);
  visitor.UInt(u"Softness", &softness_);
  visitor.Enum(u"BlendMode", &blendMode, kBlendModeNames, 3);
  visitor.Enum(u"FaceToMode", &faceToMode, kFaceToModeNames, 3);
  visitor.EndGroup();
  CGeometry::DescribeMembers(visitor);
}

}  // namespace KT
