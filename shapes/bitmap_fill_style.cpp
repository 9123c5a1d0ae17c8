#include "shapes/bitmap_fill_style.h"

#include "objectmodel/class_factory.h"
#include "objectmodel/owned_link.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"
#include "objectmodel/owned_walk.h"

namespace KT {

namespace {

const char16_t* const kRepeatNames[] = {u"Clamp", u"Mirror", u"Wrap"};

}  // namespace

CBitmapFillStyle::CBitmapFillStyle(const CBitmapFillStyle& other)
    : CFillStyle(other), RepeatMode(other.RepeatMode), Transform(other.Transform), AnimTransform(other.AnimTransform) {}

CBitmapFillStyle::~CBitmapFillStyle() { bitmap_.Release(); }

void CBitmapFillStyle::SetBitmap(CBase* bitmap) {
  bitmap_ = bitmap;
  SetModified();
}

// --- traversal -------------------------------------------------------------------------------

CBase* CBitmapFillStyle::Find(const char16_t* name, const ClassRecord* record, bool includeDerived,
                              bool onlyMarked) {
  if (CBase* hit = CFillStyle::Find(name, record, includeDerived, onlyMarked)) return hit;
  return bitmap_ ? owned_walk::Find({bitmap_.Get()}, name, record, includeDerived, onlyMarked) : nullptr;
}

void CBitmapFillStyle::Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record,
                               bool includeDerived, bool onlyMarked) {
  CFillStyle::Collect(out, name, record, includeDerived, onlyMarked);
  if (bitmap_) owned_walk::Collect({bitmap_.Get()}, out, name, record, includeDerived, onlyMarked);
}

bool CBitmapFillStyle::UpdateMarked(const ObjectSet& set) {
  bool marked = CFillStyle::UpdateMarked(set);
  if (bitmap_) marked = owned_walk::UpdateMarked(&bitmap_, {bitmap_.Get()}, set) || marked;
  SetMarked(marked);
  return marked;
}

void CBitmapFillStyle::ClearMarked() {
  CFillStyle::ClearMarked();
  if (bitmap_) owned_walk::ClearMarked({bitmap_.Get()});
}

Result CBitmapFillStyle::ResolveReferences(CBase* root) {
  const Result r = CFillStyle::ResolveReferences(root);
  if (Failed(r) || !bitmap_) return r;
  return owned_walk::ResolveReferences({bitmap_.Get()}, root);
}

Result CBitmapFillStyle::RegisterForSave(CStream& stream, u32 flags) {
  const Result r = CFillStyle::RegisterForSave(stream, flags);
  if (r != kOk || !bitmap_) return r;
  return owned_walk::RegisterForSave({bitmap_.Get()}, stream, flags);
}

void CBitmapFillStyle::EnumReferences(CReferenceVisitor& visitor) {
  visitor.Visit(bitmap_.Get(), 1);
  CFillStyle::EnumReferences(visitor);
}

bool CBitmapFillStyle::HasSubObjects() const { return bitmap_ || CFillStyle::HasSubObjects(); }

// --- copies --------------------------------------------------------------------------------

Result CBitmapFillStyle::CreateInstance(CPointer<CBase>& out) const { return CreateCopy(*this, out); }

Result CBitmapFillStyle::Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) {
  const Result r = CFillStyle::Clone(out, cloneMap, flags);
  if (r != kOk || !bitmap_) return r;
  CPointer<CBitmapFillStyle> copy(static_cast<CBitmapFillStyle*>(out.Get()));
  return owned_walk::CloneInto<CBase>(bitmap_.Get(), cloneMap, flags,
                                      [copy](CBase* clone) { copy->SetBitmap(clone); });
}

Result CBitmapFillStyle::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  CBitmapFillStyle* other = DynamicCast<CBitmapFillStyle>(target);
  if (other == nullptr) return kErrNotFound;
  const Result r = CFillStyle::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  other->RepeatMode = RepeatMode;
  other->Transform = Transform;
  if (other != this) {
    AssignPointerMember(displaced, bitmap_, other->bitmap_);
    bitmap_.Release();
  }
  other->AnimTransform = Transform;
  return kOk;
}

// --- persistence ---------------------------------------------------------------------------

Result CBitmapFillStyle::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CFillStyle::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Succeeded(r)) r = ReadU32(stream, RepeatMode);
  if (Succeeded(r)) r = ReadFloatBlock(stream, Transform);
  if (Succeeded(r)) r = ReadObjectId(stream, record);
  if (Failed(r)) return r;
  AnimTransform = Transform;
  return kOk;
}

Result CBitmapFillStyle::Link(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  const Result r = CFillStyle::Link(stream, record, flags);
  return Failed(r) ? r : LinkOwnedPointer(stream, record, this, bitmap_);
}

Result CBitmapFillStyle::Save(CStream& stream, u32 flags) {
  Result r = CFillStyle::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteU32(stream, RepeatMode);
  if (Succeeded(r)) r = WriteFloatBlock(stream, Transform);
  if (Succeeded(r)) r = WriteObjectId(stream, bitmap_.Get());
  return r;
}

void CBitmapFillStyle::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CBitmapFillStyle Member");
  visitor.OpenGroup();
  visitor.Matrix4(u"Transform Matrix", &Transform);
  visitor.Enum(u"RepeatMode", reinterpret_cast<const i32*>(&RepeatMode), kRepeatNames, 3);
  visitor.ObjectRef(u"Bitmap", bitmap_.Get());
  visitor.EndGroup();
  CFillStyle::DescribeMembers(visitor);
}

u32 CBitmapFillStyle::GetMemorySize() const { return CFillStyle::GetMemorySize() + 136; }

// Version pair 8, RepeatMode 4, Transform 64, Bitmap id 8.
u32 CBitmapFillStyle::GetSaveSize() const { return CFillStyle::GetSaveSize() + 84; }

}  // namespace KT
