#include "render/effects/camera_switcher_control.h"

#include <new>

#include "objectmodel/time_helpers.h"
#include "render/effects/camera_switcher.h"

namespace KT {

void CCameraSwitcherControl::CCameraKey::DescribeMembers(CMemberVisitor& visitor) {
  DescribeKeyLevel<CTimeKey>(visitor, *this);
  DescribeKeyLevel<CCameraKey>(visitor, *this);
}

CCameraSwitcherControl::CCameraSwitcherControl(const CCameraSwitcherControl& other)
    : CControlLevel(other), keys_(other.keys_) {}

Result CCameraSwitcherControl::SetKey(const CCameraKey& key, f32 fps) {
  CCameraKey placed = key;
  placed.Time = SnapTimeToFrame(key.Time, fps);
  const Result r = keys_.SetKey(placed);
  if (Succeeded(r)) SetModified();
  return r;
}

Result CCameraSwitcherControl::SetKeyCamera(u32 index, CCamera* camera) {
  if (index >= keys_.Size()) return kErrOutOfRange;
  keys_[index].Camera.Set(camera);
  SetModified();
  return kOk;
}

Result CCameraSwitcherControl::Update(i32 time) {
  CCameraSwitcher* switcher = nullptr;
  const Result r = BoundObjectOf(*this, switcher);
  if (Failed(r)) return r;
  u32 index = 0;
  const i32 code = keys_.FindStep(time, index);
  currentCamera_ = code == kKeySearchNone || code == kKeySearchBefore ? nullptr : keys_[index].Camera.Get();
  return kOk;
}

Result CCameraSwitcherControl::Apply() {
  CCameraSwitcher* switcher = nullptr;
  const Result r = BoundObjectOf(*this, switcher);
  if (Failed(r)) return r;
  if (switcher->GetMode() == CCameraSwitcher::CM_Browse) return kDone;
  switcher->SetUpdatedCamera(currentCamera_);
  return kOk;
}

i32 CCameraSwitcherControl::GetEndTime() const { return keys_.GetEndTime(EndTimeRule::kLastKey); }

Result CCameraSwitcherControl::Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) {
  const Result r = CControlLevel::Clone(out, cloneMap, flags);
  return Failed(r) || r == kDone ? r : kOk;
}

Result CCameraSwitcherControl::RegisterForSave(CStream& stream, u32 flags) {
  const Result r = CControlLevel::RegisterForSave(stream, flags);
  return Failed(r) || r == kDone ? r : kOk;
}

Result CCameraSwitcherControl::Link(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  const Result r = CControlLevel::Link(stream, record, flags);
  if (Failed(r)) return r;
  stream.AddPostLinkStep([this, &stream] {
    DropCamerasUnlessHeld(stream, this);
    return kOk;
  });
  return r;
}

void CCameraSwitcherControl::DropCamerasUnlessHeld(CStream& stream, const CBase* holder) {
  for (CCameraKey& key : keys_.MutableKeys()) key.Camera.DropUnlessHeld(stream, holder);
}

void CCameraSwitcherControl::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CCameraSwitcherControl Keys");
  visitor.OpenGroup();
  keys_.DescribeMembers(visitor, u"Keys");
  visitor.EndGroup();
  CDataControl::DescribeMembers(visitor);
}

u32 CCameraSwitcherControl::GetMemorySize() const { return CDataControl::GetMemorySize() + 32 + 12 * keys_.Size(); }

bool CCameraSwitcherControl::HasSubObjects() const { return !keys_.Empty() || CDataControl::HasSubObjects(); }

Result CCameraSwitcherControl::CopyOwnTo(CCameraSwitcherControl& target) const {
  return target.keys_.Assign(keys_.Keys());
}

}  // namespace KT
