#include "environment/tree.h"

#include <limits>
#include <new>
#include <utility>

#include "objectmodel/class_factory.h"
#include "objectmodel/owned_link.h"
#include "objectmodel/owned_walk.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"
#include "scene/bound.h"
#include "treeruntime/tree_rt.h"

namespace KT {
namespace {

// A new model, or null when its memory cannot be had (the runtime's own
// allocation throws; nothing may cross the object model).
trt::CTreeRT* NewModel() {
  try {
    return new trt::CTreeRT();
  } catch (...) {
    return nullptr;
  }
}

// Texture flip and ten wind matrices are set before tree data is handed to
// a model: the loaded data depends on both.
void SetLoadOptions() {
  trt::CTreeRT::SetTextureFlip(true);
  trt::CTreeRT::SetNumWindMatrices(10);
}

}  // namespace

CTree::CTree() : model_(NewModel()) {}

CTree::CTree(const CTree& other)
    : CDorun(other),
      Seed(other.Seed),
      Size(other.Size),
      SizeVariance(other.SizeVariance),
      corners_(other.corners_),
      references_(other.references_) {}

// The pending block (if any) goes with the tree.
CTree::~CTree() { delete model_; }

std::vector<CBase*> CTree::ReferenceList() const {
  std::vector<CBase*> refs;
  refs.reserve(kReferenceCount);
  for (const CPointer<CBase>& slot : references_) refs.push_back(slot.Get());
  return refs;
}

Result CTree::SetReference(u32 index, CBase* object) {
  if (index >= kReferenceCount) return kErrOutOfRange;
  references_[index] = object;
  SetModified();
  return kOk;
}

// --- the model ---------------------------------------------------------------------------

Result CTree::SetTreeData(const u8* data, u32 size) {
  if (data == nullptr || size > static_cast<u32>(std::numeric_limits<i32>::max())) return kErrInvalidArg;
  trt::CTreeRT* fresh = NewModel();
  if (fresh == nullptr) return kErrOutOfMemory;
  SetLoadOptions();
  if (!fresh->LoadTree(data, static_cast<i32>(size))) {
    delete fresh;
    return kErrTreeData;
  }
  delete std::exchange(model_, fresh);
  SetModified();
  return ComputeModel();
}

void CTree::SetSceneMethods(trt::CTreeRT& model) {
  model.SetBranchLightingMethod(0);
  model.SetLeafLightingMethod(0);
  model.SetFrondLightingMethod(0);
  model.SetBranchWindMethod(0);
  model.SetLeafWindMethod(0);
  model.SetFrondWindMethod(0);
}

Result CTree::ComputeModel() {
  if (model_ == nullptr) return kErrOutOfMemory;
  SetSceneMethods(*model_);
  // A NaN in either value fails the test, as a negative one does; a size
  // of 0.0 is passed on and refused by the model, which keeps its size.
  if (Size >= 0.0f && SizeVariance >= 0.0f) model_->SetTreeSize(Size, SizeVariance);
  if (!model_->Compute(nullptr, Seed, true)) return kErrTreeData;
  model_->SetWindEngineFlag(true);
  trt::CTreeRT::SetStaticOption(true);
  UpdateCorners();
  return kOk;
}

void CTree::UpdateCorners() {
  if (model_ == nullptr) return;
  f32 box[6] = {};
  model_->GetBoundingBox(box);
  BoxCorners(corners_, CVector3<float>(box[0], box[1], box[2]), CVector3<float>(box[3], box[4], box[5]));
}

// --- traversal ------------------------------------------------------------------------------

CBase* CTree::Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) {
  if (CBase* hit = CDorun::Find(name, record, includeDerived, onlyMarked)) return hit;
  return owned_walk::Find(ReferenceList(), name, record, includeDerived, onlyMarked);
}

void CTree::Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record, bool includeDerived,
                    bool onlyMarked) {
  CDorun::Collect(out, name, record, includeDerived, onlyMarked);
  owned_walk::Collect(ReferenceList(), out, name, record, includeDerived, onlyMarked);
}

bool CTree::UpdateMarked(const ObjectSet& set) {
  bool marked = CDorun::UpdateMarked(set);
  marked = owned_walk::UpdateMarked(&references_, ReferenceList(), set) || marked;
  SetMarked(marked);
  return marked;
}

void CTree::ClearMarked() {
  CDorun::ClearMarked();
  owned_walk::ClearMarked(ReferenceList());
}

Result CTree::ResolveReferences(CBase* root) {
  if (root == nullptr) return kErrInvalidArg;
  const Result r = CDorun::ResolveReferences(root);
  if (Failed(r)) return r;
  return owned_walk::ResolveReferences(ReferenceList(), root);
}

Result CTree::CollectAnimated(std::vector<CDorun*>& animated) {
  const Result r = CDorun::CollectAnimated(animated);
  if (Failed(r)) return r;
  owned_walk::CollectAnimated(ReferenceList(), animated);
  return r;
}

void CTree::EnumReferences(CReferenceVisitor& visitor) {
  owned_walk::EnumReferences(ReferenceList(), visitor);
  CDorun::EnumReferences(visitor);
}

bool CTree::HasSubObjects() const {
  for (const CPointer<CBase>& slot : references_) {
    if (slot) return true;
  }
  return CDorun::HasSubObjects();
}

// --- copies ------------------------------------------------------------------------------------

Result CTree::CreateInstance(CPointer<CBase>& out) const {
  CTree* copy = new (std::nothrow) CTree(*this);
  if (copy == nullptr) return kErrOutOfMemory;
  out = copy;
  if (model_ == nullptr) return kOk;
  // The runtime computes a model once: the copy gets an uncomputed clone
  // and computes it with its own (copied) values.
  copy->model_ = model_->Clone();
  if (copy->model_ == nullptr) return kErrOutOfMemory;
  return copy->ComputeModel();
}

Result CTree::Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) {
  const Result r = CDorun::Clone(out, cloneMap, flags);
  if (r != kOk) return r;
  CPointer<CTree> copy(static_cast<CTree*>(out.Get()));
  for (u32 i = 0; i < kReferenceCount; ++i) {
    if (!references_[i]) continue;
    const Result c = owned_walk::CloneInto<CBase>(references_[i].Get(), cloneMap, flags,
                                                  [copy, i](CBase* clone) { copy->references_[i] = clone; });
    if (Failed(c)) return c;
  }
  return kOk;
}

Result CTree::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  CTree* other = DynamicCast<CTree>(target);
  if (other == nullptr) return kErrNotFound;
  Result r = CDorun::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  // The values first, so that the target's model is computed with the
  // values its fields then hold (and that a save and load reproduce).
  other->Seed = Seed;
  other->Size = Size;
  other->SizeVariance = SizeVariance;
  other->corners_ = corners_;
  if (model_ != nullptr) {
    trt::CTreeRT* clone = model_->Clone();
    if (clone == nullptr) return kErrOutOfMemory;
    delete std::exchange(other->model_, clone);
    // A model that does not compute leaves the target's corners as copied;
    // the copy itself stands.
    other->ComputeModel();
  } else {
    delete std::exchange(other->model_, nullptr);
  }
  for (u32 i = 0; i < kReferenceCount; ++i) {
    r = AssignPointerMember(displaced, references_[i], other->references_[i]);
    if (Failed(r)) return r;
  }
  other->sptBlock_.Free();
  return kOk;
}

// --- persistence --------------------------------------------------------------------------------

Result CTree::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CDorun::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  std::vector<u8> data;
  if (Succeeded(r)) r = ReadRuntimeBlock(stream, data);
  if (Failed(r)) return r;
  if (data.size() > static_cast<std::size_t>(std::numeric_limits<i32>::max())) return kErrTreeData;
  // The runtime computes a model once: an object loaded again starts from
  // a fresh model.
  if (model_ == nullptr || model_->IsComputed()) {
    trt::CTreeRT* fresh = NewModel();
    if (fresh == nullptr) return kErrOutOfMemory;
    delete std::exchange(model_, fresh);
  }
  if (!data.empty()) {
    SetLoadOptions();
    if (!model_->LoadTree(data.data(), static_cast<i32>(data.size()))) return kErrTreeData;
  }
  r = ReadU32(stream, Seed);
  if (Succeeded(r)) r = ReadU32(stream, Size);
  if (Succeeded(r)) r = ReadU32(stream, SizeVariance);
  const bool wideIds = stream.GetStoredVersion(StaticClassRecord()) >= static_cast<i32>(kVersionWideIds);
  for (u32 i = 0; i < kReferenceCount && Succeeded(r); ++i) {
    r = wideIds ? ReadObjectId(stream, record) : ReadObjectId32(stream, record);
  }
  if (Failed(r)) return r;
  return ComputeModel();
}

Result CTree::Link(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CDorun::Link(stream, record, flags);
  for (CPointer<CBase>& slot : references_) {
    if (Failed(r)) return r;
    r = LinkOwnedPointer(stream, record, this, slot);
  }
  return Failed(r) ? r : kOk;
}

Result CTree::RegisterForSave(CStream& stream, u32 flags) {
  Result r = CDorun::RegisterForSave(stream, flags);
  if (r != kOk) return r;
  r = PrepareRuntime(nullptr);
  if (Failed(r)) return r;
  return owned_walk::RegisterForSave(ReferenceList(), stream, flags);
}

Result CTree::PrepareRuntime(void*) {
  if (sptBlock_.IsPending() || model_ == nullptr) return kOk;
  // The record keeps the data without the optional leaf-LOD block.
  u32 size = 0;
  u8* block = model_->SaveTree(size, false);
  return sptBlock_.Take(block, size);
}

Result CTree::Save(CStream& stream, u32 flags) {
  Result r = CDorun::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = sptBlock_.Write(stream);
  if (Succeeded(r)) r = WriteU32(stream, Seed);
  if (Succeeded(r)) r = WriteFloat(stream, Size);
  if (Succeeded(r)) r = WriteFloat(stream, SizeVariance);
  for (const CPointer<CBase>& slot : references_) {
    if (Succeeded(r)) r = WriteObjectId(stream, slot.Get());
  }
  return r;
}

void CTree::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CTree Member");
  visitor.OpenGroup();
  visitor.UInt(u"Seed", &Seed);
  visitor.Float(u"Size", &Size);
  visitor.Float(u"SizeVariance", &SizeVariance);
  visitor.EndGroup();
  CDorun::DescribeMembers(visitor);
}

u32 CTree::GetMemorySize() const { return CDorun::GetMemorySize() + 88 + 12 * static_cast<u32>(corners_.size()); }

// Version pair 8, length 4, Seed, Size and SizeVariance 12, ten ids 80.
u32 CTree::GetSaveSize() const { return CDorun::GetSaveSize() + sptBlock_.GetSize() + 104; }

}  // namespace KT
