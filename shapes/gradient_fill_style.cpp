#include "shapes/gradient_fill_style.h"

#include <algorithm>

#include "objectmodel/class_factory.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"
#include "shapes/color_adjust.h"

namespace KT {

namespace {

const char16_t* const kGradientNames[] = {u"Linear", u"Radial", u"FocalRadial"};

}  // namespace

CGradientFillStyle::CGradientFillStyle(const CGradientFillStyle& other)
    : CFillStyle(other),
      GradientType(other.GradientType),
      Transform(other.Transform),
      AnimTransform(other.AnimTransform),
      gradientRecCount_(other.gradientRecCount_),
      gradientRecs_(other.gradientRecs_),
      animGradientRecs_(other.animGradientRecs_) {
  // A failed buffer copy leaves it empty: no record may be counted then.
  if (gradientRecs_.GetCount() < gradientRecCount_) gradientRecCount_ = 0;
}

Result CGradientFillStyle::SetGradientRecords(const _KTGradientRec* records, u32 count) {
  SetModified();
  if (count == 0 || records == nullptr) {
    gradientRecs_.Free();
    gradientRecCount_ = 0;
    return kOk;
  }
  const Result r = gradientRecs_.Create(count, records);
  gradientRecCount_ = Failed(r) ? 0 : count;
  return r;
}

Result CGradientFillStyle::RefreshAnimated() {
  AnimTransform = Transform;
  // Nothing to copy: asking the buffer for 0 records would be refused.
  if (gradientRecCount_ == 0) return kOk;
  if (animGradientRecs_.GetCount() < gradientRecs_.GetCount()) {
    const Result r = animGradientRecs_.Create(gradientRecCount_);
    if (Failed(r)) return r;
  }
  const u32 n = std::min({gradientRecCount_, gradientRecs_.GetCount(), animGradientRecs_.GetCount()});
  std::copy(gradientRecs_.begin(), gradientRecs_.begin() + n, animGradientRecs_.begin());
  return kOk;
}

Result CGradientFillStyle::AdjustColor(f32 hue, f32 saturation, f32 brightness, f32 contrast, bool invert) {
  CFillStyle::AdjustColor(hue, saturation, brightness, contrast, invert);
  const u32 n = std::min(gradientRecCount_, gradientRecs_.GetCount());
  for (u32 i = 0; i < n; ++i) KT::AdjustColor(gradientRecs_[i].Color, hue, saturation, brightness, contrast, invert);
  const Result r = RefreshAnimated();
  SetModified();
  return r;
}

Result CGradientFillStyle::Update(i32 time) {
  if (animReset_) {
    const Result r = RefreshAnimated();
    if (Failed(r)) return r;
  }
  return CFillStyle::Update(time);
}

Result CGradientFillStyle::CreateInstance(CPointer<CBase>& out) const { return CreateCopy(*this, out); }

Result CGradientFillStyle::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  CGradientFillStyle* other = DynamicCast<CGradientFillStyle>(target);
  if (other == nullptr) return kErrNotFound;
  Result r = CFillStyle::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  other->GradientType = GradientType;
  other->Transform = Transform;
  other->AnimTransform = AnimTransform;
  r = other->gradientRecs_.CopyFrom(gradientRecs_);
  if (Failed(r)) return r;
  other->gradientRecCount_ = gradientRecCount_;
  return other->animGradientRecs_.CopyFrom(animGradientRecs_);
}

Result CGradientFillStyle::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CFillStyle::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Succeeded(r)) r = ReadU32(stream, GradientType);
  if (Succeeded(r)) r = ReadFloatBlock(stream, Transform);
  u32 n = 0;
  if (Succeeded(r)) r = ReadU32(stream, n);
  if (Failed(r)) return r;
  if (n > 0) {
    r = stream.CheckAvailable(n, sizeof(_KTGradientRec));
    if (Succeeded(r)) r = gradientRecs_.Create(n);
    if (Failed(r)) {
      gradientRecCount_ = 0;
      return r;
    }
    gradientRecCount_ = n;
    const u32 bytes = n * static_cast<u32>(sizeof(_KTGradientRec));
    r = stream.Read(gradientRecs_.GetData(), bytes, bytes);
    if (Failed(r)) return r;
  } else {
    gradientRecCount_ = 0;
  }
  return RefreshAnimated();
}

Result CGradientFillStyle::Save(CStream& stream, u32 flags) {
  Result r = CFillStyle::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteU32(stream, GradientType);
  if (Succeeded(r)) r = WriteFloatBlock(stream, Transform);
  if (Succeeded(r)) r = WriteU32(stream, gradientRecCount_);
  if (Succeeded(r) && gradientRecCount_ > 0) {
    r = stream.Write(gradientRecs_.GetData(), gradientRecCount_ * static_cast<u32>(sizeof(_KTGradientRec)));
  }
  return r;
}

void CGradientFillStyle::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CGradientFillStyle Member");
  visitor.OpenGroup();
  visitor.Matrix4(u"Transform Matrix", &Transform);
  visitor.Enum(u"GradientType", reinterpret_cast<const i32*>(&GradientType), kGradientNames, 3);
  visitor.RecordArray(u"GradientRecs", gradientRecCount_, [this](u32 index, CMemberVisitor& v) {
    v.Float(u"Ratio", &gradientRecs_[index].Ratio);
    v.Color(u"Color", &gradientRecs_[index].Color);
  });
  visitor.EndGroup();
  CFillStyle::DescribeMembers(visitor);
}

u32 CGradientFillStyle::GetMemorySize() const {
  return CFillStyle::GetMemorySize() + 176 + static_cast<u32>(sizeof(_KTGradientRec)) * gradientRecs_.GetCount();
}

// Version pair 8, GradientType 4, Transform 64, count 4, 20 per record.
u32 CGradientFillStyle::GetSaveSize() const {
  return CFillStyle::GetSaveSize() + static_cast<u32>(sizeof(_KTGradientRec)) * (gradientRecCount_ + 4);
}

}  // namespace KT
