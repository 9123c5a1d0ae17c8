#include "exporter/register_library_classes.h"

#include "objectmodel/class_factory.h"
#include "render/image_factory.h"

namespace KT {

void RegisterLibraryClasses() {
  ImageFactory::RegisterImageClasses();
  // Old names resolve to whatever creator their current class has.
  u32 count = 0;
  const OldClassName* oldNames = GetOldClassNames(count);
  for (u32 i = 0; i < count; ++i) {
    if (CreateObjectFunc creator = CClassFactory::FindCreator(oldNames[i].currentName)) {
      CClassFactory::Register(oldNames[i].oldName, creator);
    }
  }
}

}  // namespace KT
