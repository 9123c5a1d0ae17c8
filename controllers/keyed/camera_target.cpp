#include "controllers/keyed/camera_target.h"

#include <new>

#include "objectmodel/class_factory.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"
#include "scene/light.h"

namespace KT {

CCameraTarget::~CCameraTarget() = default;

Result CCameraTarget::CollectSpatials(std::vector<CSpatial*>& spatials) {
  try {
    spatials.push_back(this);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  return kOk;
}

Result CCameraTarget::UpdateWorldBound() { return PlaceBoundAtOrigin(*this); }

Result CCameraTarget::Update(i32 time) { return UpdateOk(time); }

Result CCameraTarget::CreateInstance(CPointer<CBase>& out) const {
  try {
    return CreateCopy(*this, out);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
}

Result CCameraTarget::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  const Result r = CSpatial::CopyTo(target, displaced, flags);
  return r == kDone || Failed(r) ? r : kOk;
}

Result CCameraTarget::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  const Result r = CSpatial::Load(stream, record, flags);
  if (Failed(r)) return r;
  return stream.ReadVersionBlock(StaticClassRecord());
}

Result CCameraTarget::Save(CStream& stream, u32 flags) {
  const Result r = CSpatial::Save(stream, flags);
  if (Failed(r)) return r;
  return WriteVersion(stream, StaticClassRecord());
}

u32 CCameraTarget::GetSaveSize() const { return CSpatial::GetSaveSize() + 8; }

}  // namespace KT
