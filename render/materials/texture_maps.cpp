#include "render/materials/texture_maps.h"

#include "objectmodel/class_factory.h"
#include "objectmodel/member_visitor.h"
#include "objectmodel/owned_link.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"

namespace KT {

namespace {

// The stored version of `record`'s level, never negative.
u32 StoredVersion(const CStream& stream, const ClassRecord& record) {
  const i32 stored = stream.GetStoredVersion(record);
  return stored < 0 ? 0u : static_cast<u32>(stored);
}

Result ReadId(CStream& stream, CStreamLoadRecord& record, bool wide) {
  return wide ? ReadObjectId(stream, record) : ReadObjectId32(stream, record);
}

}  // namespace

// --- CTextureMap --------------------------------------------------------------------------------

CBase* CTextureMap::Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) {
  if (CBase* hit = CTexture::Find(name, record, includeDerived, onlyMarked)) return hit;
  return owned_refs::Find({image_.Get()}, name, record, includeDerived, onlyMarked);
}

void CTextureMap::Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record,
                          bool includeDerived, bool onlyMarked) {
  CTexture::Collect(out, name, record, includeDerived, onlyMarked);
  owned_refs::Collect({image_.Get()}, out, name, record, includeDerived, onlyMarked);
}

bool CTextureMap::UpdateMarked(const ObjectSet& set) {
  const bool own = CTexture::UpdateMarked(set);
  const bool marked = owned_refs::UpdateMarked({image_.Get()}, set) || own;
  SetMarked(marked);
  return marked;
}

void CTextureMap::ClearMarked() {
  CTexture::ClearMarked();
  owned_refs::ClearMarked({image_.Get()});
}

Result CTextureMap::CreateInstance(CPointer<CBase>& out) const {
  const Result r = CreateCopy(*this, out);
  if (Succeeded(r)) static_cast<CTextureMap*>(out.Get())->image_ = nullptr;
  return r;
}

Result CTextureMap::Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) {
  const Result r = CTexture::Clone(out, cloneMap, flags);
  if (r != kOk || !image_) return r;
  auto* copy = static_cast<CTextureMap*>(out.Get());
  return CloneMember(copy->image_, cloneMap, image_.Get(), flags);
}

Result CTextureMap::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  const Result r = CTexture::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  CTextureMap* other = DynamicCast<CTextureMap>(target);
  if (other == nullptr) return kErrNotFound;
  other->uUvwChannel_ = uUvwChannel_;
  return AssignPointerMember(displaced, image_, other->image_);
}

Result CTextureMap::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CTexture::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Failed(r)) return r;
  const u32 v = StoredVersion(stream, StaticClassRecord());
  r = ReadU32(stream, uUvwChannel_);
  if (Failed(r)) return r;
  // Older records count the channels from 1.
  if (v < kVersionZeroBasedChannel && uUvwChannel_ > 0) --uUvwChannel_;
  return ReadId(stream, record, v >= kVersionWideIds);
}

Result CTextureMap::Link(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  const Result r = CTexture::Link(stream, record, flags);
  return Failed(r) ? r : LinkOwnedPointer(stream, record, this, image_);
}

Result CTextureMap::RegisterForSave(CStream& stream, u32 flags) {
  const Result r = CTexture::RegisterForSave(stream, flags);
  if (r != kOk) return r;
  return owned_refs::RegisterForSave({image_.Get()}, stream, flags);
}

Result CTextureMap::Save(CStream& stream, u32 flags) {
  Result r = CTexture::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteU32(stream, uUvwChannel_);
  if (Succeeded(r)) r = WriteObjectId(stream, image_.Get());
  return r;
}

void CTextureMap::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CTextureMap Member");
  visitor.OpenGroup();
  visitor.UInt(u"uUvwChannel", &uUvwChannel_);
  visitor.EndGroup();
  CTexture::DescribeMembers(visitor);
}

void CTextureMap::EnumReferences(CReferenceVisitor& visitor) {
  visitor.Visit(image_.Get(), 1);
  CTexture::EnumReferences(visitor);
}

u32 CTextureMap::GetMemorySize() const { return CTexture::GetMemorySize() + 8; }
u32 CTextureMap::GetSaveSize() const { return CTexture::GetSaveSize() + 20; }
bool CTextureMap::HasSubObjects() const { return image_ || CTexture::HasSubObjects(); }

// --- CNormalBumpTex -----------------------------------------------------------------------------

CBase* CNormalBumpTex::Find(const char16_t* name, const ClassRecord* record, bool includeDerived,
                            bool onlyMarked) {
  if (CBase* hit = CTexture::Find(name, record, includeDerived, onlyMarked)) return hit;
  return owned_refs::Find(Textures(), name, record, includeDerived, onlyMarked);
}

void CNormalBumpTex::Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record,
                             bool includeDerived, bool onlyMarked) {
  CTexture::Collect(out, name, record, includeDerived, onlyMarked);
  owned_refs::Collect(Textures(), out, name, record, includeDerived, onlyMarked);
}

bool CNormalBumpTex::UpdateMarked(const ObjectSet& set) {
  const bool own = CTexture::UpdateMarked(set);
  const bool marked = owned_refs::UpdateMarked(Textures(), set) || own;
  SetMarked(marked);
  return marked;
}

void CNormalBumpTex::ClearMarked() {
  CTexture::ClearMarked();
  owned_refs::ClearMarked(Textures());
}

Result CNormalBumpTex::ResolveReferences(CBase* root) {
  if (root == nullptr) return kErrInvalidArg;
  const Result r = owned_refs::ResolveReferences(Textures(), root);
  return Failed(r) ? r : CTexture::ResolveReferences(root);
}

Result CNormalBumpTex::CreateInstance(CPointer<CBase>& out) const {
  const Result r = CreateCopy(*this, out);
  if (Succeeded(r)) {
    auto* copy = static_cast<CNormalBumpTex*>(out.Get());
    copy->normalTexture_ = nullptr;
    copy->bumpTexture_ = nullptr;
  }
  return r;
}

Result CNormalBumpTex::Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) {
  Result r = CTexture::Clone(out, cloneMap, flags);
  if (r != kOk) return r;
  auto* copy = static_cast<CNormalBumpTex*>(out.Get());
  r = CloneMember(copy->normalTexture_, cloneMap, normalTexture_.Get(), flags);
  if (Failed(r)) return r;
  r = CloneMember(copy->bumpTexture_, cloneMap, bumpTexture_.Get(), flags);
  return Failed(r) ? r : kOk;
}

Result CNormalBumpTex::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  const Result r = CTexture::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  CNormalBumpTex* other = DynamicCast<CNormalBumpTex>(target);
  if (other == nullptr) return kErrNotFound;
  other->NormalEnable = NormalEnable;
  other->BumpEnable = BumpEnable;
  other->NormalScale = NormalScale;
  other->BumpScale = BumpScale;
  AssignPointerMember(displaced, normalTexture_, other->normalTexture_);
  return AssignPointerMember(displaced, bumpTexture_, other->bumpTexture_);
}

Result CNormalBumpTex::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CTexture::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Failed(r)) return r;
  const bool wide = StoredVersion(stream, StaticClassRecord()) >= kVersionWideIds;
  r = ReadBool(stream, NormalEnable);
  if (Succeeded(r)) r = ReadBool(stream, BumpEnable);
  if (Succeeded(r)) r = ReadU32(stream, NormalScale);
  if (Succeeded(r)) r = ReadU32(stream, BumpScale);
  if (Succeeded(r)) r = ReadId(stream, record, wide);
  if (Succeeded(r)) r = ReadId(stream, record, wide);
  return r;
}

Result CNormalBumpTex::Link(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CTexture::Link(stream, record, flags);
  if (Succeeded(r)) r = LinkOwnedPointer(stream, record, this, normalTexture_);
  if (Succeeded(r)) r = LinkOwnedPointer(stream, record, this, bumpTexture_);
  return r;
}

Result CNormalBumpTex::RegisterForSave(CStream& stream, u32 flags) {
  const Result r = CTexture::RegisterForSave(stream, flags);
  if (r != kOk) return r;
  return owned_refs::RegisterForSave(Textures(), stream, flags);
}

Result CNormalBumpTex::Save(CStream& stream, u32 flags) {
  Result r = CTexture::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteBool(stream, NormalEnable);
  if (Succeeded(r)) r = WriteBool(stream, BumpEnable);
  if (Succeeded(r)) r = WriteFloat(stream, NormalScale);
  if (Succeeded(r)) r = WriteFloat(stream, BumpScale);
  if (Succeeded(r)) r = WriteObjectId(stream, normalTexture_.Get());
  if (Succeeded(r)) r = WriteObjectId(stream, bumpTexture_.Get());
  return r;
}

void CNormalBumpTex::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CNormalBumpTex Member");
  visitor.OpenGroup();
  visitor.Bool(u"NormalEnable", &NormalEnable);
  visitor.Bool(u"BumpEnable", &BumpEnable);
  visitor.Float(u"NormalScale", &NormalScale);
  visitor.Float(u"BumpScale", &BumpScale);
  visitor.EndGroup();
  CTexture::DescribeMembers(visitor);
}

void CNormalBumpTex::EnumReferences(CReferenceVisitor& visitor) {
  owned_refs::EnumReferences(Textures(), visitor);
  CTexture::EnumReferences(visitor);
}

u32 CNormalBumpTex::GetMemorySize() const { return CTexture::GetMemorySize() + 24; }
u32 CNormalBumpTex::GetSaveSize() const { return CTexture::GetSaveSize() + 34; }
bool CNormalBumpTex::HasSubObjects() const { return owned_refs::AnyPresent(Textures()) || CTexture::HasSubObjects(); }

// --- CCubeMap -----------------------------------------------------------------------------------

Result CCubeMap::CreateInstance(CPointer<CBase>& out) const { return CreateCopy(*this, out); }

Result CCubeMap::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  const Result r = CTexture::Load(stream, record, flags);
  return Failed(r) ? r : stream.ReadVersionBlock(StaticClassRecord());
}

Result CCubeMap::Save(CStream& stream, u32 flags) {
  const Result r = CTexture::Save(stream, flags);
  return Failed(r) ? r : WriteVersion(stream, StaticClassRecord());
}

u32 CCubeMap::GetSaveSize() const { return CTexture::GetSaveSize() + 8; }

// --- CRefractionMap -----------------------------------------------------------------------------

Result CRefractionMap::CreateInstance(CPointer<CBase>& out) const { return CreateCopy(*this, out); }

Result CRefractionMap::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  const Result r = CTexture::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  CRefractionMap* other = DynamicCast<CRefractionMap>(target);
  if (other == nullptr) return kErrNotFound;
  other->RefractionIndex = RefractionIndex;
  return kOk;
}

Result CRefractionMap::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CTexture::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  return Failed(r) ? r : ReadU32(stream, RefractionIndex);
}

Result CRefractionMap::Save(CStream& stream, u32 flags) {
  Result r = CTexture::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  return Failed(r) ? r : WriteFloat(stream, RefractionIndex);
}

void CRefractionMap::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CRefractionMap Member");
  visitor.OpenGroup();
  visitor.Float(u"RefractionIndex", &RefractionIndex);
  visitor.EndGroup();
  CTexture::DescribeMembers(visitor);
}

u32 CRefractionMap::GetMemorySize() const { return CTexture::GetMemorySize() + 8; }
u32 CRefractionMap::GetSaveSize() const { return CTexture::GetSaveSize() + 12; }

}  // namespace KT
