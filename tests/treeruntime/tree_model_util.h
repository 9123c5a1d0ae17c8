// Loading and saving a tree model in tests.
#pragma once

#include <cstdint>

#include "treeruntime/tree_memory.h"
#include "treeruntime/tree_rt.h"
#include "treeruntime/tree_test_util.h"

namespace trt::test {

inline bool Load(CTreeRT& model, const Bytes& block) {
  return model.LoadTree(block.data(), static_cast<std::int32_t>(block.size()));
}

// The model's SaveTree bytes (empty when it refuses).
inline Bytes Save(CTreeRT& model, bool bSaveLeafLods = false) {
  std::uint32_t size = 0;
  std::uint8_t* block = model.SaveTree(size, bSaveLeafLods);
  if (block == nullptr) return {};
  Bytes bytes(block, block + size);
  TrackedDeleteArray(block);
  return bytes;
}

}  // namespace trt::test
