#include "objectmodel/class_factory.h"

namespace KT {

CClassFactory::Registry& CClassFactory::GetRegistry() {
  static Registry registry;
  return registry;
}

void CClassFactory::Register(std::string_view name, CreateObjectFunc creator) {
  GetRegistry()[std::string(name)] = creator;
}

CreateObjectFunc CClassFactory::FindCreator(std::string_view name) {
  const Registry& registry = GetRegistry();
  const auto it = registry.find(name);
  return it == registry.end() ? nullptr : it->second;
}

const OldClassName* GetOldClassNames(u32& count) {
  static const OldClassName names[] = {
      {"CTriMeshUVWMapControl", "CUvwMapControl"},
      {"CTriMeshUVWMap", "CUvwMap"},
      {"CBoneMesh", "CTriMesh"},
      {"CBoneNodeMesh", "CTriMesh"},
      {"CBoneShapeMesh", "CTriMesh"},
  };
  count = sizeof(names) / sizeof(names[0]);
  return names;
}

void RegisterOldClassNames() {
  u32 count = 0;
  const OldClassName* oldNames = GetOldClassNames(count);
  for (u32 i = 0; i < count; ++i) {
    if (CreateObjectFunc creator = CClassFactory::FindCreator(oldNames[i].currentName)) {
      CClassFactory::Register(oldNames[i].oldName, creator);
    }
  }
}

}  // namespace KT
