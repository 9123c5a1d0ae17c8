// Small concrete classes for the tests of spatials, nodes and the update
// driver: a leaf spatial (optionally with the geometry depth floor) and a
// transform controller that logs every call it gets.
//
// Neither class is in the start-up table: each has its own class record;
// RegisterSceneTestClasses enters the leaf with the class factory (with the
// node) for the load tests.
#pragma once

#include <string>
#include <vector>

#include "controllers/core/control.h"
#include "objectmodel/test_class_record.h"
#include "objectmodel/byte_writer.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"
#include "scene/node.h"
#include "scene/spatial.h"

namespace KT::test {

// Calls seen by the logging controllers, in order ("T:name@time" for a
// transform update, "P:name" for its apply).
inline std::vector<std::string>& SceneLog() {
  static std::vector<std::string> log;
  return log;
}

inline std::string NarrowName(const CBase& object) {
  const WString& name = object.GetName();
  return std::string(name.begin(), name.end());
}

// A spatial without children. UpdateWorldBound copies `ownBound` into the
// world bound. Its own record part: version pair 1.0 and nothing else.
class CTestLeaf : public CSpatial {
 public:
  static const ClassRecord& StaticClassRecord() {
    static const ClassRecord record{"CTestLeaf", &CSpatial::StaticClassRecord(), 1, 0, MakeClassId("CTestLeaf", 0)};
    return record;
  }
  const ClassRecord& GetClassRecord() const override { return StaticClassRecord(); }
  u32 GetVersion() const override { return StaticClassRecord().Version(); }

  CTestLeaf() = default;
  explicit CTestLeaf(const char16_t* name, i32 minDepth = 0) : minDepth(minDepth) { SetName(name); }
  CTestLeaf(const CTestLeaf& other) : CSpatial(other), minDepth(other.minDepth), ownBound(other.ownBound) {}

  Result CreateInstance(CPointer<CBase>& out) const override { return CreateCopy(*this, out); }
  Result CollectSpatials(std::vector<CSpatial*>& spatials) override {
    spatials.push_back(this);
    return kOk;
  }
  Result UpdateWorldBound() override {
    SetWorldBound(ownBound);
    return kOk;
  }
  i32 GetMinUpdateDepth() const override { return minDepth; }

  Result Save(CStream& stream, u32 flags) override {
    const Result r = CSpatial::Save(stream, flags);
    return Succeeded(r) ? WriteVersion(stream, StaticClassRecord()) : r;
  }
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override {
    const Result r = CSpatial::Load(stream, record, flags);
    return Succeeded(r) ? stream.ReadVersionBlock(StaticClassRecord()) : r;
  }
  u32 GetSaveSize() const override { return CSpatial::GetSaveSize() + 8; }

  i32 minDepth = 0;
  CBound ownBound;
};

// A transform controller that logs its calls. It can read a `target`
// spatial (its depth is raised above the target's, as a constraint's is),
// ask for sub-steps, fail its transform update, and act as a data
// controller whose data depth is `dataDepth`.
class CLogControl : public CControl {
  KT_TEST_CLASS(CLogControl, CControl, 1, 0)

 public:
  explicit CLogControl(const char16_t* name) { SetName(name); }
  CLogControl(const CLogControl& other) = default;
  Result CreateInstance(CPointer<CBase>& out) const override { return CreateCopy(*this, out); }

  i32 GetEndTime() const override { return 1000; }
  Result UpdateTransform(i32 time) override {
    SceneLog().push_back("T:" + NarrowName(*this) + "@" + std::to_string(time));
    return transformResult;
  }
  Result ApplyTransform() override {
    SceneLog().push_back("P:" + NarrowName(*this));
    return kOk;
  }
  Result GetUpdateDepth(i32 time, i32& depth) override {
    ++depthQueries;
    if (target != nullptr) return target->RaiseUpdateDepth(time, depth);
    return kDone;
  }
  bool NeedsSubSteps() const override { return subSteps; }
  bool IsDataControl() const override { return isData; }
  Result GetDataUpdateDepth(void*, i32& depth) override {
    if (depth < dataDepth) depth = dataDepth;
    return kOk;
  }
  Result Update(i32 time) override {
    SceneLog().push_back("D:" + NarrowName(*this) + "@" + std::to_string(time));
    return dataResult;
  }
  Result Apply() override { return kOk; }

  CSpatial* target = nullptr;
  bool subSteps = false;
  bool isData = false;
  i32 dataDepth = 0;
  Result transformResult = kOk;
  Result dataResult = kOk;
  int depthQueries = 0;
};

inline void RegisterSceneTestClasses() {
  CClassFactory::Register("CNode", &CreateObject<CNode>);
  CClassFactory::Register("CTestLeaf", &CreateObject<CTestLeaf>);
}

// --- byte images of records (file version 3.01) ------------------------------------

// CBase 2.01 and CDorun 2.01 parts with empty chains.
inline ByteWriter& ObjectHead(ByteWriter& w, u64 id, const std::u16string& name = u"") {
  return w.Pair(2, 1).U64(id).WStr(name).Pair(2, 1).U64(0).U64(0).U64(0);
}

// The current (2.06) CSpatial part: identity Basis, Inherited, two ids,
// Active, IsHide, Freeze, RenderState.
inline ByteWriter& SpatialPart206(ByteWriter& w, u64 attachment = 0, u64 boundingMesh = 0, u32 inherited = 0) {
  w.Pair(2, 6).F32(1.0f).F32(1.0f).F32(1.0f).F32(1.0f);
  w.F32(0.0f).F32(0.0f).F32(0.0f).F32(1.0f).F32(0.0f).F32(0.0f).F32(0.0f).F32(1.0f);
  w.F32(0.0f).F32(0.0f).F32(0.0f).U32(inherited).U64(attachment).U64(boundingMesh);
  return w.U8(1).U8(0).U8(0).U32(2);
}

// The current (2.03) CNode part with the given children.
inline ByteWriter& NodePart203(ByteWriter& w, const std::vector<u64>& children, u32 customId = 0) {
  w.Pair(2, 3).U32(customId).U8(1).U8(1).U8(0).U8(0).U32(static_cast<u32>(children.size()));
  for (u64 child : children) w.U64(child);
  return w;
}

inline ByteWriter NodeBody(u64 id, const std::vector<u64>& children, u64 attachment = 0) {
  ByteWriter w;
  ObjectHead(w, id);
  SpatialPart206(w, attachment);
  NodePart203(w, children);
  return w;
}

inline ByteWriter LeafBody(u64 id, const std::u16string& name = u"") {
  ByteWriter w;
  ObjectHead(w, id, name);
  SpatialPart206(w).Pair(1, 0);
  return w;
}

// A 3.01 file with the given records in its root tree.
using SceneFile = SceneImage;

}  // namespace KT::test
