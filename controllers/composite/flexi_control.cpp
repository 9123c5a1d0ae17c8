#include "controllers/composite/flexi_control.h"

#include <algorithm>
#include <cmath>

#include "objectmodel/class_factory.h"
#include "objectmodel/owned_link.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"
#include "scene/spatial.h"

namespace KT {

namespace {

// Bytes of the 3x3 float matrix that records below 2.02 keep after the id.
constexpr i32 kDroppedMatrixSize = 36;

CSpatial* SpatialOf(const CControl* control) {
  return control != nullptr ? DynamicCast<CSpatial>(control->GetObject()) : nullptr;
}

}  // namespace

CFlexiControl::CFlexiControl(const CFlexiControl& other)
    : CRTSControl(other), data_(other.data_), pinned_(other.pinned_) {}

CFlexiControl::~CFlexiControl() {
  // Bodies that list this controller forget it before it goes.
  const std::vector<CFlexiData*> listers = std::move(listers_);
  for (CFlexiData* body : listers) body->ForgetControl(this);
  data_.Release();
}

void CFlexiControl::AddLister(CFlexiData* body) {
  if (std::find(listers_.begin(), listers_.end(), body) == listers_.end()) listers_.push_back(body);
}

void CFlexiControl::RemoveLister(const CFlexiData* body) {
  listers_.erase(std::remove(listers_.begin(), listers_.end(), body), listers_.end());
}

void CFlexiControl::SetData(CFlexiData* data) {
  if (data_.Get() == data) return;
  CPointer<CFlexiData> previous = data_;
  data_ = data;
  // The body let go of no longer drives this controller.
  if (previous) previous->ForgetControl(this);
  SetModified();
}

void CFlexiControl::TakeObjectTransform() {
  if (const CSpatial* object = SpatialOf(this)) {
    SetTransform(object->GetLocal(), object->GetWorldScale(), object->GetWorldRotate(), object->GetWorldMatrix());
  }
}

// --- evaluation ----------------------------------------------------------------------------------

Result CFlexiControl::UpdateTransform(i32 time) {
  CSpatial* object = nullptr;
  const Result r = GetBoundSpatial(object);
  if (Failed(r)) return r;
  CFlexiData* body = data_.Get();
  const f32 tf = static_cast<f32>(time);
  if (tf == 0.0f || !matrixReady_) {
    TakeObjectTransform();
    if (body != nullptr) body->SetPositionReady(false);
    lastTime_ = tf;
    matrixReady_ = true;
  }
  if (!IsActive()) {
    TakeObjectTransform();
    if (body != nullptr) body->SetPositionReady(false);
    return kOk;
  }
  if (!CFlexiData::IsPlaying()) {
    SetLocalAndCompose(GetLocal(), *object);
    if (body != nullptr) body->SetPositionReady(false);
    return kOk;
  }
  if (body == nullptr) return kOk;
  const std::vector<CFlexiControl*>& simulated = body->GetSimulated();
  if (!body->IsPositionReady()) {
    if (!simulated.empty() && simulated.back() == this) {
      const std::vector<CFlexiControl*>& controls = body->GetControls();
      std::vector<CFlexiData::Node>& nodes = body->EditNodes();
      for (std::size_t i = 0; i < nodes.size() && i < controls.size(); ++i) {
        if (const CSpatial* nodeObject = SpatialOf(controls[i])) nodes[i].Rest = ComposeAffine(nodeObject->GetLocal());
      }
      body->Initialise();
      body->SetPositionReady(true);
    }
    lastTime_ = tf;
    return kOk;
  }
  if (body->GetDriver() == this) {
    const f32 s = lastTime_ < tf ? 1.0f : -1.0f;
    // A long jump is cut to one step, so that a seek does not simulate
    // the time between.
    if (std::fabs(tf - lastTime_) > kLongestJumpMs) lastTime_ = tf - s * kStepMs;
    while (s * lastTime_ < s * tf) {
      lastTime_ = lastTime_ + s * kStepMs;
      body->Step(lastTime_);
    }
    lastTime_ = tf;
    return kOk;
  }
  if (pinned_) TakeObjectTransform();
  lastTime_ = tf;
  return kOk;
}

Result CFlexiControl::GetUpdateDepth(i32 time, i32& depth) {
  CFlexiData* body = data_.Get();
  if (!IsActive() || body == nullptr || pinned_) return kOk;
  const std::vector<CFlexiControl*>& simulated = body->GetSimulated();
  const std::vector<CFlexiControl*>& pinned = body->GetPinned();
  const CControl* after = nullptr;
  if (body->GetDriver() == this) {
    if (!pinned.empty()) after = pinned.back();
  } else if (simulated.size() > 1 && simulated.back() == this) {
    after = simulated[simulated.size() - 2];
  } else if (std::find(simulated.begin(), simulated.end(), this) != simulated.end()) {
    after = body->GetDriver();
  }
  CSpatial* object = SpatialOf(after);
  return object != nullptr ? object->RaiseUpdateDepth(time, depth) : kOk;
}

// --- traversal -------------------------------------------------------------------------------------

CBase* CFlexiControl::FindInElement(const char16_t* name, const ClassRecord* record, bool includeDerived,
                                    bool onlyMarked) {
  if (CBase* hit = CRTSControl::FindInElement(name, record, includeDerived, onlyMarked)) return hit;
  return data_ ? data_->Find(name, record, includeDerived, onlyMarked) : nullptr;
}

void CFlexiControl::CollectInElement(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record,
                                     bool includeDerived, bool onlyMarked) {
  CRTSControl::CollectInElement(out, name, record, includeDerived, onlyMarked);
  if (data_) data_->Collect(out, name, record, includeDerived, onlyMarked);
}

bool CFlexiControl::UpdateMarkedInElement(const ObjectSet& set) {
  bool marked = CRTSControl::UpdateMarkedInElement(set);
  if (data_) marked = data_->UpdateMarked(set) || marked;
  return marked;
}

void CFlexiControl::ClearMarkedInElement() {
  CRTSControl::ClearMarkedInElement();
  if (data_) data_->ClearMarked();
}

Result CFlexiControl::RegisterElementForSave(CStream& stream, u32 flags) {
  const Result r = CRTSControl::RegisterElementForSave(stream, flags);
  if (r != kOk || !data_) return r;
  const Result d = data_->RegisterForSave(stream, flags);
  return Failed(d) ? d : kOk;
}

void CFlexiControl::EnumReferences(CReferenceVisitor& visitor) {
  visitor.Visit(data_.Get(), 1);
  CRTSControl::EnumReferences(visitor);
}

bool CFlexiControl::HasSubObjects() const { return data_ || CRTSControl::HasSubObjects(); }

// --- copies ------------------------------------------------------------------------------------------

Result CFlexiControl::CreateInstance(CPointer<CBase>& out) const { return CreateCopy(*this, out); }

Result CFlexiControl::Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) {
  Result r = CRTSControl::Clone(out, cloneMap, flags);
  if (r != kOk || !data_) return r;
  CFlexiControl* copy = DynamicCast<CFlexiControl>(out.Get());
  if (copy == nullptr) return kErrNotFound;
  CPointer<CBase> body;
  r = CloneObject(body, cloneMap, data_.Get(), flags & ~kCloneElementOnly);
  if (Failed(r)) return r;
  CFlexiData* typed = DynamicCast<CFlexiData>(body.Get());
  if (typed == nullptr) return kErrOutOfMemory;
  copy->SetData(typed);
  return kOk;
}

Result CFlexiControl::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  CFlexiControl* other = DynamicCast<CFlexiControl>(target);
  if (other == nullptr) return kErrNotFound;
  const Result r = CRTSControl::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  other->matrixReady_ = false;
  other->pinned_ = pinned_;
  if (other->data_.Get() != data_.Get()) {
    if (other->data_) displaced.emplace_back(other->data_.Get());
    other->SetData(data_.Get());
  }
  return kOk;
}

// --- persistence ---------------------------------------------------------------------------------

Result CFlexiControl::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  matrixReady_ = false;
  Result r = CRTSControl::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Failed(r)) return r;
  const i32 v = stream.GetStoredVersion(StaticClassRecord());
  r = v >= static_cast<i32>(kVersionWideId) ? ReadObjectId(stream, record) : ReadObjectId32(stream, record);
  if (Succeeded(r) && v < static_cast<i32>(kVersionNoMatrix)) r = stream.Skip(kDroppedMatrixSize);
  return r;
}

Result CFlexiControl::Link(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CRTSControl::Link(stream, record, flags);
  if (Failed(r)) return r;
  CPointer<CFlexiData> body;
  r = LinkOwnedPointer(stream, record, this, body);
  if (Failed(r)) return r;
  SetData(body.Get());
  return kOk;
}

Result CFlexiControl::Save(CStream& stream, u32 flags) {
  Result r = CRTSControl::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteObjectId(stream, data_.Get());
  return r;
}

void CFlexiControl::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CFlexiControl Member");
  visitor.OpenGroup();
  visitor.Bool(u"Play", &CFlexiData::PlayFlag());
  visitor.Bool(u"MatrixReady", &matrixReady_);
  visitor.Float(u"LastTime", &lastTime_);
  visitor.EndGroup();
  CRTSControl::DescribeMembers(visitor);
}

u32 CFlexiControl::GetMemorySize() const {
  return CRTSControl::GetMemorySize() + static_cast<u32>(sizeof(*this) - sizeof(CRTSControl));
}

// The version pair and the body's 8-byte id.
u32 CFlexiControl::GetSaveSize() const { return CRTSControl::GetSaveSize() + 16; }

}  // namespace KT
