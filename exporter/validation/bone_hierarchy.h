// The parent-to-children templates of the rig and the ordering of a
// converted tree's children by them.
//
// A template maps a parent bone name to the names of its expected children
// in their expected order. The rig checks test the hierarchy against them;
// the skeleton preparation puts each listed parent's children into that
// order.
#pragma once

#include <initializer_list>
#include <map>
#include <vector>

#include "objectmodel/types.h"

namespace KT {
class CBase;
}

using BoneHierarchyMap = std::map<KT::WString, std::vector<KT::WString>>;

// Replaces the list of `parent` with `children`, in their order.
void AddChildren(BoneHierarchyMap& map, const char16_t* parent, std::initializer_list<const char16_t*> children);

// Each fills `map` with one template (AddChildren per parent, so a parent
// already in the map gets the template's list):
// the basic body (40 parents), the full body with twist, contact and end
// bones (72), the face rig's bones and control points (27).
void BuildBasicBodyHierarchy(BoneHierarchyMap& map);
void BuildFullBodyHierarchy(BoneHierarchyMap& map);
void BuildFacialHierarchy(BoneHierarchyMap& map);
// KT_Head with the single child Bone_Connect, then the facial template.
void BuildHeadLinkHierarchy(BoneHierarchyMap& map);

// For each parent of the map (in map order): the first KT::CNode (exactly)
// of that name under `root`, root included, or none (the entry is passed
// over). A position p starts at 0; for each listed name the first child at
// or after p that is a KT::CNode (or derived) of that name is swapped with
// the child at p, and p advances whether or not the name was found. So a
// missing child leaves a gap: its position goes to whatever child already
// stands there. A null root does nothing.
void OrderChildrenByTemplate(KT::CBase* root, const BoneHierarchyMap& map);
