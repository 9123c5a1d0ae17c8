// Small concrete classes for the tests of the scene-content base and the
// controller base: a scene-content object with one value that controllers
// write, and a controller whose every call can be watched and made to fail.
//
// Neither class is in the start-up table: each has its own class record,
// and the load tests register its creator with the class factory.
#pragma once

#include <string>
#include <vector>

#include "controllers/core/control.h"
#include "objectmodel/test_class_record.h"
#include "objectmodel/byte_writer.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"

namespace KT::test {

// Order in which test controllers were updated and applied ("U:name",
// "A:name"), for the tests of update order.
inline std::vector<std::string>& CallLog() {
  static std::vector<std::string> log;
  return log;
}

inline std::string Narrow(const WString& text) { return std::string(text.begin(), text.end()); }

// A scene-content object with one integer that controllers write. Its own
// record part: version pair 1.0, then Value (i32).
class CTestDorun : public CDorun {
  KT_TEST_CLASS(CTestDorun, CDorun, 1, 0)

 public:
  CTestDorun() = default;
  CTestDorun(const CTestDorun& other) : CDorun(other), value(other.value) {}

  Result CreateInstance(CPointer<CBase>& out) const override { return CreateCopy(*this, out); }

  Result Save(CStream& stream, u32 flags) override {
    Result r = CDorun::Save(stream, flags);
    if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
    if (Succeeded(r)) r = WriteI32(stream, value);
    return r;
  }
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override {
    Result r = CDorun::Load(stream, record, flags);
    if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
    if (Succeeded(r)) r = ReadU32(stream, value);
    return r;
  }
  u32 GetSaveSize() const override { return CDorun::GetSaveSize() + 12; }
  void DescribeMembers(CMemberVisitor& visitor) override {
    visitor.BeginGroup(u"CTestDorun Member");
    visitor.OpenGroup();
    visitor.Int(u"Value", &value);
    visitor.EndGroup();
    CDorun::DescribeMembers(visitor);
  }

  i32 value = 0;
};

// A controller with an end time. Update records the time it was given and
// answers `updateResult`; Apply writes `output` into a bound CTestDorun and
// answers `applyResult`. Its own record part: version pair 1.0, EndTime
// (i32), then the data flag (1 byte).
class CTestControl : public CControl {
  KT_TEST_CLASS(CTestControl, CControl, 1, 0)

 public:
  CTestControl() = default;
  explicit CTestControl(const char16_t* name) { SetName(name); }
  CTestControl(const CTestControl& other)
      : CControl(other), endTime(other.endTime), isData(other.isData), output(other.output) {}

  Result CreateInstance(CPointer<CBase>& out) const override { return CreateCopy(*this, out); }

  i32 GetEndTime() const override { return endTime; }
  Result Update(i32 time) override {
    lastTime = time;
    ++updates;
    CallLog().push_back("U:" + Narrow(GetName()));
    return updateResult;
  }
  Result UpdateTransform(i32) override { return kDone; }
  Result ApplyTransform() override { return kDone; }
  Result Apply() override {
    CallLog().push_back("A:" + Narrow(GetName()));
    if (auto* target = DynamicCast<CTestDorun>(GetObject())) target->value = output;
    return applyResult;
  }
  bool IsDataControl() const override { return isData; }
  Result GetDataUpdateDepth(void* context, i32& depth) override {
    if (dataDepth < 0) return CControl::GetDataUpdateDepth(context, depth);
    if (depth < dataDepth) depth = dataDepth;
    return depthResult;
  }

  Result Save(CStream& stream, u32 flags) override {
    Result r = CControl::Save(stream, flags);
    if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
    if (Succeeded(r)) r = WriteI32(stream, endTime);
    if (Succeeded(r)) r = WriteBool(stream, isData);
    return r;
  }
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override {
    Result r = CControl::Load(stream, record, flags);
    if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
    if (Succeeded(r)) r = ReadU32(stream, endTime);
    if (Succeeded(r)) r = ReadBool(stream, isData);
    return r;
  }
  u32 GetSaveSize() const override { return CControl::GetSaveSize() + 13; }
  void DescribeMembers(CMemberVisitor& visitor) override {
    visitor.BeginGroup(u"CTestControl Member");
    visitor.OpenGroup();
    visitor.Int(u"EndTime", &endTime);
    visitor.Bool(u"IsData", &isData);
    visitor.EndGroup();
    CControl::DescribeMembers(visitor);
  }

  // Stored.
  i32 endTime = 1000;
  bool isData = false;
  // Not stored.
  i32 output = 0;
  // Raised into the depth GetDataUpdateDepth accumulates (negative: the
  // base answer), and the answer given then.
  i32 dataDepth = -1;
  Result depthResult = kOk;
  Result updateResult = kOk;
  Result applyResult = kOk;
  i32 lastTime = -1;
  int updates = 0;
};

// Registers both creators with the class factory (for load tests).
inline void RegisterTestClasses() {
  CClassFactory::Register("CTestDorun", &CreateObject<CTestDorun>);
  CClassFactory::Register("CTestControl", &CreateObject<CTestControl>);
}

// --- byte images of files holding these classes (file version 3.01) -------------

// The CBase level at version 2.01: id and name.
inline ByteWriter& BasePart(ByteWriter& w, u64 id, const std::u16string& name = u"") {
  return w.Pair(2, 1).U64(id).WStr(name);
}
// The CDorun level at version 2.01: the three chain heads.
inline ByteWriter& DorunPart(ByteWriter& w, u64 controls, u64 subObjects = 0, u64 customData = 0) {
  return w.Pair(2, 1).U64(controls).U64(subObjects).U64(customData);
}

// Fields of a CControl part in its current (2.04) layout.
struct ControlFields {
  u32 repeat = 0;
  f32 priority = 0.0f;
  f32 weight = 1.0f;
  f32 frequency = 1.0f;
  u8 active = 1;
  u64 object = 0;
  u64 next = 0;
  std::vector<u64> owners;
};
inline ByteWriter& ControlPart(ByteWriter& w, const ControlFields& f) {
  w.Pair(2, 4).U32(f.repeat).F32(f.priority).F32(f.weight).F32(f.frequency).U8(f.active);
  w.U64(f.object).U64(f.next).U32(static_cast<u32>(f.owners.size()));
  for (u64 owner : f.owners) w.U64(owner);
  return w;
}

// Bodies of whole records.
inline ByteWriter TestDorunBody(u64 id, u64 controls, u64 subObjects = 0, u64 customData = 0, i32 value = 0) {
  ByteWriter w;
  BasePart(w, id);
  DorunPart(w, controls, subObjects, customData).Pair(1, 0).I32(value);
  return w;
}
inline ByteWriter TestControlBody(u64 id, const ControlFields& f, u64 controls = 0, u64 subObjects = 0) {
  ByteWriter w;
  BasePart(w, id);
  DorunPart(w, controls, subObjects);
  ControlPart(w, f).Pair(1, 0).I32(1000).U8(0);
  return w;
}
inline ByteWriter CustomDataBody(u64 id, u64 next) {
  ByteWriter w;
  BasePart(w, id).Pair(2, 3).U64(next);
  return w;
}


}  // namespace KT::test
