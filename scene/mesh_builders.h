// The index algorithms behind the triangle-mesh builders.
//
// KT::CTriMeshData's builders (CompactNormalIndices, BuildVertexTriIndex,
// SortByMaterial, declared in scene/tri_mesh_data.h and defined in
// scene/mesh_builders.cpp) work on whole index buffers of a mesh; these
// functions are the array-level steps they share. Every ordering here is
// the signed one of the mesh keys: a u32 value is compared as an i32, so
// 0xFFFFFFFF comes before 0.
//
// Each runs in linear time when the values span a range of at most a few
// times their count (the indices an exporter writes always do) and in
// O(count log count) otherwise. None throws: a failed allocation answers
// kErrOutOfMemory and leaves the outputs unspecified.
#pragma once

#include <vector>

#include "objectmodel/types.h"

namespace KT {

// ranks[i] = the position of values[i] among the distinct values of
// `values`, in ascending signed order; `distinct` = their number. `ranks`
// may be `values`.
Result RankSignedValues(const u32* values, u32 count, u32* ranks, u32& distinct);

// order = 0 .. count - 1 sorted by keys[i] in ascending signed order, equal
// keys keeping their index order.
Result StableOrderBySignedKeys(const u32* keys, u32 count, std::vector<u32>& order);

// Corner unification. Corner c's key is (columns[0][c], columns[1][c],
// ...); columns holds at least one column of `cornerCount` values. Every
// distinct key becomes one vertex, numbered in ascending key order
// (signed, lexicographic): vertexOfCorner[c] = the vertex of corner c,
// firstCorner[v] = one corner whose key is vertex v's (so column j of
// vertex v's key is columns[j][firstCorner[v]]). The vertex count is
// firstCorner.size().
Result UnifyCornerKeys(const std::vector<const u32*>& columns, u32 cornerCount, u32* vertexOfCorner,
                       std::vector<u32>& firstCorner);

}  // namespace KT
