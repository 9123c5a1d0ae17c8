// Children for the tests of the switching and selecting containers: a
// transform controller with a fixed pose, claim and spans, and a data
// controller that records its updates. Both can be saved and loaded (they
// have their own class records, outside the start-up table).
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controllers/composite/data_selector_control.h"
#include "controllers/composite/data_switcher_control.h"
#include "controllers/composite/rts_selector_control.h"
#include "controllers/composite/rts_switcher_control.h"
#include "controllers/core/data_control.h"
#include "controllers/core/rts_control.h"
#include "controllers/core/test_classes.h"
#include "controllers/core/transform_test_support.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/test_class_record.h"

namespace KT::test {

// A transform controller whose Local is the identity moved to (x, 0, 0).
// Its claim is the plain controller's (`pick` kPlain) or fixed:
// PickByPriority answers `pick` (when not 0 it writes `claimBest` and
// `claim` into the best and claim times unless they are kKeep, and
// `priority` into the best priority); UpdatePriority sets
// Priority to `priority` without marking; CollectTimeSpans appends
// `spans`. Record part: version pair 1.0, then x (f32) and the end time
// (i32).
class CPoseControl : public CRTSControl {
  KT_TEST_CLASS(CPoseControl, CRTSControl, 1, 0)

 public:
  static constexpr i32 kKeep = -0x7FFFFFFF;
  // `pick` for the plain controller's claim (CControl::PickByPriority).
  static constexpr Result kPlain = -1;
  struct Span {
    i32 time;
    f32 priority;
    f32 fade;
  };

  CPoseControl() = default;
  CPoseControl(const char16_t* name, f32 xValue) : x(xValue) { SetName(name); }
  CPoseControl(const CPoseControl& other) : CRTSControl(other), x(other.x), endTime(other.endTime) {}
  Result CreateInstance(CPointer<CBase>& out) const override { return CreateCopy(*this, out); }

  i32 GetEndTime() const override { return endTime; }
  Result UpdateTransform(i32 time) override {
    times.push_back(time);
    if (Failed(updateResult)) return updateResult;
    CSpatial* spatial = nullptr;
    const Result r = GetBoundSpatial(spatial);
    if (Failed(r)) return r;
    CRtsTransform local = kIdentityTransform;
    local.Translate = CVector3<float>(x, 0.0f, 0.0f);
    SetLocalAndCompose(local, *spatial);
    return kOk;
  }
  Result UpdatePriority(i32 time) override {
    priorityTimes.push_back(time);
    CallLog().push_back("W:" + Narrow(GetName()));
    const bool modified = IsModified();
    SetPriority(priority);
    SetModified(modified);
    return kOk;
  }
  Result PickByPriority(i32 time, i32& bestTime, i32& claimTime, f32& bestPriority) override {
    pickTimes.push_back(time);
    if (pick == kPlain) return CRTSControl::PickByPriority(time, bestTime, claimTime, bestPriority);
    if (pick == 0) return kOk;
    if (claimBest != kKeep) bestTime = claimBest;
    if (claim != kKeep) claimTime = claim;
    bestPriority = priority;
    return pick;
  }
  Result CollectTimeSpans(i32 start, i32 duration, std::vector<i32>& t, std::vector<f32>& p,
                          std::vector<f32>& f) override {
    windows.push_back({start, duration});
    for (const Span& s : spans) {
      t.push_back(s.time);
      p.push_back(s.priority);
      f.push_back(s.fade);
    }
    return kOk;
  }
  Result GetUpdateDepth(i32 time, i32& depth) override {
    times.push_back(time);
    if (depth < depthValue) depth = depthValue;
    return kOk;
  }

  Result Save(CStream& stream, u32 flags) override {
    Result r = CRTSControl::Save(stream, flags);
    if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
    if (Succeeded(r)) r = WriteFloat(stream, x);
    if (Succeeded(r)) r = WriteI32(stream, endTime);
    return r;
  }
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override {
    Result r = CRTSControl::Load(stream, record, flags);
    if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
    if (Succeeded(r)) r = ReadU32(stream, x);
    if (Succeeded(r)) r = ReadU32(stream, endTime);
    return r;
  }
  u32 GetSaveSize() const override { return CRTSControl::GetSaveSize() + 16; }
  void DescribeMembers(CMemberVisitor& visitor) override {
    visitor.BeginGroup(u"CPoseControl Member");
    visitor.OpenGroup();
    visitor.Float(u"X", &x);
    visitor.Int(u"EndTime", &endTime);
    visitor.EndGroup();
    CRTSControl::DescribeMembers(visitor);
  }

  // Stored.
  f32 x = 0.0f;
  i32 endTime = 1000;
  // Not stored.
  f32 priority = 0.0f;
  Result pick = kPlain;
  i32 claimBest = kKeep;
  i32 claim = kKeep;
  std::vector<Span> spans;
  i32 depthValue = 0;
  Result updateResult = kOk;
  std::vector<i32> times;
  std::vector<i32> priorityTimes;
  std::vector<i32> pickTimes;
  std::vector<std::pair<i32, i32>> windows;
};

// The record of a CPoseControl at x (id `id`, owned by nobody in the
// file), for byte images of files.
inline ByteWriter PoseBody(u64 id, f32 x) {
  ByteWriter w;
  BasePart(w, id);
  DorunPart(w, 0);
  ControlPart(w, ControlFields());
  RtsControlPart(w).Pair(1, 0).F32(x).I32(1000);
  return w;
}

// A data controller that records the time of its Update and writes
// `output` into a bound CTestDorun in Apply. Record part: version pair 1.0,
// then the end time (i32) and the output (i32).
class CChannelData : public CDataControl {
  KT_TEST_CLASS(CChannelData, CDataControl, 1, 0)

 public:
  CChannelData() = default;
  CChannelData(const char16_t* name, i32 out) : output(out) { SetName(name); }
  CChannelData(const CChannelData& other) : CDataControl(other), endTime(other.endTime), output(other.output) {}
  Result CreateInstance(CPointer<CBase>& out) const override { return CreateCopy(*this, out); }

  i32 GetEndTime() const override { return endTime; }
  Result Update(i32 time) override {
    times.push_back(time);
    CallLog().push_back("U:" + Narrow(GetName()));
    return updateResult;
  }
  Result Apply() override {
    if (auto* target = DynamicCast<CTestDorun>(GetObject())) target->value = output;
    return kOk;
  }
  Result UpdatePriority(i32) override {
    CallLog().push_back("W:" + Narrow(GetName()));
    return kOk;
  }
  Result ResolveReferences(CBase* root) override {
    CallLog().push_back("R:" + Narrow(GetName()));
    if (Failed(resolveResult)) return resolveResult;
    return CDataControl::ResolveReferences(root);
  }

  Result Save(CStream& stream, u32 flags) override {
    Result r = CDataControl::Save(stream, flags);
    if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
    if (Succeeded(r)) r = WriteI32(stream, endTime);
    if (Succeeded(r)) r = WriteI32(stream, output);
    return r;
  }
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override {
    Result r = CDataControl::Load(stream, record, flags);
    if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
    if (Succeeded(r)) r = ReadU32(stream, endTime);
    if (Succeeded(r)) r = ReadU32(stream, output);
    return r;
  }
  u32 GetSaveSize() const override { return CDataControl::GetSaveSize() + 16; }
  void DescribeMembers(CMemberVisitor& visitor) override {
    visitor.BeginGroup(u"CChannelData Member");
    visitor.OpenGroup();
    visitor.Int(u"EndTime", &endTime);
    visitor.Int(u"Output", &output);
    visitor.EndGroup();
    CDataControl::DescribeMembers(visitor);
  }

  // Stored.
  i32 endTime = 1000;
  i32 output = 0;
  // Not stored.
  Result updateResult = kOk;
  Result resolveResult = kOk;
  std::vector<i32> times;
};

// Registers the test classes, the containers and the test children with
// the class factory.
inline void RegisterCompositeTestClasses() {
  RegisterTransformTestClasses();
  CClassFactory::Register("CPoseControl", &CreateObject<CPoseControl>);
  CClassFactory::Register("CChannelData", &CreateObject<CChannelData>);
  CClassFactory::Register("CRTSSwitcherControl", &CreateObject<CRTSSwitcherControl>);
  CClassFactory::Register("CRTSSelectorControl", &CreateObject<CRTSSelectorControl>);
  CClassFactory::Register("CDataSwitcherControl", &CreateObject<CDataSwitcherControl>);
  CClassFactory::Register("CDataSelectorControl", &CreateObject<CDataSelectorControl>);
}

}  // namespace KT::test
