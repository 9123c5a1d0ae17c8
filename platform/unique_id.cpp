#include "platform/unique_id.h"

namespace {
std::uint64_t g_next = 1;
std::uint64_t g_live = 0;
}  // namespace

std::uint64_t QueryUniqueID() {
  if (g_next == 0) g_next = 1;  // 0 means "no object" in files; skip it on wrap
  ++g_live;
  return g_next++;
}

void ReleaseUniqueID(std::uint64_t id) {
  if (id != 0 && g_live > 0) --g_live;
}

std::uint64_t CountLiveUniqueIDs() { return g_live; }

void ResetUniqueIDs(std::uint64_t first) { g_next = first == 0 ? 1 : first; }
