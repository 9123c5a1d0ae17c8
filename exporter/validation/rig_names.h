// The rig vocabulary of a character: the fixed names of body bones, their
// twist, contact and end bones, the facial bones and face control points,
// the face and body-part meshes, the fixed-count selection sets and the
// bones of a motion skeleton. The order of each table is the index the rig
// checks report by. Names compare exactly, case included.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "objectmodel/types.h"

template <std::size_t N>
using RigNameTable = std::array<const char16_t*, N>;

// Bones every full character must have.
extern const RigNameTable<84> RequiredBodyBones;
// Every body bone name treated as part of the rig.
extern const RigNameTable<94> RigBodyBones;
// End points of chains.
extern const RigNameTable<21> NubBones;
// Six floor contact points per foot, then per hand.
extern const RigNameTable<12> FootFloorBones;
extern const RigNameTable<12> HandFloorBones;
// Attachment points in the hands.
extern const RigNameTable<2> HandPivotBones;
// "CP_01" to "CP_69".
extern const RigNameTable<69> FaceControlPoints;
extern const RigNameTable<32> FacialBones;
// Eye, teeth and tongue meshes and the hair root.
extern const RigNameTable<6> FaceMeshNames;
// The only mesh names a character may use.
extern const RigNameTable<12> BodyPartMeshes;
// The bones kept in an animation-only export.
extern const RigNameTable<55> MotionSkeletonBones;

// A named vertex selection set that must hold a fixed number of vertices.
struct FixedSelectionSet {
  const char16_t* name;
  KT::u32 vertices;
};
extern const std::array<FixedSelectionSet, 7> FixedSelectionSets;

// Whether `name` equals an entry of the table.
template <std::size_t N>
bool InRigTable(const RigNameTable<N>& table, std::u16string_view name) {
  for (const char16_t* entry : table)
    if (name == entry) return true;
  return false;
}
