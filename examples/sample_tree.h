// The example tree of `drn sample --tree` and of the example run: a small
// tree made in code through the tree model's records (a trunk, branches,
// fronds on the twigs, leaves of two leaf maps, a collision cylinder around
// the trunk and a line of user data) and written with the model's SaveTree.
#pragma once

#include <cstdint>
#include <vector>

namespace KT {

// The tree data of the example tree (the core without the leaf LOD block,
// then every supplemental section). Empty when the runtime fails, which
// it does only when memory runs out.
std::vector<std::uint8_t> BuildSampleTree();

}  // namespace KT
