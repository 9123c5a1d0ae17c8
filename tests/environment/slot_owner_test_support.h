// Helpers shared by the tests of the scene settings, terrain, sky and
// water: their registration, visitors that record what the objects report,
// and small byte images.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "controllers/core/test_classes.h"
#include "controllers/keyed/keyed_test_support.h"
#include "environment/scene.h"
#include "environment/sky.h"
#include "environment/terrain.h"
#include "environment/water.h"
#include "objectmodel/class_factory.h"
#include "render/effects/effects_test_support.h"

namespace KT::test {

inline void RegisterSlotOwnerClasses() {
  CClassFactory::Register("CScene", &CreateObject<CScene>);
  CClassFactory::Register("CTerrain", &CreateObject<CTerrain>);
  CClassFactory::Register("CSky", &CreateObject<CSky>);
  CClassFactory::Register("CWater", &CreateObject<CWater>);
  RegisterTestClasses();
}

// The references an object enumerates, in order, with their owned flags.
class ReferenceRecorder : public CReferenceVisitor {
 public:
  void Visit(CBase* object, u32 owned) override { seen.emplace_back(object, owned); }
  std::vector<std::pair<CBase*, u32>> seen;
};

// The groups and field names an object describes ("group:" entries for
// the groups), and the names of each enumeration it reports.
class MemberRecorder : public CMemberVisitor {
 public:
  void BeginGroup(const char16_t* name) override { entries.push_back(u"group:" + std::u16string(name)); }
  void Bool(const char16_t* name, const bool*) override { entries.emplace_back(name); }
  void Int(const char16_t* name, const i32*) override { entries.emplace_back(name); }
  void UInt(const char16_t* name, const u32*) override { entries.emplace_back(name); }
  void Float(const char16_t* name, const f32*) override { entries.emplace_back(name); }
  void Color(const char16_t* name, const CColor*) override { entries.emplace_back(name); }
  void Color2(const char16_t* name, const CColor*) override { entries.emplace_back(name); }
  void Vector3(const char16_t* name, const CVector3<float>*) override { entries.emplace_back(name); }
  void Enum(const char16_t* name, const i32*, const char16_t* const* names, u32 count) override {
    entries.emplace_back(name);
    enumNames.emplace_back(names, names + count);
  }
  std::vector<std::u16string> entries;
  std::vector<std::vector<std::u16string>> enumNames;
};

// The entries of `entries` from `group` up to the next group.
inline std::vector<std::u16string> GroupEntries(const std::vector<std::u16string>& entries,
                                                const std::u16string& group) {
  std::vector<std::u16string> out;
  bool inside = false;
  for (const std::u16string& e : entries) {
    if (e.rfind(u"group:", 0) == 0) {
      if (inside) break;
      inside = e == u"group:" + group;
      continue;
    }
    if (inside) out.push_back(e);
  }
  return out;
}

// The bytes an unnamed object's record holds after its KT::CDorun part
// (the record head is the class name and the body size).
inline u32 OwnPartSize(const CBase& object) {
  const std::string name = object.GetClassRecord().name;
  return object.GetSaveSize() - 8 - static_cast<u32>(name.size()) - static_cast<u32>(DorunHead(0).Size());
}

// A test object record (CTestDorun) under `id`, for slots to point at.
inline std::pair<std::string, ByteWriter> Target(u64 id) { return {"CTestDorun", TestDorunBody(id, 0)}; }

}  // namespace KT::test
