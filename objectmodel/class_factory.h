// KT::CClassFactory: class name -> creator of a default object.
//
// The stream creates every loaded object through it. Classes register their
// names as they are added to the library; files written under older class
// names load as the current classes through the old-name entries.
#pragma once

#include <map>
#include <string>
#include <string_view>

#include "objectmodel/base.h"

namespace KT {

// Makes one default object of its class into `out`: kOk, or
// kErrOutOfMemory (then `out` is left as it was).
using CreateObjectFunc = void (*)(Result& result, CPointer<CBase>& out);

class CClassFactory {
 public:
  using Registry = std::map<std::string, CreateObjectFunc, std::less<>>;

  // The map, built on first use. Names compare exactly (case-sensitive).
  static Registry& GetRegistry();
  // Enters or replaces the creator of `name`.
  static void Register(std::string_view name, CreateObjectFunc creator);
  // The creator of `name`, or null when the name is unknown.
  static CreateObjectFunc FindCreator(std::string_view name);
};

// The creator of class T: a default-constructed object, allocated without
// throwing.
template <typename T>
void CreateObject(Result& result, CPointer<CBase>& out) {
  T* object = new (std::nothrow) T();
  if (object == nullptr) {
    result = kErrOutOfMemory;
    return;
  }
  out = object;
  result = kOk;
}

// The copy-constructor form of CreateInstance shared by concrete classes.
template <typename T>
Result CreateCopy(const T& source, CPointer<CBase>& out) {
  T* object = new (std::nothrow) T(source);
  if (object == nullptr) return kErrOutOfMemory;
  out = object;
  return kOk;
}

// Files written under these names load as the current classes; the names
// have no class record and objects save under their current names.
struct OldClassName {
  const char* oldName;
  const char* currentName;
};
const OldClassName* GetOldClassNames(u32& count);
// Points each old name at the creator its current class has now; old names
// whose current class is not registered yet stay unknown. Safe to call
// again after more classes are registered.
void RegisterOldClassNames();

}  // namespace KT
