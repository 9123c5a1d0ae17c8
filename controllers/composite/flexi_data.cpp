#include "controllers/composite/flexi_data.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "controllers/composite/flexi_control.h"
#include "controllers/core/legacy_key_arrays.h"
#include "objectmodel/math_functions.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"

namespace KT {

namespace {

bool gFlexiPlay = false;

constexpr f32 kFourPi = kTwoPi * 2.0f;

// Bytes of the settings after the three lists.
constexpr u32 kSettingsSize = 24 + 1 + 8 + 24 + 8;

}  // namespace

bool CFlexiData::IsPlaying() { return gFlexiPlay; }

void CFlexiData::SetPlay(bool play) { gFlexiPlay = play; }

bool& CFlexiData::PlayFlag() { return gFlexiPlay; }

CFlexiData::CFlexiData() = default;

CFlexiData::CFlexiData(const CFlexiData& other)
    : CDorun(other),
      TimeStep(other.TimeStep),
      NodeMass(other.NodeMass),
      StretchK(other.StretchK),
      ForceStep(other.ForceStep),
      Consistency(other.Consistency),
      ConsistencyOnRotate(other.ConsistencyOnRotate),
      Amplitude(other.Amplitude),
      Angle(other.Angle),
      IsUniformForce(other.IsUniformForce),
      WindForce(other.WindForce),
      Gravity(other.Gravity),
      springs_(other.springs_),
      nodes_(other.nodes_),
      controls_(other.controls_),
      pinned_(other.pinned_),
      simulated_(other.simulated_),
      lastTime_(other.lastTime_),
      currAmplitude_(other.currAmplitude_),
      lastAngle_(other.lastAngle_) {
  Dimension[0] = other.Dimension[0];
  Dimension[1] = other.Dimension[1];
  RelistControls();
}

CFlexiData::~CFlexiData() {
  for (CFlexiControl* control : listed_) control->RemoveLister(this);
}

// --- the controllers ---------------------------------------------------------------------------

void CFlexiData::RelistControls() {
  std::vector<CFlexiControl*> now;
  for (const std::vector<CFlexiControl*>* list : {&controls_, &pinned_, &simulated_}) {
    for (CFlexiControl* control : *list) {
      if (control != nullptr) now.push_back(control);
    }
  }
  std::sort(now.begin(), now.end());
  now.erase(std::unique(now.begin(), now.end()), now.end());
  for (CFlexiControl* control : listed_) {
    if (!std::binary_search(now.begin(), now.end(), control)) control->RemoveLister(this);
  }
  for (CFlexiControl* control : now) control->AddLister(this);
  listed_ = std::move(now);
}

void CFlexiData::ForgetControl(CFlexiControl* control) {
  if (control == nullptr) return;
  std::replace(controls_.begin(), controls_.end(), control, static_cast<CFlexiControl*>(nullptr));
  for (std::vector<CFlexiControl*>* list : {&pinned_, &simulated_, &listed_}) {
    list->erase(std::remove(list->begin(), list->end(), control), list->end());
  }
  control->RemoveLister(this);
}

Result CFlexiData::Validate() const {
  if (controls_.size() < nodes_.size()) return kErrNotFound;
  for (const Spring& spring : springs_) {
    if (spring.NodeA >= nodes_.size() || spring.NodeB >= nodes_.size()) return kErrNotFound;
  }
  return kOk;
}

Result CFlexiData::AttachControls(const std::vector<CFlexiControl*>& controls) {
  if (controls.size() < nodes_.size()) return kErrNotFound;
  std::vector<CFlexiControl*> previous;
  try {
    previous = controls_;
    controls_ = controls;
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  const Result r = Validate();
  if (Failed(r)) {
    controls_ = std::move(previous);
    return r;
  }
  for (CFlexiControl* control : controls_) {
    if (control != nullptr) control->SetData(this);
  }
  RebuildLists();
  SetModified();
  return kOk;
}

void CFlexiData::RebuildLists() {
  pinned_.clear();
  simulated_.clear();
  for (std::size_t i = 0; i < nodes_.size(); ++i) {
    CFlexiControl* control = ControlOf(i);
    if (control == nullptr) continue;
    const bool pinned = nodes_[i].Mass == 0.0f;
    control->SetPinned(pinned);
    control->SetModified();
    (pinned ? pinned_ : simulated_).push_back(control);
  }
  RelistControls();
}

// --- copies ------------------------------------------------------------------------------------

Result CFlexiData::RemapReferences(const CloneMap& cloneMap) {
  const Result r = CDorun::RemapReferences(cloneMap);
  if (Failed(r)) return r;
  for (std::vector<CFlexiControl*>* list : {&controls_, &pinned_, &simulated_}) {
    for (CFlexiControl*& control : *list) {
      if (control == nullptr) continue;
      const auto it = cloneMap.find(control);
      if (it == cloneMap.end()) continue;
      if (CFlexiControl* clone = DynamicCast<CFlexiControl>(it->second.Get())) control = clone;
    }
  }
  RelistControls();
  return kOk;
}

Result CFlexiData::CreateInstance(CPointer<CBase>& out) const {
  try {
    return CreateCopy(*this, out);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
}

Result CFlexiData::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  CFlexiData* other = DynamicCast<CFlexiData>(target);
  if (other == nullptr) return kErrNotFound;
  if (other == this) return CDorun::CopyTo(target, displaced, flags);
  const Result r = CDorun::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  try {
    other->springs_ = springs_;
    other->nodes_ = nodes_;
    other->controls_ = controls_;
    other->pinned_ = pinned_;
    other->simulated_ = simulated_;
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  other->TimeStep = TimeStep;
  other->lastTime_ = lastTime_;
  other->NodeMass = NodeMass;
  other->StretchK = StretchK;
  other->ForceStep = ForceStep;
  other->Consistency = Consistency;
  other->ConsistencyOnRotate = ConsistencyOnRotate;
  other->Amplitude = Amplitude;
  other->IsUniformForce = IsUniformForce;
  other->WindForce = WindForce;
  other->Gravity = Gravity;
  other->Dimension[0] = Dimension[0];
  other->Dimension[1] = Dimension[1];
  other->currAmplitude_ = currAmplitude_;
  other->positionReady_ = false;
  other->RelistControls();
  return kOk;
}

// --- persistence ---------------------------------------------------------------------------------

Result CFlexiData::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CDorun::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Failed(r)) return r;
  const i32 v = stream.GetStoredVersion(StaticClassRecord());
  r = ReadLegacyArray(stream, springs_);
  if (Failed(r)) return r;
  if (v >= static_cast<i32>(kVersionFullNodes)) {
    r = ReadLegacyArray(stream, nodes_);
  } else {
    // Everything but the rest matrix, which starts as the identity.
    struct ShortNode {
      u8 bytes[kShortNodeSize];
    };
    std::vector<ShortNode> shortNodes;
    r = ReadLegacyArray(stream, shortNodes);
    if (Succeeded(r)) {
      try {
        nodes_.assign(shortNodes.size(), Node());
      } catch (const std::bad_alloc&) {
        return kErrOutOfMemory;
      }
      for (std::size_t i = 0; i < shortNodes.size(); ++i) std::memcpy(static_cast<void*>(&nodes_[i]), shortNodes[i].bytes, kShortNodeSize);
    }
  }
  if (Failed(r)) return r;
  if (v >= static_cast<i32>(kVersionWideIds)) {
    r = ReadLegacyArray(stream, pendingIds_);
  } else {
    std::vector<u32> narrow;
    r = ReadLegacyArray(stream, narrow);
    if (Succeeded(r)) pendingIds_.assign(narrow.begin(), narrow.end());
  }
  if (Succeeded(r)) r = ReadU32(stream, TimeStep);
  for (i32* i : {&NodeMass, &StretchK, &ForceStep, &Consistency, &ConsistencyOnRotate}) {
    if (Succeeded(r)) r = ReadU32(stream, *i);
  }
  if (Succeeded(r)) r = ReadBool(stream, IsUniformForce);
  if (Succeeded(r)) r = ReadU32(stream, Amplitude);
  if (Succeeded(r)) r = ReadU32(stream, Angle);
  if (Succeeded(r)) r = ReadFloatBlock(stream, WindForce);
  if (Succeeded(r)) r = ReadFloatBlock(stream, Gravity);
  if (Succeeded(r)) r = ReadU32(stream, Dimension[0]);
  if (Succeeded(r)) r = ReadU32(stream, Dimension[1]);
  if (Failed(r)) return r;
  // A phase below 4 pi steps up, so that the first step draws new gusts.
  if (Angle < kFourPi) Angle += kFourPi;
  controls_.clear();
  pinned_.clear();
  simulated_.clear();
  RelistControls();
  positionReady_ = false;
  return kOk;
}

Result CFlexiData::Link(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  const Result r = CDorun::Link(stream, record, flags);
  if (Failed(r)) return r;
  try {
    controls_.assign(pendingIds_.size(), nullptr);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  for (std::size_t i = 0; i < pendingIds_.size(); ++i) {
    controls_[i] = DynamicCast<CFlexiControl>(stream.ObjectFromId(pendingIds_[i]));
  }
  pendingIds_.clear();
  pendingIds_.shrink_to_fit();
  const Result valid = Validate();
  if (Failed(valid)) {
    controls_.clear();
    return valid;
  }
  RebuildLists();
  return kOk;
}

Result CFlexiData::Save(CStream& stream, u32 flags) {
  Result r = CDorun::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WritePodVector(stream, springs_);
  if (Succeeded(r)) r = WritePodVector(stream, nodes_);
  if (Succeeded(r)) r = WriteU32(stream, static_cast<u32>(controls_.size()));
  for (std::size_t i = 0; Succeeded(r) && i < controls_.size(); ++i) r = WriteObjectId(stream, controls_[i]);
  if (Succeeded(r)) r = WriteFloat(stream, TimeStep);
  for (const i32 i : {NodeMass, StretchK, ForceStep, Consistency, ConsistencyOnRotate}) {
    if (Succeeded(r)) r = WriteI32(stream, i);
  }
  if (Succeeded(r)) r = WriteBool(stream, IsUniformForce);
  if (Succeeded(r)) r = WriteI32(stream, Amplitude);
  if (Succeeded(r)) r = WriteFloat(stream, Angle);
  if (Succeeded(r)) r = WriteFloatBlock(stream, WindForce);
  if (Succeeded(r)) r = WriteFloatBlock(stream, Gravity);
  if (Succeeded(r)) r = WriteU32(stream, Dimension[0]);
  if (Succeeded(r)) r = WriteU32(stream, Dimension[1]);
  return r;
}

void CFlexiData::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CFlexiData Member");
  visitor.OpenGroup();
  visitor.Float(u"TimeStep", &TimeStep);
  visitor.Int(u"NodeMass", &NodeMass);
  visitor.Int(u"StretchK", &StretchK);
  visitor.Int(u"ForceStep", &ForceStep);
  visitor.Int(u"Consistency", &Consistency);
  visitor.Int(u"ConsistencyOnRotate", &ConsistencyOnRotate);
  visitor.Int(u"Amplitude", &Amplitude);
  visitor.Float(u"Angle", &Angle);
  visitor.Bool(u"IsUniformForce", &IsUniformForce);
  visitor.Vector3(u"WindForce", &WindForce);
  visitor.Vector3(u"Gravity", &Gravity);
  visitor.Dimension(u"Dimension", &Dimension[0], &Dimension[1]);
  visitor.Float(u"LastTime", &lastTime_);
  visitor.Float(u"CurrAmplitude", &currAmplitude_);
  visitor.Vector3(u"LastAngle", &lastAngle_);
  visitor.Bool(u"PositionReady", &positionReady_);
  visitor.EndGroup();
  CDorun::DescribeMembers(visitor);
}

u32 CFlexiData::GetMemorySize() const {
  return CDorun::GetMemorySize() + static_cast<u32>(sizeof(*this) - sizeof(CDorun)) +
         static_cast<u32>(springs_.size() * sizeof(Spring) + nodes_.size() * sizeof(Node) +
                          (controls_.size() + pinned_.size() + simulated_.size()) * sizeof(CFlexiControl*));
}

u32 CFlexiData::GetSaveSize() const {
  return CDorun::GetSaveSize() + 8 + PodVectorSaveSize(springs_) + PodVectorSaveSize(nodes_) +
         GetPointerVectorSaveSize(static_cast<u32>(controls_.size())) + kSettingsSize;
}

}  // namespace KT
