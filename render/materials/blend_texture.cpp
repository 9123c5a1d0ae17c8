#include "render/materials/blend_texture.h"

#include "objectmodel/class_factory.h"
#include "objectmodel/member_visitor.h"
#include "objectmodel/owned_link.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"

namespace KT {

CBase* CBlendTex::Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) {
  if (CBase* hit = CTexture::Find(name, record, includeDerived, onlyMarked)) return hit;
  return owned_refs::Find(Textures(), name, record, includeDerived, onlyMarked);
}

void CBlendTex::Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record,
                        bool includeDerived, bool onlyMarked) {
  CTexture::Collect(out, name, record, includeDerived, onlyMarked);
  owned_refs::Collect(Textures(), out, name, record, includeDerived, onlyMarked);
}

bool CBlendTex::UpdateMarked(const ObjectSet& set) {
  const bool own = CTexture::UpdateMarked(set);
  const bool marked = owned_refs::UpdateMarked(Textures(), set) || own;
  SetMarked(marked);
  return marked;
}

void CBlendTex::ClearMarked() {
  CTexture::ClearMarked();
  owned_refs::ClearMarked(Textures());
}

Result CBlendTex::ResolveReferences(CBase* root) {
  if (root == nullptr) return kErrInvalidArg;
  const Result r = owned_refs::ResolveReferences(Textures(), root);
  return Failed(r) ? r : CTexture::ResolveReferences(root);
}

Result CBlendTex::CreateInstance(CPointer<CBase>& out) const {
  const Result r = CreateCopy(*this, out);
  if (Succeeded(r)) {
    auto* copy = static_cast<CBlendTex*>(out.Get());
    copy->textures_[0] = nullptr;
    copy->textures_[1] = nullptr;
  }
  return r;
}

Result CBlendTex::Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) {
  const Result r = CTexture::Clone(out, cloneMap, flags);
  if (r != kOk) return r;
  auto* copy = static_cast<CBlendTex*>(out.Get());
  for (u32 i = 0; i < 2; ++i) {
    const Result c = CloneMember(copy->textures_[i], cloneMap, textures_[i].Get(), flags);
    if (Failed(c)) return c;
  }
  return kOk;
}

Result CBlendTex::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  const Result r = CTexture::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  CBlendTex* other = DynamicCast<CBlendTex>(target);
  if (other == nullptr) return kErrNotFound;
  other->Weight0 = Weight0;
  other->Weight1 = Weight1;
  AssignPointerMember(displaced, textures_[0], other->textures_[0]);
  return AssignPointerMember(displaced, textures_[1], other->textures_[1]);
}

Result CBlendTex::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CTexture::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Failed(r)) return r;
  const bool wide = stream.GetStoredVersion(StaticClassRecord()) >= static_cast<i32>(kVersionWideIds);
  r = ReadU32(stream, Weight0);
  if (Succeeded(r)) r = ReadU32(stream, Weight1);
  for (u32 i = 0; Succeeded(r) && i < 2; ++i) r = wide ? ReadObjectId(stream, record) : ReadObjectId32(stream, record);
  return r;
}

Result CBlendTex::Link(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CTexture::Link(stream, record, flags);
  for (u32 i = 0; Succeeded(r) && i < 2; ++i) r = LinkOwnedPointer(stream, record, this, textures_[i]);
  return r;
}

Result CBlendTex::RegisterForSave(CStream& stream, u32 flags) {
  const Result r = CTexture::RegisterForSave(stream, flags);
  if (r != kOk) return r;
  return owned_refs::RegisterForSave(Textures(), stream, flags);
}

Result CBlendTex::Save(CStream& stream, u32 flags) {
  Result r = CTexture::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteFloat(stream, Weight0);
  if (Succeeded(r)) r = WriteFloat(stream, Weight1);
  for (u32 i = 0; Succeeded(r) && i < 2; ++i) r = WriteObjectId(stream, textures_[i].Get());
  return r;
}

void CBlendTex::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CBlendTex Member");
  visitor.OpenGroup();
  visitor.Float(u"Weight0", &Weight0);
  visitor.Float(u"Weight1", &Weight1);
  visitor.EndGroup();
  CTexture::DescribeMembers(visitor);
}

void CBlendTex::EnumReferences(CReferenceVisitor& visitor) {
  owned_refs::EnumReferences(Textures(), visitor);
  CTexture::EnumReferences(visitor);
}

u32 CBlendTex::GetSaveSize() const { return CTexture::GetSaveSize() + 32; }
bool CBlendTex::HasSubObjects() const { return owned_refs::AnyPresent(Textures()) || CTexture::HasSubObjects(); }

}  // namespace KT
