#include <cinttypes>
#include <cstdio>

#include "objectmodel/class_record.h"
#include "tools/drn/commands.h"

namespace drn {

int RunClasses(int argc, char**) {
  if (argc != 0) {
    std::fprintf(stderr, "drn classes: takes no arguments\n");
    return 2;
  }
  const KT::ClassRecord* table = KT::GetClassRecordTable();
  for (KT::u32 i = 0; i < KT::kClassRecordCount; ++i) {
    const KT::ClassRecord& r = table[i];
    std::printf("%s %s %u 0x%016" PRIX64 "\n", r.name, r.parent ? r.parent->name : "-", r.Version(), r.id);
  }
  return 0;
}

}  // namespace drn
