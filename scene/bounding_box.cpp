#include "scene/bounding_box.h"

#include "objectmodel/class_factory.h"
#include "objectmodel/math_functions.h"
#include "objectmodel/matrix4.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"

namespace KT {

namespace {

// Names of the corner entries in the member description.
const char16_t* const kCornerNames[8] = {u"0", u"1", u"2", u"3", u"4", u"5", u"6", u"7"};

// The corner block on disk: 24 f32 with nothing in between.
static_assert(sizeof(CBoundingBox::Corners) == 96, "eight packed vectors of three floats");

}  // namespace

Result CBoundingBox::Create(CPointer<CBoundingBox>& out) {
  CBoundingBox* box = new (std::nothrow) CBoundingBox();
  if (box == nullptr) return kErrOutOfMemory;
  out = box;
  return kOk;
}

CBoundingBox::Corners CBoundingBox::CornersFromMinMax(const Vec3& min, const Vec3& max) {
  return {Vec3{min.x, min.y, min.z}, Vec3{min.x, max.y, min.z}, Vec3{max.x, max.y, min.z}, Vec3{max.x, min.y, min.z},
          Vec3{min.x, min.y, max.z}, Vec3{min.x, max.y, max.z}, Vec3{max.x, max.y, max.z}, Vec3{max.x, min.y, max.z}};
}

CBoundingBox::Corners CBoundingBox::TransformCorners(const Corners& corners, const CMatrix4& matrix) {
  Corners out;
  for (std::size_t i = 0; i < out.size(); ++i) Vec3TransformCoord(out[i], corners[i], matrix);
  return out;
}

CBoundingBox::Corners CBoundingBox::MergeCorners(const Corners& a, const Corners& b) {
  Vec3 min = a[0];
  Vec3 max = a[0];
  for (const Corners* box : {&a, &b}) {
    for (const Vec3& p : *box) {
      min = {Min(min.x, p.x), Min(min.y, p.y), Min(min.z, p.z)};
      max = {Max(max.x, p.x), Max(max.y, p.y), Max(max.z, p.z)};
    }
  }
  return CornersFromMinMax(min, max);
}

Result CBoundingBox::SetFromMinMax(const Vec3& min, const Vec3& max) {
  SetCorners(CornersFromMinMax(min, max));
  return kOk;
}

Result CBoundingBox::Transform(const CMatrix4& matrix, CPointer<CBoundingBox>& out) const {
  CPointer<CBoundingBox> box;
  const Result r = Create(box);
  if (Failed(r)) return r;
  box->corners_ = TransformCorners(corners_, matrix);
  out = box;
  return kOk;
}

Result CBoundingBox::Merge(const CBoundingBox& a, const CBoundingBox& b, CPointer<CBoundingBox>& out) {
  CPointer<CBoundingBox> box;
  const Result r = Create(box);
  if (Failed(r)) return r;
  box->corners_ = MergeCorners(a.corners_, b.corners_);
  out = box;
  return kOk;
}

Result CBoundingBox::CreateInstance(CPointer<CBase>& out) const { return CreateCopy(*this, out); }

Result CBoundingBox::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  CBoundingBox* other = DynamicCast<CBoundingBox>(target);
  if (other == nullptr) return kErrNotFound;
  const Result r = CDorun::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  other->corners_ = corners_;
  return kOk;
}

Result CBoundingBox::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CDorun::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Succeeded(r)) r = ReadFloatBlock(stream, corners_);
  return r;
}

Result CBoundingBox::Save(CStream& stream, u32 flags) {
  Result r = CDorun::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteFloatBlock(stream, corners_);
  return r;
}

void CBoundingBox::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CBoundingBox Corners");
  visitor.OpenGroup();
  for (u32 i = 0; i < 8; ++i) visitor.Vector3(kCornerNames[i], &corners_[i]);
  visitor.EndGroup();
  CDorun::DescribeMembers(visitor);
}

u32 CBoundingBox::GetMemorySize() const { return CDorun::GetMemorySize() + 96; }

// 8 version bytes and the 96 bytes of the corners.
u32 CBoundingBox::GetSaveSize() const { return CDorun::GetSaveSize() + 104; }

}  // namespace KT
