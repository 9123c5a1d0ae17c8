#include "exporter/convert/v_normal.h"

#include <new>

namespace KT {

CVNormal::~CVNormal() {
  // Each step detaches the rest of the chain before the entry goes, so no
  // destructor ever runs with a chain behind it.
  std::unique_ptr<CVNormal> next = std::move(Next);
  while (next) next = std::move(next->Next);
}

bool CVNormal::Add(i32 index, u32 mask) {
  if (mask == 0) return true;
  if (Mask == 0) {
    // The first entry takes the head's place.
    Index = index;
    Mask = mask;
    return true;
  }
  CVNormal* entry = this;
  for (;;) {
    if ((entry->Mask & mask) != 0) return true;
    if (!entry->Next) break;
    entry = entry->Next.get();
  }
  entry->Next.reset(new (std::nothrow) CVNormal());
  if (!entry->Next) return false;
  entry->Next->Index = index;
  entry->Next->Mask = mask;
  return true;
}

i32 CVNormal::Find(u32 mask) const {
  const CVNormal* entry = this;
  for (;;) {
    if ((entry->Mask & mask) != 0 || !entry->Next) return entry->Index;
    entry = entry->Next.get();
  }
}

u32 CVNormal::Count() const {
  if (Mask == 0) return 0;
  u32 count = 0;
  for (const CVNormal* entry = this; entry != nullptr; entry = entry->Next.get()) ++count;
  return count;
}

}  // namespace KT
