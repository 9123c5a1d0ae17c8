#include "shapes/line_style.h"

#include "objectmodel/class_factory.h"
#include "objectmodel/owned_link.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"
#include "shapes/color_adjust.h"
#include "shapes/fill_style.h"
#include "objectmodel/owned_walk.h"

namespace KT {

namespace {

const char16_t* const kCapNames[] = {u"CS_ROUND", u"CS_NONE", u"CS_SQUARE"};
const char16_t* const kJoinNames[] = {u"JS_ROUND", u"JS_BEVEL", u"JS_MITER"};
const char16_t* const kAttributeNames[] = {u"ATT_HasFill     ", u"ATT_NoHScale    ", u"ATT_NoVScale    ",
                                           u"ATT_PixelHinting"};

// Version pair 8, FillStyle id 8, Width 4, Color 16, Opacity 4, caps and
// join 12, Attributes 1, MiterLimitFactor 4.
constexpr u32 kOwnSaveSize = 57;

}  // namespace

CLineStyle::CLineStyle(const CLineStyle& other)
    : CDorun(other),
      Width(other.Width),
      Color(other.Color),
      Opacity(other.Opacity),
      StartCap(other.StartCap),
      EndCap(other.EndCap),
      JoinStyle(other.JoinStyle),
      Attributes(other.Attributes),
      MiterLimitFactor(other.MiterLimitFactor),
      AnimWidth(other.AnimWidth),
      AnimColor(other.AnimColor),
      AnimOpacity(other.AnimOpacity) {}

CLineStyle::~CLineStyle() { fillStyle_.Release(); }

void CLineStyle::SetFillStyle(CFillStyle* style) {
  fillStyle_ = style;
  SetModified();
}

void CLineStyle::AdjustColor(f32 hue, f32 saturation, f32 brightness, f32 contrast, bool invert) {
  KT::AdjustColor(Color, hue, saturation, brightness, contrast, invert);
  RefreshAnimated();
  SetModified();
}

void CLineStyle::RefreshAnimated() {
  AnimColor = Color;
  AnimWidth = Width;
  AnimOpacity = Opacity;
}

// --- traversal -------------------------------------------------------------------------------

CBase* CLineStyle::Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) {
  if (CBase* hit = CDorun::Find(name, record, includeDerived, onlyMarked)) return hit;
  return fillStyle_ ? owned_walk::Find({fillStyle_.Get()}, name, record, includeDerived, onlyMarked) : nullptr;
}

void CLineStyle::Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record,
                         bool includeDerived, bool onlyMarked) {
  CDorun::Collect(out, name, record, includeDerived, onlyMarked);
  if (fillStyle_) owned_walk::Collect({fillStyle_.Get()}, out, name, record, includeDerived, onlyMarked);
}

bool CLineStyle::UpdateMarked(const ObjectSet& set) {
  bool marked = CDorun::UpdateMarked(set);
  if (fillStyle_) marked = owned_walk::UpdateMarked(&fillStyle_, {fillStyle_.Get()}, set) || marked;
  SetMarked(marked);
  return marked;
}

void CLineStyle::ClearMarked() {
  CDorun::ClearMarked();
  if (fillStyle_) owned_walk::ClearMarked({fillStyle_.Get()});
}

Result CLineStyle::ResolveReferences(CBase* root) {
  const Result r = CDorun::ResolveReferences(root);
  if (Failed(r) || !fillStyle_) return r;
  return owned_walk::ResolveReferences({fillStyle_.Get()}, root);
}

Result CLineStyle::RegisterForSave(CStream& stream, u32 flags) {
  const Result r = CDorun::RegisterForSave(stream, flags);
  if (r != kOk || !fillStyle_) return r;
  return owned_walk::RegisterForSave({fillStyle_.Get()}, stream, flags);
}

void CLineStyle::EnumReferences(CReferenceVisitor& visitor) {
  visitor.Visit(fillStyle_.Get(), 1);
  CDorun::EnumReferences(visitor);
}

bool CLineStyle::HasSubObjects() const { return fillStyle_ || CDorun::HasSubObjects(); }

// --- copies --------------------------------------------------------------------------------

Result CLineStyle::CreateInstance(CPointer<CBase>& out) const { return CreateCopy(*this, out); }

Result CLineStyle::Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) {
  const Result r = CDorun::Clone(out, cloneMap, flags);
  if (Failed(r)) return r;
  // An earlier clone through the same map has its fill style already.
  if (r == kDone || !fillStyle_) return kOk;
  CPointer<CLineStyle> copy(static_cast<CLineStyle*>(out.Get()));
  return owned_walk::CloneInto<CFillStyle>(fillStyle_.Get(), cloneMap, flags,
                                           [copy](CFillStyle* clone) { copy->SetFillStyle(clone); });
}

Result CLineStyle::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  CLineStyle* other = DynamicCast<CLineStyle>(target);
  if (other == nullptr) return kErrNotFound;
  const Result r = CDorun::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  other->Width = Width;
  other->Opacity = Opacity;
  other->Color = Color;
  other->StartCap = StartCap;
  other->EndCap = EndCap;
  other->JoinStyle = JoinStyle;
  other->Attributes = Attributes;
  other->MiterLimitFactor = MiterLimitFactor;
  if (other != this) {
    // The fill style moves: the target takes it, this style lets go.
    AssignPointerMember(displaced, fillStyle_, other->fillStyle_);
    fillStyle_.Release();
  }
  other->RefreshAnimated();
  return kOk;
}

// --- persistence ---------------------------------------------------------------------------

Result CLineStyle::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CDorun::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Succeeded(r)) r = ReadObjectId(stream, record);
  if (Succeeded(r)) r = ReadU32(stream, Width);
  if (Succeeded(r)) r = ReadFloatBlock(stream, Color);
  if (Succeeded(r)) r = ReadU32(stream, Opacity);
  for (u32* value : {&StartCap, &EndCap, &JoinStyle}) {
    if (Succeeded(r)) r = ReadU32(stream, *value);
  }
  if (Succeeded(r)) r = stream.Read(&Attributes, 1, 1);
  if (Succeeded(r)) r = ReadU32(stream, MiterLimitFactor);
  if (Succeeded(r) && stream.GetStoredVersion(StaticClassRecord()) == static_cast<i32>(kVersionTrailingWords)) {
    u32 dropped[4];
    r = stream.Read(dropped, sizeof(dropped), sizeof(dropped));
  }
  if (Failed(r)) return r;
  RefreshAnimated();
  return kOk;
}

Result CLineStyle::Link(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  const Result r = CDorun::Link(stream, record, flags);
  return Failed(r) ? r : LinkOwnedPointer(stream, record, this, fillStyle_);
}

Result CLineStyle::Save(CStream& stream, u32 flags) {
  Result r = CDorun::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteObjectId(stream, fillStyle_.Get());
  if (Succeeded(r)) r = WriteFloat(stream, Width);
  if (Succeeded(r)) r = WriteFloatBlock(stream, Color);
  if (Succeeded(r)) r = WriteFloat(stream, Opacity);
  for (const u32 value : {StartCap, EndCap, JoinStyle}) {
    if (Succeeded(r)) r = WriteU32(stream, value);
  }
  if (Succeeded(r)) r = stream.Write(&Attributes, 1);
  if (Succeeded(r)) r = WriteFloat(stream, MiterLimitFactor);
  return r;
}

void CLineStyle::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CLineStyle Member");
  visitor.OpenGroup();
  visitor.ObjectRef(u"FillStyle", fillStyle_.Get());
  visitor.Float(u"Width    ", &Width);
  visitor.Color(u"Color    ", &Color);
  visitor.Float(u"Opacity  ", &Opacity);
  visitor.Enum(u"StartCap ", reinterpret_cast<const i32*>(&StartCap), kCapNames, 3);
  visitor.Enum(u"EndCap   ", reinterpret_cast<const i32*>(&EndCap), kCapNames, 3);
  visitor.Enum(u"JoinStyle", reinterpret_cast<const i32*>(&JoinStyle), kJoinNames, 3);
  for (u32 bit = 0; bit < 4; ++bit) {
    const bool set = (Attributes & (1u << bit)) != 0;
    visitor.Bool(kAttributeNames[bit], &set);
  }
  visitor.Float(u"MiterLimitFactor", &MiterLimitFactor);
  visitor.EndGroup();
  CDorun::DescribeMembers(visitor);
}

u32 CLineStyle::GetMemorySize() const { return CDorun::GetMemorySize() + 72; }

u32 CLineStyle::GetSaveSize() const { return CDorun::GetSaveSize() + kOwnSaveSize; }

}  // namespace KT
