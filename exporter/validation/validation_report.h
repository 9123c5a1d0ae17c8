// ValidationReport: what the rig checks found in a converted character or
// face, as nine lists. Each list keeps its entries in the order they were
// found; the Data Validation report turns them into its critical and
// warning texts (validation_report_text.h).
#pragma once

#include <vector>

#include "objectmodel/types.h"

// Why a body part is listed.
enum class BodyPartIssue : KT::u8 {
  kMissing = 0,    // no plain node of that name under the root
  kWrongName = 1,  // a triangle mesh whose name is not a body-part mesh name
};

// Why a bone is listed.
enum class BoneIssue : KT::u8 {
  kMissing = 0,        // a rig bone the character lacks (an empty name: no bone at all)
  kMustNotAppear = 1,  // a node under the hips that belongs to no rig table
};

struct BodyPartEntry {
  BodyPartIssue kind = BodyPartIssue::kMissing;
  KT::WString name;
  bool operator==(const BodyPartEntry&) const = default;
};

struct MaterialEntry {
  KT::WString object;
  KT::WString material;
  bool critical = false;
  bool operator==(const MaterialEntry&) const = default;
};

struct MissingSetEntry {
  KT::WString object;
  KT::WString set;
  bool operator==(const MissingSetEntry&) const = default;
};

struct SetCountEntry {
  KT::WString object;
  KT::WString set;
  KT::u32 required = 0;
  bool operator==(const SetCountEntry&) const = default;
};

struct UnmatchedSetEntry {
  KT::WString first;   // the object of the earlier set
  KT::WString second;  // the object of the later set
  KT::WString set;
  bool operator==(const UnmatchedSetEntry&) const = default;
};

struct BoneEntry {
  BoneIssue kind = BoneIssue::kMissing;
  KT::WString name;
  bool operator==(const BoneEntry&) const = default;
};

struct InheritedEntry {
  KT::u32 required = 0;  // the Inherited flags the bone must carry
  KT::WString bone;
  bool operator==(const InheritedEntry&) const = default;
};

struct HierarchyEntry {
  KT::WString child;   // the expected child
  KT::WString parent;  // the node that lacks it
  bool operator==(const HierarchyEntry&) const = default;
};

struct ValidationReport {
  std::vector<BodyPartEntry> bodyParts;          // 0, critical
  std::vector<KT::WString> facialParts;          // 1, critical
  std::vector<MaterialEntry> materials;          // 2, critical or warning by the entry
  std::vector<MissingSetEntry> missingSets;      // 3, warning
  std::vector<SetCountEntry> setCounts;          // 4, warning
  std::vector<UnmatchedSetEntry> unmatchedSets;  // 5, critical
  std::vector<BoneEntry> bones;                  // 6, critical
  std::vector<InheritedEntry> inherited;         // 7, critical
  std::vector<HierarchyEntry> hierarchy;         // 8, critical

  // Empties every list.
  void Clear();
  // True when no list holds an entry.
  bool Empty() const;
};
