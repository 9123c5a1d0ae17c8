// Class_ID and Interface_ID: the two-word ids by which the host names classes
// and the interfaces that animatables answer; and the ids of the classes the
// exporter recognises.
#pragma once

#include "platform/host/max_types.h"

class Class_ID {
 public:
  constexpr Class_ID() = default;
  constexpr Class_ID(ULONG a, ULONG b) : a_(a), b_(b) {}
  constexpr ULONG PartA() const { return a_; }
  constexpr ULONG PartB() const { return b_; }
  constexpr bool operator==(const Class_ID&) const = default;

 private:
  ULONG a_ = 0;
  ULONG b_ = 0;
};

class Interface_ID {
 public:
  constexpr Interface_ID() = default;
  constexpr Interface_ID(ULONG a, ULONG b) : a_(a), b_(b) {}
  constexpr ULONG PartA() const { return a_; }
  constexpr ULONG PartB() const { return b_; }
  constexpr bool operator==(const Interface_ID&) const = default;

 private:
  ULONG a_ = 0;
  ULONG b_ = 0;
};

// Objects.
inline constexpr Class_ID TRIOBJ_CLASS_ID(9, 0);
inline constexpr Class_ID BONE_OBJECT_CLASS_ID(0x28bf6e8d, 0x2ecca840);
// Transform controllers of the biped.
inline constexpr Class_ID BIPED_SLAVE_CONTROL_CLASS_ID(0x9154, 0);
inline constexpr Class_ID BIPED_BODY_CONTROL_CLASS_ID(0x9156, 0);
inline constexpr Class_ID FOOTSTEP_CONTROL_CLASS_ID(0x3011, 0);
// Modifiers.
inline constexpr Class_ID PHYSIQUE_CLASS_ID(0x100, 0);
inline constexpr Class_ID SKIN_CLASS_ID(0x95c723, 0x15666);
inline constexpr Class_ID MORPHER_CLASS_ID(0x17bb6854, 0xa5cba2a3);
inline constexpr Class_ID MESH_SELECT_CLASS_ID(0x73d8ff93, 0);
inline constexpr Class_ID UVW_MAP_CLASS_ID(0xf72b1, 0);
inline constexpr Class_ID UNWRAP_UVW_CLASS_ID(0x2df2e3a, 0x72ba4e1f);
// Materials and maps.
inline constexpr Class_ID STANDARD_MTL_CLASS_ID(2, 0);
inline constexpr Class_ID MULTI_MTL_CLASS_ID(0x200, 0);
inline constexpr Class_ID BLEND_MTL_CLASS_ID(0x250, 0);
inline constexpr Class_ID BITMAP_TEX_CLASS_ID(0x240, 0);
inline constexpr Class_ID NORMAL_BUMP_CLASS_ID(0x243E22C6, 0x63F6A014);

// Interfaces asked for by two-word id.
// A modifier that answers this one is passed over by the selection and UVW passes.
inline constexpr Interface_ID MODIFIER_EXCLUDED_INTERFACE(0x2b572ad6, 0x7cf86ae2);
inline constexpr Interface_ID UNWRAP_CHANNEL_INTERFACE(0x53b3409b, 0x18ff7ab8);
