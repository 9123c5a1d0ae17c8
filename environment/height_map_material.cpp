#include "environment/height_map_material.h"

#include <vector>

#include "objectmodel/class_factory.h"
#include "objectmodel/owned_link.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"
#include "objectmodel/owned_walk.h"

namespace KT {

namespace {

// The fixed-size values between the version pair and the ids, in record
// order (the switch is the one byte among them).
struct CValueFields {
  CVector3<float>* colors[3];
  f32* before[2];
  bool* flag;
  f32* value3;
  CHeightMapMaterial::CLayer* layers[3];
  f32* after[2];
};

CValueFields FieldsOf(CHeightMapMaterial& m) {
  return {{&m.Color1, &m.Color2, &m.Color3},       {&m.Value1, &m.Value2}, &m.Switch, &m.Value3,
          {&m.Layer1, &m.Layer2, &m.Layer3}, {&m.Value4, &m.Value5}};
}

Result ReadLayer(CStream& stream, CHeightMapMaterial::CLayer& layer) {
  Result r = ReadFloatBlock(stream, layer.Low);
  if (Succeeded(r)) r = ReadFloatBlock(stream, layer.High);
  if (Succeeded(r)) r = ReadU32(stream, layer.Amount);
  return r;
}

Result WriteLayer(CStream& stream, const CHeightMapMaterial::CLayer& layer) {
  Result r = WriteFloatBlock(stream, layer.Low);
  if (Succeeded(r)) r = WriteFloatBlock(stream, layer.High);
  if (Succeeded(r)) r = WriteFloat(stream, layer.Amount);
  return r;
}

}  // namespace

CHeightMapMaterial::CHeightMapMaterial(const CHeightMapMaterial& other)
    : CMaterial(other),
      Color1(other.Color1),
      Color2(other.Color2),
      Color3(other.Color3),
      Value1(other.Value1),
      Value2(other.Value2),
      Switch(other.Switch),
      Value3(other.Value3),
      Layer1(other.Layer1),
      Layer2(other.Layer2),
      Layer3(other.Layer3),
      Value4(other.Value4),
      Value5(other.Value5) {}

CHeightMapMaterial::~CHeightMapMaterial() {
  for (u32 i = kSlotCount; i-- > 0;) slots_[i] = nullptr;
}

Result CHeightMapMaterial::SetSubObject(u32 slot, CBase* object) {
  if (slot >= kSlotCount || WouldHoldItself(object, this)) return kErrInvalidArg;
  slots_[slot] = object;
  SetModified();
  return kOk;
}

// --- walks -----------------------------------------------------------------------------------

CBase* CHeightMapMaterial::Find(const char16_t* name, const ClassRecord* record, bool includeDerived,
                                bool onlyMarked) {
  if (CBase* hit = CMaterial::Find(name, record, includeDerived, onlyMarked)) return hit;
  return owned_walk::Find(Slots(), name, record, includeDerived, onlyMarked);
}

void CHeightMapMaterial::Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record,
                                 bool includeDerived, bool onlyMarked) {
  CMaterial::Collect(out, name, record, includeDerived, onlyMarked);
  owned_walk::Collect(Slots(), out, name, record, includeDerived, onlyMarked);
}

bool CHeightMapMaterial::UpdateMarked(const ObjectSet& set) {
  const bool own = CMaterial::UpdateMarked(set);
  const bool marked = owned_walk::UpdateMarked(this, Slots(), set) || own;
  SetMarked(marked);
  return marked;
}

void CHeightMapMaterial::ClearMarked() {
  CMaterial::ClearMarked();
  owned_walk::ClearMarked(Slots());
}

Result CHeightMapMaterial::RegisterForSave(CStream& stream, u32 flags) {
  const Result r = CMaterial::RegisterForSave(stream, flags);
  if (r != kOk) return r;
  return owned_walk::RegisterForSave(Slots(), stream, flags);
}

void CHeightMapMaterial::EnumReferences(CReferenceVisitor& visitor) {
  // Depth-first over the slots in the order of plain recursion: a slot
  // holding another height-map material is entered here instead of by a
  // call, so materials nested in materials cost no stack; a material's
  // own CDorun part is reported once its slots are done.
  struct Frame {
    CHeightMapMaterial* material;
    u32 next;
  };
  std::vector<Frame> stack{{this, 0}};
  while (!stack.empty()) {
    Frame& top = stack.back();
    if (top.next == kSlotCount) {
      CHeightMapMaterial* done = top.material;
      stack.pop_back();
      done->CMaterial::EnumReferences(visitor);
      continue;
    }
    CBase* slot = top.material->slots_[top.next++].Get();
    if (slot == nullptr) continue;
    if (auto* nested = DynamicCast<CHeightMapMaterial>(slot)) {
      stack.push_back({nested, 0});
    } else {
      slot->EnumReferences(visitor);
    }
  }
}

bool CHeightMapMaterial::HasSubObjects() const {
  return slots_[0] || slots_[1] || slots_[2] || CMaterial::HasSubObjects();
}

// --- copies ----------------------------------------------------------------------------------

Result CHeightMapMaterial::CreateInstance(CPointer<CBase>& out) const { return CreateCopy(*this, out); }

Result CHeightMapMaterial::Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) {
  Result r = CMaterial::Clone(out, cloneMap, flags);
  if (r != kOk) return r;
  auto* copy = static_cast<CHeightMapMaterial*>(out.Get());
  for (u32 i = 0; i < kSlotCount; ++i) {
    if (!slots_[i]) continue;
    r = owned_walk::CloneInto<CBase>(slots_[i].Get(), cloneMap, flags,
                                     [copy, i](CBase* clone) { copy->slots_[i] = clone; });
    if (Failed(r)) return r;
  }
  return kOk;
}

Result CHeightMapMaterial::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  // A null target or one of another class is refused before anything of
  // it changes.
  CHeightMapMaterial* other = DynamicCast<CHeightMapMaterial>(target);
  if (other == nullptr) return kErrNotFound;
  Result r = CMaterial::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  other->Color1 = Color1;
  other->Color2 = Color2;
  other->Color3 = Color3;
  other->Value1 = Value1;
  other->Value2 = Value2;
  other->Switch = Switch;
  other->Value3 = Value3;
  other->Layer1 = Layer1;
  other->Layer2 = Layer2;
  other->Layer3 = Layer3;
  other->Value4 = Value4;
  other->Value5 = Value5;
  for (u32 i = 0; i < kSlotCount; ++i) AssignPointerMember(displaced, slots_[i], other->slots_[i]);
  return kOk;
}

// --- persistence -----------------------------------------------------------------------------

Result CHeightMapMaterial::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CMaterial::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  const CValueFields f = FieldsOf(*this);
  for (CVector3<float>* color : f.colors) {
    if (Succeeded(r)) r = ReadFloatBlock(stream, *color);
  }
  for (f32* value : f.before) {
    if (Succeeded(r)) r = ReadU32(stream, *value);
  }
  if (Succeeded(r)) r = ReadBool(stream, *f.flag);
  if (Succeeded(r)) r = ReadU32(stream, *f.value3);
  for (CLayer* layer : f.layers) {
    if (Succeeded(r)) r = ReadLayer(stream, *layer);
  }
  for (f32* value : f.after) {
    if (Succeeded(r)) r = ReadU32(stream, *value);
  }
  for (u32 i = 0; Succeeded(r) && i < kSlotCount; ++i) r = ReadObjectId(stream, record);
  return r;
}

Result CHeightMapMaterial::Link(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CMaterial::Link(stream, record, flags);
  for (u32 i = 0; Succeeded(r) && i < kSlotCount; ++i) r = LinkOwnedPointer(stream, record, this, slots_[i]);
  return r;
}

Result CHeightMapMaterial::Save(CStream& stream, u32 flags) {
  Result r = CMaterial::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  const CValueFields f = FieldsOf(*this);
  for (const CVector3<float>* color : f.colors) {
    if (Succeeded(r)) r = WriteFloatBlock(stream, *color);
  }
  for (const f32* value : f.before) {
    if (Succeeded(r)) r = WriteFloat(stream, *value);
  }
  if (Succeeded(r)) r = WriteBool(stream, *f.flag);
  if (Succeeded(r)) r = WriteFloat(stream, *f.value3);
  for (const CLayer* layer : f.layers) {
    if (Succeeded(r)) r = WriteLayer(stream, *layer);
  }
  for (const f32* value : f.after) {
    if (Succeeded(r)) r = WriteFloat(stream, *value);
  }
  for (u32 i = 0; Succeeded(r) && i < kSlotCount; ++i) r = WriteObjectId(stream, slots_[i].Get());
  return r;
}

u32 CHeightMapMaterial::GetMemorySize() const { return CMaterial::GetMemorySize() + 136; }

// Version pair 8, colours 36, Value1 to Value5 20, Switch 1, layers 60,
// ids 24.
u32 CHeightMapMaterial::GetSaveSize() const { return CMaterial::GetSaveSize() + 149; }

}  // namespace KT
