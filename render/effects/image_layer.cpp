#include "render/effects/image_layer.h"

#include <algorithm>
#include <limits>

#include "objectmodel/class_factory.h"
#include "objectmodel/matrix4.h"
#include "objectmodel/member_visitor.h"
#include "objectmodel/owned_link.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"
#include "render/materials/material_base.h"
#include "scene/light.h"

namespace KT {

const char16_t* const CImageLayer::kCoordinateNames[2] = {u"CT_Project", u"CT_Screen"};
const char16_t* const CImageLayer::kPivotNames[5] = {u"PT_Center", u"PT_LeftButtom", u"PT_RightButtom",
                                                     u"PT_LeftTop", u"PT_RightTop"};

CImageLayer::CImageLayer(const CImageLayer& other) : CSpatial(other) { other.CopyFields(*this); }

CImageLayer::~CImageLayer() { content_.Release(); }

void CImageLayer::CopyFields(CImageLayer& target) const {
  target.ZValue = ZValue;
  target.ProjPos = ProjPos;
  target.ProjWidth = ProjWidth;
  target.ProjHeight = ProjHeight;
  target.ScreenPos = ScreenPos;
  target.ScreenWidth = ScreenWidth;
  target.ScreenHeight = ScreenHeight;
  target.Row = Row;
  target.Column = Column;
  target.PosType = PosType;
  target.WidthType = WidthType;
  target.HeightType = HeightType;
  target.Tiled = Tiled;
  target.BlurByDOF = BlurByDOF;
  target.IsFitScreen = IsFitScreen;
  target.PivotType = PivotType;
}

Result CImageLayer::SetContent(CDorun* content) {
  if (WouldHoldItself(content, this)) return kErrInvalidArg;
  content_ = content;
  SetModified();
  return kOk;
}

Result CImageLayer::CollectSpatials(std::vector<CSpatial*>& spatials) {
  spatials.push_back(this);
  return kOk;
}

Result CImageLayer::UpdateWorldBound() { return PlaceBoundAtOrigin(*this); }

Result CImageLayer::Update(i32 time) {
  const Result r = CDorun::Update(time);
  if (Failed(r)) return r;
  const CMatrix4& w = GetWorldMatrix();
  // Row vectors: the origin lands on the translation row, the axes on the
  // first two rows of the 3 x 3 part.
  ProjPos = CVector2(w.m[3][0], w.m[3][1]);
  ProjWidth = 2.0f * CVector3<float>(w.m[0][0], w.m[0][1], w.m[0][2]).Length();
  ProjHeight = 2.0f * CVector3<float>(w.m[1][0], w.m[1][1], w.m[1][2]).Length();
  return kOk;
}

CBase* CImageLayer::Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) {
  if (CBase* hit = CSpatial::Find(name, record, includeDerived, onlyMarked)) return hit;
  return owned_refs::Find({content_.Get()}, name, record, includeDerived, onlyMarked);
}

void CImageLayer::Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record,
                          bool includeDerived, bool onlyMarked) {
  CSpatial::Collect(out, name, record, includeDerived, onlyMarked);
  owned_refs::Collect({content_.Get()}, out, name, record, includeDerived, onlyMarked);
}

bool CImageLayer::UpdateMarked(const ObjectSet& set) {
  const bool own = CSpatial::UpdateMarked(set);
  const bool marked = owned_refs::UpdateMarked({content_.Get()}, set) || own;
  SetMarked(marked);
  return marked;
}

void CImageLayer::ClearMarked() {
  CSpatial::ClearMarked();
  owned_refs::ClearMarked({content_.Get()});
}

Result CImageLayer::ResolveReferences(CBase* root) {
  if (root == nullptr) return kErrInvalidArg;
  const Result r = owned_refs::ResolveReferences({content_.Get()}, root);
  return Failed(r) ? r : CSpatial::ResolveReferences(root);
}

Result CImageLayer::CollectAnimated(std::vector<CDorun*>& animated) {
  const Result r = CSpatial::CollectAnimated(animated);
  if (Failed(r)) return r;
  // The projection is recomputed every frame, so the layer always takes
  // part in the data pass.
  if (std::find(animated.begin(), animated.end(), this) == animated.end()) animated.push_back(this);
  return owned_refs::CollectAnimated({content_.Get()}, animated);
}

Result CImageLayer::CreateInstance(CPointer<CBase>& out) const { return CreateCopy(*this, out); }

Result CImageLayer::Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) {
  const Result r = CSpatial::Clone(out, cloneMap, flags);
  if (r != kOk) return r;
  auto* copy = static_cast<CImageLayer*>(out.Get());
  const Result c = CloneMember(copy->content_, cloneMap, content_.Get(), flags);
  return Failed(c) ? c : kOk;
}

Result CImageLayer::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  CImageLayer* other = DynamicCast<CImageLayer>(target);
  if (other == nullptr) return kErrNotFound;
  const Result r = CSpatial::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  CopyFields(*other);
  return AssignPointerMember(displaced, content_, other->content_);
}

Result CImageLayer::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CSpatial::Load(stream, record, flags);
  if (Failed(r)) return r;
  const i32 fileVersion = stream.GetFileVersion();
  const bool hasBlock = fileVersion >= kFileVersionClassBlock;
  u32 v = 0;
  if (hasBlock) {
    r = stream.ReadVersionBlock(StaticClassRecord());
    if (Failed(r)) return r;
    const i32 stored = stream.GetStoredVersion(StaticClassRecord());
    v = stored < 0 ? 0u : static_cast<u32>(stored);
  } else {
    // Files without the pair were written before the class had one: the
    // file version stands in for it.
    v = fileVersion < 0 ? 0u : static_cast<u32>(fileVersion);
    stream.SetStoredVersion(StaticClassRecord(), static_cast<i32>(v));
  }
  r = ReadU32(stream, ZValue);
  if (Succeeded(r)) r = ReadFloatBlock(stream, ProjPos);
  if (Succeeded(r)) r = ReadU32(stream, ProjWidth);
  if (Succeeded(r)) r = ReadU32(stream, ProjHeight);
  if (Succeeded(r)) r = ReadFloatBlock(stream, ScreenPos);
  if (Succeeded(r)) r = ReadU32(stream, ScreenWidth);
  if (Succeeded(r)) r = ReadU32(stream, ScreenHeight);
  if (Succeeded(r)) r = ReadU32(stream, Row);
  if (Succeeded(r)) r = ReadU32(stream, Column);
  if (Succeeded(r)) r = ReadU32(stream, PosType);
  if (Succeeded(r)) r = ReadU32(stream, WidthType);
  if (Succeeded(r)) r = ReadU32(stream, HeightType);
  if (Succeeded(r)) r = ReadBool(stream, Tiled);
  if (Succeeded(r)) r = ReadBool(stream, BlurByDOF);
  if (Succeeded(r) && hasBlock) r = ReadBool(stream, IsFitScreen);
  if (Succeeded(r)) r = ReadU32(stream, PivotType);
  if (Succeeded(r)) r = v >= kVersionWideId ? ReadObjectId(stream, record) : ReadObjectId32(stream, record);
  if (Failed(r) || v >= kVersionNoDiscardedList) return r;
  // A list the class no longer keeps: its entries are skipped.
  u32 count = 0;
  r = ReadU32(stream, count);
  if (Failed(r)) return r;
  const u32 entry = v >= kVersionWideDiscarded ? 8u : 4u;
  r = stream.CheckAvailable(count, entry);
  if (Failed(r) || count == 0) return r;
  const u64 bytes = static_cast<u64>(count) * entry;
  if (bytes > static_cast<u64>(std::numeric_limits<i32>::max())) return kErrStream;
  return stream.Skip(static_cast<i32>(bytes));
}

Result CImageLayer::Link(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  const Result r = CSpatial::Link(stream, record, flags);
  return Failed(r) ? r : LinkOwnedPointer(stream, record, this, content_, ForeignObject::kLeaveEmpty);
}

Result CImageLayer::RegisterForSave(CStream& stream, u32 flags) {
  const Result r = CSpatial::RegisterForSave(stream, flags);
  if (r != kOk) return r;
  return owned_refs::RegisterForSave({content_.Get()}, stream, flags);
}

Result CImageLayer::Save(CStream& stream, u32 flags) {
  Result r = CSpatial::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteFloat(stream, ZValue);
  if (Succeeded(r)) r = WriteFloatBlock(stream, ProjPos);
  if (Succeeded(r)) r = WriteFloat(stream, ProjWidth);
  if (Succeeded(r)) r = WriteFloat(stream, ProjHeight);
  if (Succeeded(r)) r = WriteFloatBlock(stream, ScreenPos);
  if (Succeeded(r)) r = WriteU32(stream, ScreenWidth);
  if (Succeeded(r)) r = WriteU32(stream, ScreenHeight);
  if (Succeeded(r)) r = WriteU32(stream, Row);
  if (Succeeded(r)) r = WriteU32(stream, Column);
  if (Succeeded(r)) r = WriteU32(stream, PosType);
  if (Succeeded(r)) r = WriteU32(stream, WidthType);
  if (Succeeded(r)) r = WriteU32(stream, HeightType);
  if (Succeeded(r)) r = WriteBool(stream, Tiled);
  if (Succeeded(r)) r = WriteBool(stream, BlurByDOF);
  if (Succeeded(r)) r = WriteBool(stream, IsFitScreen);
  if (Succeeded(r)) r = WriteU32(stream, PivotType);
  if (Succeeded(r)) r = WriteObjectId(stream, content_.Get());
  return r;
}

void CImageLayer::DescribeMembers(CMemberVisitor& visitor) {
  const auto asEnum = [](u32& value) { return reinterpret_cast<const i32*>(&value); };
  visitor.BeginGroup(u"CImageLayer Member");
  visitor.OpenGroup();
  visitor.Float(u"ZValue", &ZValue);
  visitor.Point2(u"ProjPos", &ProjPos);
  visitor.Float(u"ProjWidth", &ProjWidth);
  visitor.Float(u"ProjHeight", &ProjHeight);
  visitor.Point2(u"ScreenPos", &ScreenPos);
  visitor.UInt(u"ScreenWidth", &ScreenWidth);
  visitor.UInt(u"ScreenHeight", &ScreenHeight);
  visitor.UInt(u"Row", &Row);
  visitor.UInt(u"Column", &Column);
  visitor.Enum(u"PosType", asEnum(PosType), kCoordinateNames, 2);
  visitor.Enum(u"WidthType", asEnum(WidthType), kCoordinateNames, 2);
  visitor.Enum(u"HeightType", asEnum(HeightType), kCoordinateNames, 2);
  visitor.Bool(u"Tiled", &Tiled);
  visitor.Bool(u"BlurByDOF", &BlurByDOF);
  visitor.Bool(u"IsFitScreen", &IsFitScreen);
  visitor.Enum(u"PivotType", asEnum(PivotType), kPivotNames, 5);
  visitor.EndGroup();
  CSpatial::DescribeMembers(visitor);
}

void CImageLayer::EnumReferences(CReferenceVisitor& visitor) {
  visitor.Visit(content_.Get(), 1);
  CSpatial::EnumReferences(visitor);
}

u32 CImageLayer::GetSaveSize() const { return CSpatial::GetSaveSize() + 79; }

bool CImageLayer::HasSubObjects() const { return content_ || CSpatial::HasSubObjects(); }

}  // namespace KT
