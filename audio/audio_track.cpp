#include "audio/audio_track.h"

#include <algorithm>
#include <unordered_map>
#include <utility>

#include "objectmodel/class_factory.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"

namespace KT {

// Nested tracks are walked in loops: a track met among the children is
// handled here at its own level (its KT::CDorun part called directly, its
// children taken onto the walk's list), everything else through its own
// virtual operation. CAudioCueBase adds nothing to the traversal slots, so
// the KT::CDorun part is the whole of a track's own share.

CAudioTrack::CAudioTrack() = default;

CAudioTrack::CAudioTrack(const CAudioTrack& other) : CAudioCueBase(other), loop_(other.loop_) {}

CAudioTrack::~CAudioTrack() {
  // Children only this track holds are emptied before they are released,
  // so deep nesting is torn down in a loop, not one destructor per level.
  std::vector<CPointer<CAudioCueBase>> doomed;
  ReleaseCues(doomed);
  while (!doomed.empty()) {
    CPointer<CAudioCueBase> child = std::move(doomed.back());
    doomed.pop_back();
    if (!child || child->GetReferences() != 1) continue;
    if (CAudioTrack* track = DynamicCast<CAudioTrack>(child.Get())) track->ReleaseCues(doomed);
  }
}

void CAudioTrack::ReleaseCues(std::vector<CPointer<CAudioCueBase>>& out) {
  while (!cues_.empty()) {
    CPointer<CAudioCueBase> child = std::move(cues_.back());
    cues_.pop_back();
    if (child && child->parent_ == this) child->SetParent(nullptr);
    out.push_back(std::move(child));
  }
}

std::vector<CAudioTrack*> CAudioTrack::SubtreeTracks() {
  std::vector<CAudioTrack*> tracks;
  std::vector<CAudioTrack*> stack{this};
  while (!stack.empty()) {
    CAudioTrack* track = stack.back();
    stack.pop_back();
    tracks.push_back(track);
    for (auto it = track->cues_.rbegin(); it != track->cues_.rend(); ++it) {
      if (CAudioTrack* child = DynamicCast<CAudioTrack>(it->Get())) stack.push_back(child);
    }
  }
  return tracks;
}

bool CAudioTrack::IsSelfOrAncestor(const CAudioCueBase* cue) const {
  for (const CAudioCueBase* t = this; t != nullptr; t = t->GetParent()) {
    if (t == cue) return true;
  }
  return false;
}

// --- children ---------------------------------------------------------------------------------------

Result CAudioTrack::AddCue(CAudioCueBase* cue, bool replaceSameStart) {
  if (cue == nullptr) return kErrInvalidArg;
  if (cue->GetParent() != nullptr) return kErrNotFound;
  // The track itself or an ancestor would make the chain of parents a loop.
  if (IsSelfOrAncestor(cue)) return kErrInvalidArg;
  CPointer<CAudioCueBase> keep(cue);
  cue->SetParent(this);
  CFlatTiming timing;
  cue->Flatten(timing);
  const i32 start = timing.Start;
  std::size_t position = 0;
  for (; position < cues_.size(); ++position) {
    if (!cues_[position]) continue;
    cues_[position]->Flatten(timing);
    if (timing.Start == start) {
      if (replaceSameStart) {
        CPointer<CAudioCueBase> replaced = std::move(cues_[position]);
        cues_.erase(cues_.begin() + static_cast<std::ptrdiff_t>(position));
        if (replaced->parent_ == this) replaced->SetParent(nullptr);
      }
      break;
    }
    if (timing.Start > start) break;
  }
  cues_.insert(cues_.begin() + static_cast<std::ptrdiff_t>(position), keep);
  SetModified();
  return kOk;
}

Result CAudioTrack::RemoveCue(CAudioCueBase* cue) {
  if (cue == nullptr) return kErrInvalidArg;
  const auto it = std::find(cues_.begin(), cues_.end(), cue);
  if (it == cues_.end()) return kOk;
  // The list may hold the only count.
  CPointer<CAudioCueBase> keep(cue);
  cues_.erase(it);
  if (cue->parent_ == this) cue->SetParent(nullptr);
  SetModified();
  return kOk;
}

// --- lengths -------------------------------------------------------------------------------------------

namespace {

// The latest end among the children: each child's length plus its own
// StartTime, 0.0 without children. The lengths of child tracks are taken
// from `known` when it has them.
f32 LatestChildEnd(const std::vector<CPointer<CAudioCueBase>>& cues,
                   const std::unordered_map<const CAudioCueBase*, f32>& known) {
  f32 m = 0.0f;
  for (const CPointer<CAudioCueBase>& child : cues) {
    if (!child) continue;
    const auto it = known.find(child.Get());
    const f32 length = it != known.end() ? it->second : child->GetLength();
    const f32 e = CAudioCueBase::RoundToF32(static_cast<f64>(length) + static_cast<f32>(child->GetStartTime()));
    if (!(e < m)) m = e;
  }
  return m;
}

}  // namespace

f32 CAudioTrack::OwnLength(f32 latestChildEnd) const {
  const f32 rate = RoundToF32(static_cast<f64>(GetPitch()) * GetSpeed());
  return RoundToF32((static_cast<f64>(static_cast<f32>(GetPadding())) + latestChildEnd) / rate);
}

std::unordered_map<const CAudioCueBase*, f32> CAudioTrack::ChildTrackLengths() const {
  // Every track below, the deepest first, so a track's length is known
  // before its parent's is formed: no recursion per level.
  std::unordered_map<const CAudioCueBase*, f32> lengths;
  const std::vector<CAudioTrack*> tracks = const_cast<CAudioTrack*>(this)->SubtreeTracks();
  for (auto it = tracks.rbegin(); it != tracks.rend() && *it != this; ++it) {
    lengths[*it] = (*it)->OwnLength(LatestChildEnd((*it)->cues_, lengths));
  }
  return lengths;
}

f32 CAudioTrack::GetLength() const { return OwnLength(LatestChildEnd(cues_, ChildTrackLengths())); }

f32 CAudioTrack::GetFlatLength() const {
  CFlatTiming r;
  Flatten(r);
  // The resolved rate already holds this track's own factors; they enter
  // a second time.
  const f32 d = RoundToF32(static_cast<f64>(r.Speed) * r.Pitch * GetSpeed() * GetPitch());
  return RoundToF32((static_cast<f64>(static_cast<f32>(GetPadding())) + LatestChildEnd(cues_, ChildTrackLengths())) / d);
}

// --- traversal -------------------------------------------------------------------------------------------

CBase* CAudioTrack::Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) {
  std::vector<CAudioCueBase*> stack{this};
  while (!stack.empty()) {
    CAudioCueBase* cue = stack.back();
    stack.pop_back();
    CAudioTrack* track = DynamicCast<CAudioTrack>(cue);
    if (track == nullptr) {
      if (CBase* hit = cue->Find(name, record, includeDerived, onlyMarked)) return hit;
      continue;
    }
    if (CBase* hit = track->CDorun::Find(name, record, includeDerived, onlyMarked)) return hit;
    for (auto it = track->cues_.rbegin(); it != track->cues_.rend(); ++it) {
      if (*it) stack.push_back(it->Get());
    }
  }
  return nullptr;
}

void CAudioTrack::Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record,
                          bool includeDerived, bool onlyMarked) {
  for (CAudioTrack* track : SubtreeTracks()) {
    track->CDorun::Collect(out, name, record, includeDerived, onlyMarked);
    for (const CPointer<CAudioCueBase>& child : track->cues_) {
      if (child && DynamicCast<CAudioTrack>(child.Get()) == nullptr) {
        child->Collect(out, name, record, includeDerived, onlyMarked);
      }
    }
  }
}

void CAudioTrack::ClearMarked() {
  for (CAudioTrack* track : SubtreeTracks()) {
    track->CDorun::ClearMarked();
    for (const CPointer<CAudioCueBase>& child : track->cues_) {
      if (child && DynamicCast<CAudioTrack>(child.Get()) == nullptr) child->ClearMarked();
    }
  }
}

bool CAudioTrack::UpdateMarked(const ObjectSet& set) {
  // Reversed pre-order: every track comes after the tracks below it, whose
  // Marked flags are then final.
  const std::vector<CAudioTrack*> tracks = SubtreeTracks();
  for (auto it = tracks.rbegin(); it != tracks.rend(); ++it) {
    CAudioTrack* track = *it;
    bool marked = track->CDorun::UpdateMarked(set);
    for (const CPointer<CAudioCueBase>& child : track->cues_) {
      if (!child) continue;
      if (DynamicCast<CAudioTrack>(child.Get()) != nullptr) {
        marked = child->IsMarked() || marked;
      } else {
        marked = child->UpdateMarked(set) || marked;
      }
    }
    track->SetMarked(marked);
  }
  return IsMarked();
}

Result CAudioTrack::ResolveReferences(CBase* root) {
  if (root == nullptr) return kErrInvalidArg;
  // The children of a track before the track's own part.
  const std::vector<CAudioTrack*> tracks = SubtreeTracks();
  for (auto it = tracks.rbegin(); it != tracks.rend(); ++it) {
    CAudioTrack* track = *it;
    for (const CPointer<CAudioCueBase>& child : track->cues_) {
      if (!child || DynamicCast<CAudioTrack>(child.Get()) != nullptr) continue;
      const Result r = child->ResolveReferences(root);
      if (Failed(r)) return r;
    }
    const Result r = track->CDorun::ResolveReferences(root);
    if (Failed(r)) return r;
  }
  return kOk;
}

Result CAudioTrack::RegisterForSave(CStream& stream, u32 flags) {
  for (CAudioTrack* track : SubtreeTracks()) {
    // A track registered already still offers its children.
    Result r = track->CDorun::RegisterForSave(stream, flags);
    if (Failed(r)) return r;
    for (const CPointer<CAudioCueBase>& child : track->cues_) {
      if (!child || DynamicCast<CAudioTrack>(child.Get()) != nullptr) continue;
      r = child->RegisterForSave(stream, flags);
      if (Failed(r)) return r;
    }
  }
  return kOk;
}

void CAudioTrack::EnumReferences(CReferenceVisitor& visitor) {
  for (const CPointer<CAudioCueBase>& child : cues_) visitor.Visit(child.Get(), 1);
  CAudioCueBase::EnumReferences(visitor);
}

bool CAudioTrack::HasSubObjects() const { return !cues_.empty() || CAudioCueBase::HasSubObjects(); }

// --- copies -------------------------------------------------------------------------------------------------

Result CAudioTrack::CreateInstance(CPointer<CBase>& out) const { return CreateCopy(*this, out); }

Result CAudioTrack::Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) {
  Result r = CDorun::Clone(out, cloneMap, flags);
  if (r != kOk) return r;
  // First every track below gets its copy, top down (a track cloned
  // earlier keeps the copy it has and is not entered); then, bottom up,
  // each copy receives the clones of its children, as a recursive clone
  // would add them: a track's own children before the track joins its
  // parent.
  struct Pending {
    CAudioTrack* source;
    CAudioTrack* copy;
    std::vector<CPointer<CBase>> clones;
  };
  std::vector<Pending> pending;
  pending.push_back({this, static_cast<CAudioTrack*>(out.Get()), {}});
  for (std::size_t i = 0; i < pending.size(); ++i) {
    // A snapshot: cloning may not change the list, but the walk must not
    // depend on it.
    const std::vector<CPointer<CAudioCueBase>> children = pending[i].source->cues_;
    std::vector<CPointer<CBase>> clones;
    for (const CPointer<CAudioCueBase>& child : children) {
      if (!child) continue;
      CPointer<CBase> clone;
      if (CAudioTrack* track = DynamicCast<CAudioTrack>(child.Get())) {
        r = track->CDorun::Clone(clone, cloneMap, flags);
        if (Failed(r)) return r;
        if (r == kOk) pending.push_back({track, static_cast<CAudioTrack*>(clone.Get()), {}});
      } else {
        r = CloneObject(clone, cloneMap, child.Get(), flags);
        if (Failed(r)) return r;
      }
      clones.push_back(std::move(clone));
    }
    pending[i].clones = std::move(clones);
  }
  for (auto it = pending.rbegin(); it != pending.rend(); ++it) {
    for (const CPointer<CBase>& clone : it->clones) {
      CAudioCueBase* cue = DynamicCast<CAudioCueBase>(clone.Get());
      if (cue == nullptr) return kErrNotFound;
      r = it->copy->AddCue(cue, true);
      if (Failed(r)) return r;
    }
  }
  return kOk;
}

Result CAudioTrack::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  CAudioTrack* other = DynamicCast<CAudioTrack>(target);
  if (other == nullptr) return kErrNotFound;
  // Moving the children under one of their own descendants would make the
  // chain of parents a loop.
  if (other != this && other->IsSelfOrAncestor(this)) return kErrInvalidArg;
  const Result r = CAudioCueBase::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  other->loop_ = loop_;
  other->SetModified();
  if (other == this) return kOk;
  std::vector<CPointer<CAudioCueBase>> former;
  other->ReleaseCues(former);
  for (auto it = former.rbegin(); it != former.rend(); ++it) {
    if (*it) displaced.emplace_back(it->Get());
  }
  // The children move: the source is const in its fields only.
  CAudioTrack* self = const_cast<CAudioTrack*>(this);
  std::vector<CPointer<CAudioCueBase>> moved = std::move(self->cues_);
  self->cues_.clear();
  for (CPointer<CAudioCueBase>& child : moved) {
    if (child) child->SetParent(other);
  }
  other->cues_ = std::move(moved);
  self->SetModified();
  return kOk;
}

// --- persistence ----------------------------------------------------------------------------------------------

Result CAudioTrack::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CAudioCueBase::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Failed(r)) return r;
  const i32 v = stream.GetStoredVersion(StaticClassRecord());
  std::vector<CPointer<CAudioCueBase>> former;
  ReleaseCues(former);
  queuedCues_ = 0;
  u32 count = 0;
  r = ReadU32(stream, count);
  if (Succeeded(r)) r = stream.CheckAvailable(count, 8);
  for (u32 i = 0; Succeeded(r) && i < count; ++i) {
    r = ReadObjectId(stream, record);
    if (Succeeded(r)) ++queuedCues_;
  }
  if (Succeeded(r) && v >= static_cast<i32>(kVersionLoop)) r = ReadU32(stream, loop_);
  return r;
}

Result CAudioTrack::Link(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CAudioCueBase::Link(stream, record, flags);
  if (Failed(r)) return r;
  const u32 queued = std::exchange(queuedCues_, 0);
  for (u32 i = 0; i < queued; ++i) {
    const u64 id = record.TakeNextId();
    CBase* object = stream.ObjectFromId(id);
    if (object == nullptr) {
      // An empty slot stays empty (and is written back as such).
      if (id != 0) stream.AddUnresolved(id, this);
      cues_.emplace_back();
      continue;
    }
    CAudioCueBase* cue = DynamicCast<CAudioCueBase>(object);
    if (cue == nullptr) return kErrNotFound;
    // Held by another track of the file, or listed twice: the first claim
    // holds.
    if (cue->GetParent() != nullptr) continue;
    // The stream refuses (kErrNotFound) a child that would make the track
    // hold itself.
    r = stream.ClaimOwnership(this, cue);
    if (Failed(r)) return r;
    cue->SetParent(this);
    cues_.emplace_back(cue);
  }
  return kOk;
}

Result CAudioTrack::Save(CStream& stream, u32 flags) {
  Result r = CAudioCueBase::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteReferenceVector(stream, cues_);
  if (Succeeded(r)) r = WriteU32(stream, loop_);
  return r;
}

void CAudioTrack::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CAudioTrack Member");
  visitor.OpenGroup();
  visitor.UInt(u"Loop", &loop_);
  visitor.EndGroup();
  CAudioCueBase::DescribeMembers(visitor);
}

u32 CAudioTrack::GetMemorySize() const {
  return CAudioCueBase::GetMemorySize() + 36 + 4 * static_cast<u32>(cues_.size());
}

// Version pair, the child list and Loop.
u32 CAudioTrack::GetSaveSize() const {
  return CAudioCueBase::GetSaveSize() + 12 + GetPointerVectorSaveSize(static_cast<u32>(cues_.size()));
}

}  // namespace KT
